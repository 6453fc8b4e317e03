// A growable array over the C runtime's heap. Every operation that may allocate returns false when memory
// runs out and leaves the content as it was; elements must move without failing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

template <typename T>
class Array {
  public:
    Array() noexcept = default;
    ~Array() {
        Clear();
        std::free(items);
    }
    Array(const Array&) = delete;
    Array& operator=(const Array&) = delete;
    Array(Array&& other) noexcept { Swap(other); }
    // An index that shifts its entries assigns into moved-from ones: those cost no call.
    Array& operator=(Array&& other) noexcept {
        if (this != &other) {
            Clear();
            if (items != nullptr) {
                std::free(items);
            }
            items = std::exchange(other.items, nullptr);
            count = std::exchange(other.count, 0);
            capacity = std::exchange(other.capacity, 0);
        }
        return *this;
    }

    size_t size() const noexcept { return count; }
    bool empty() const noexcept { return count == 0; }
    T* data() noexcept { return items; }
    const T* data() const noexcept { return items; }
    T* begin() noexcept { return items; }
    T* end() noexcept { return items + count; }
    const T* begin() const noexcept { return items; }
    const T* end() const noexcept { return items + count; }
    T& operator[](size_t i) noexcept { return items[i]; }
    const T& operator[](size_t i) const noexcept { return items[i]; }

    // Room for `wanted` elements in all.
    bool Reserve(size_t wanted) noexcept {
        if (wanted <= capacity) {
            return true;
        }
        if (wanted > static_cast<size_t>(-1) / sizeof(T)) {
            return false;
        }
        T* grown = static_cast<T*>(std::malloc(wanted * sizeof(T)));
        if (grown == nullptr) {
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            ::new (grown + i) T(std::move(items[i]));
            items[i].~T();
        }
        std::free(items);
        items = grown;
        capacity = wanted;
        return true;
    }

    // Room for `more` elements beyond the present ones, growing geometrically.
    bool ReserveMore(size_t more) noexcept {
        if (more <= capacity - count) {
            return true;
        }
        if (more > static_cast<size_t>(-1) - count) {
            return false;
        }
        const size_t doubled = capacity > static_cast<size_t>(-1) / 2 ? capacity : 2 * capacity;
        const size_t needed = count + more;
        return Reserve(needed > doubled ? needed : (doubled < 4 ? 4 : doubled));
    }

    bool Append(T&& value) noexcept { return Insert(count, std::move(value)); }

    // Moves `value` in before position `at` (at most size()).
    bool Insert(size_t at, T&& value) noexcept {
        if (!ReserveMore(1)) {
            return false;
        }
        if (at == count) {
            ::new (items + count) T(std::move(value));
        } else {
            ::new (items + count) T(std::move(items[count - 1]));
            for (size_t i = count - 1; i > at; --i) {
                items[i] = std::move(items[i - 1]);
            }
            items[at] = std::move(value);
        }
        ++count;
        return true;
    }

    // Copies `n` elements to the end, with room for `spare` more beyond them; they may be this array's own.
    bool Append(const T* source, size_t n, size_t spare = 0) noexcept {
        if (spare > static_cast<size_t>(-1) - n) {
            return false;
        }
        if (n + spare > capacity - count) {
            // Growing moves the elements: keep the source's offset across the move.
            const auto first = reinterpret_cast<uintptr_t>(items);
            const auto at = reinterpret_cast<uintptr_t>(source);
            const bool inside = items != nullptr && at >= first && at < first + count * sizeof(T);
            const size_t offset = inside ? (at - first) / sizeof(T) : 0;
            if (!ReserveMore(n + spare)) {
                return false;
            }
            if (inside) {
                source = items + offset;
            }
        }
        for (size_t i = 0; i < n; ++i) {
            ::new (items + count) T(source[i]);
            ++count;
        }
        return true;
    }

    // Grows to `n` elements, the new ones value-initialised, or shrinks to it.
    bool Resize(size_t n) noexcept {
        if (n <= count) {
            Truncate(n);
            return true;
        }
        if (!Reserve(n)) {
            return false;
        }
        while (count < n) {
            ::new (items + count) T();
            ++count;
        }
        return true;
    }

    void Erase(size_t at) noexcept {
        for (size_t i = at; i + 1 < count; ++i) {
            items[i] = std::move(items[i + 1]);
        }
        items[--count].~T();
    }

    // Shrinks to `n` elements; the room stays.
    void Truncate(size_t n) noexcept {
        while (count > n) {
            items[--count].~T();
        }
    }

    void Clear() noexcept { Truncate(0); }

    void Swap(Array& other) noexcept {
        std::swap(items, other.items);
        std::swap(count, other.count);
        std::swap(capacity, other.capacity);
    }

  private:
    T* items = nullptr;
    size_t count = 0;
    size_t capacity = 0;
};
