// The product's own wide string: an Array of its units with room for a terminator, so c_str() never
// allocates. What may allocate returns false when memory runs out and leaves the string as it was.
#pragma once

#include "base/array.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

class WideString {
  public:
    size_t size() const noexcept { return units.size(); }
    bool empty() const noexcept { return units.empty(); }
    const wchar_t* c_str() const noexcept { return units.data() != nullptr ? units.data() : L""; }
    wchar_t* data() noexcept { return units.data(); }
    std::wstring_view view() const noexcept { return std::wstring_view(c_str(), size()); }
    operator std::wstring_view() const noexcept { return view(); }
    wchar_t operator[](size_t i) const noexcept { return units[i]; }

    // Room for `wanted` characters besides the terminator.
    bool Reserve(size_t wanted) noexcept {
        if (wanted == static_cast<size_t>(-1) || !units.Reserve(wanted + 1)) {
            return false;
        }
        Terminate();
        return true;
    }

    bool Assign(std::wstring_view text) noexcept {
        WideString copy;
        if (!copy.Append(text)) {
            return false;
        }
        Swap(copy);
        return true;
    }

    bool Append(std::wstring_view text) noexcept {
        if (text.empty()) {
            return true;
        }
        if (!units.Append(text.data(), text.size(), 1)) {
            return false;
        }
        Terminate();
        return true;
    }

    // Appends the parts, all or nothing. The room comes first, so a part that viewed this string is found
    // again at its offset.
    bool AppendAll(std::initializer_list<std::wstring_view> parts) noexcept {
        size_t more = 0;
        for (const std::wstring_view part : parts) {
            more += part.size();
        }
        const auto old = reinterpret_cast<uintptr_t>(units.data());
        const size_t oldSize = size();
        if (more != 0 && !units.ReserveMore(more + 1)) {
            return false;
        }
        for (std::wstring_view part : parts) {
            const auto at = reinterpret_cast<uintptr_t>(part.data());
            if (old != 0 && at >= old && at < old + oldSize * sizeof(wchar_t)) {
                part = std::wstring_view(units.data() + (at - old) / sizeof(wchar_t), part.size());
            }
            (void)Append(part);  // room made above
        }
        return true;
    }

    // Shrinks to `n` characters (at most size()).
    void Truncate(size_t n) noexcept {
        units.Truncate(n);
        Terminate();
    }

    void Clear() noexcept { Truncate(0); }
    void Swap(WideString& other) noexcept { units.Swap(other.units); }

  private:
    void Terminate() noexcept {
        if (units.data() != nullptr) {
            units.data()[units.size()] = L'\0';
        }
    }

    Array<wchar_t> units;
};
