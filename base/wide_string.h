// The product's own wide string over the C runtime's heap: every operation that may allocate returns false
// when memory runs out and leaves the string as it was. Always terminated, so c_str() never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <utility>

class WideString {
  public:
    WideString() noexcept = default;
    ~WideString() { std::free(chars); }
    WideString(const WideString&) = delete;
    WideString& operator=(const WideString&) = delete;
    WideString(WideString&& other) noexcept { Swap(other); }
    WideString& operator=(WideString&& other) noexcept {
        if (this != &other) {
            // An index that shifts its keys assigns into moved-from strings: those cost no call.
            if (chars != nullptr) {
                std::free(chars);
            }
            chars = std::exchange(other.chars, nullptr);
            length = std::exchange(other.length, 0);
            capacity = std::exchange(other.capacity, 0);
        }
        return *this;
    }

    size_t size() const noexcept { return length; }
    bool empty() const noexcept { return length == 0; }
    const wchar_t* c_str() const noexcept { return chars != nullptr ? chars : L""; }
    wchar_t* data() noexcept { return chars; }
    std::wstring_view view() const noexcept { return std::wstring_view(c_str(), length); }
    operator std::wstring_view() const noexcept { return view(); }
    wchar_t operator[](size_t i) const noexcept { return chars[i]; }

    // Room for `wanted` characters besides the terminator.
    bool Reserve(size_t wanted) noexcept {
        if (wanted <= capacity) {
            return true;
        }
        if (wanted >= static_cast<size_t>(-1) / sizeof(wchar_t) - 1) {
            return false;
        }
        auto* grown = static_cast<wchar_t*>(std::realloc(chars, (wanted + 1) * sizeof(wchar_t)));
        if (grown == nullptr) {
            return false;
        }
        if (chars == nullptr) {
            grown[0] = L'\0';
        }
        chars = grown;
        capacity = wanted;
        return true;
    }

    bool Assign(std::wstring_view text) noexcept {
        if (text.empty()) {
            Clear();
            return true;
        }
        // A text inside this string fits the room it has: no reallocation moves it.
        if (!Reserve(text.size())) {
            return false;
        }
        std::memmove(chars, text.data(), text.size() * sizeof(wchar_t));
        length = text.size();
        chars[length] = L'\0';
        return true;
    }

    bool Append(std::wstring_view text) noexcept {
        if (text.size() > capacity - length) {
            if (text.size() > static_cast<size_t>(-1) / 4 - length) {
                return false;
            }
            const size_t needed = length + text.size();
            const size_t doubled = 2 * capacity;
            // The text may be part of this string: keep its offset across the move.
            // Compared as integers: the text may lie in another array.
            const auto first = reinterpret_cast<uintptr_t>(chars);
            const auto at = reinterpret_cast<uintptr_t>(text.data());
            const bool inside = chars != nullptr && at >= first && at <= first + length * sizeof(wchar_t);
            const size_t offset = inside ? (at - first) / sizeof(wchar_t) : 0;
            if (!Reserve(needed > doubled ? needed : doubled)) {
                return false;
            }
            if (inside) {
                text = std::wstring_view(chars + offset, text.size());
            }
        }
        if (!text.empty()) {
            std::memmove(chars + length, text.data(), text.size() * sizeof(wchar_t));
        }
        length += text.size();
        if (chars != nullptr) {
            chars[length] = L'\0';
        }
        return true;
    }

    // Appends the parts in turn; false, with the string as it was, when memory runs out.
    bool AppendAll(std::initializer_list<std::wstring_view> parts) noexcept {
        const size_t before = length;
        for (const std::wstring_view part : parts) {
            if (!Append(part)) {
                Truncate(before);
                return false;
            }
        }
        return true;
    }

    // Shrinks to `n` characters (at most size()).
    void Truncate(size_t n) noexcept {
        if (n < length) {
            length = n;
            chars[length] = L'\0';
        }
    }

    void Clear() noexcept { Truncate(0); }

    void Swap(WideString& other) noexcept {
        std::swap(chars, other.chars);
        std::swap(length, other.length);
        std::swap(capacity, other.capacity);
    }

  private:
    wchar_t* chars = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};
