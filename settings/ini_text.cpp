// INI text: parsing from memory (so it is tested and fuzzed without files) and serialising.
#include "settings/ini_text.h"

#include <cstdint>
#include <cwchar>
#include <type_traits>

namespace {

constexpr std::wstring_view kBlanks = L" \t";

std::wstring_view TrimLeft(std::wstring_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    if (first == std::wstring_view::npos) {
        return std::wstring_view();
    }
    s.remove_prefix(first);
    return s;
}

std::wstring_view TrimRight(std::wstring_view s) {
    const size_t last = s.find_last_not_of(kBlanks);
    return last == std::wstring_view::npos ? std::wstring_view() : std::wstring_view(s.data(), last + 1);
}

bool ClassifyLine(std::wstring_view line, IniTextHandler& handler) {
    line = TrimLeft(line);
    if (line.empty() || line.front() == L';') {
        return true;
    }
    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
        return handler.OnSection(TrimRight(TrimLeft(std::wstring_view(line.data() + 1, line.size() - 2))));
    }
    const size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos || equals == 0) {
        return true;
    }
    return handler.OnEntry(TrimRight(std::wstring_view(line.data(), equals)),
                           std::wstring_view(line.data() + equals + 1, line.size() - equals - 1));
}

using Unit = std::make_unsigned_t<wchar_t>;

// The blanks that the Windows C runtime's iswspace reports and its wcstol skips.
bool IsRuntimeBlank(Unit c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

// The zeros of the decimal digit blocks that the runtime's wcstol reads, in ascending order: ASCII,
// Arabic-Indic, the Indic scripts, Thai, Lao, Tibetan, Myanmar, Khmer, Mongolian and the full-width forms an
// input method types.
constexpr Unit kDigitZeros[] = {0x30,  0x660, 0x6F0, 0x966, 0x9E6, 0xA66,  0xAE6,  0xB66,  0xC66,
                                0xCE6, 0xD66, 0xE50, 0xED0, 0xF20, 0x1040, 0x17E0, 0x1810, 0xFF10};

// The digit's value, or -1 when `c` is no digit.
int DigitValue(Unit c) {
    for (const Unit zero : kDigitZeros) {
        if (c < zero) {
            break;
        }
        if (c - zero <= 9) {
            return static_cast<int>(c - zero);
        }
    }
    return -1;
}

// Wider than any value's text needs; a field of millions of characters would only stall the formatter before
// the text is thrown away.
constexpr size_t kMaxFieldDigits = 4;  // width and precision up to 9999

// Skips the digits at `i`; false when there are more than kMaxFieldDigits of them.
bool SkipFieldDigits(std::wstring_view format, size_t& i) {
    const size_t first = i;
    while (i < format.size() && format[i] >= L'0' && format[i] <= L'9') {
        ++i;
    }
    return i - first <= kMaxFieldDigits;
}

// True when `format` holds exactly one printf conversion, and that conversion takes an int (`integer`) or
// a double, with a width and a precision of at most four digits each. A format that fails this would read an
// argument that is not there, or take ages.
bool IsSingleConversion(std::wstring_view format, bool integer) {
    int conversions = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%') {
            continue;
        }
        ++i;
        if (i < format.size() && format[i] == L'%') {
            continue;
        }
        while (i < format.size() && std::wstring_view(L"-+ #0").find(format[i]) != std::wstring_view::npos) {
            ++i;
        }
        if (!SkipFieldDigits(format, i)) {
            return false;
        }
        if (i < format.size() && format[i] == L'.') {
            ++i;
            if (!SkipFieldDigits(format, i)) {
                return false;
            }
        }
        if (!integer && i < format.size() && format[i] == L'l') {
            ++i;
        }
        if (i >= format.size()) {
            return false;
        }
        const std::wstring_view accepted = integer ? L"diouxX" : L"feEgG";
        if (accepted.find(format[i]) == std::wstring_view::npos) {
            return false;
        }
        ++conversions;
    }
    return conversions == 1;
}

// Room for the longest text a format that passes IsSingleConversion asks for: "%f" of the largest double with
// a precision of 9999 (309 digits, the point, 9999 decimals), or a field of 9999.
constexpr size_t kLongestNumber = 10400;

template <typename Number>
bool AppendNumber(const WideString& format, const wchar_t* fallback, Number value, WideString& out) {
    const bool integer = std::is_integral<Number>::value;
    const wchar_t* used = !format.empty() && IsSingleConversion(format, integer) ? format.c_str() : fallback;
    Array<wchar_t> buffer;
    if (!buffer.Resize(kLongestNumber)) {
        return false;
    }
#ifdef _WIN32
    // The C runtime's own formatter; the toolchain's portable one would add 12 KB to the DLL.
    const int written = _snwprintf(buffer.data(), kLongestNumber, used, value);
#else
    const int written = std::swprintf(buffer.data(), kLongestNumber, used, value);
#endif
    return written < 0 || static_cast<size_t>(written) >= kLongestNumber ||
           out.Append(std::wstring_view(buffer.data(), static_cast<size_t>(written)));
}

bool AppendValue(const IniEntry& entry, WideString& out) {
    switch (entry.kind) {
        case Raw:
        case Text:
            return out.Append(entry.text);
        case Integer:
            return AppendNumber(entry.format, L"%d", entry.integer, out);
        case Real:
            return AppendNumber(entry.format, L"%f", entry.real, out);
        default:
            return true;
    }
}

}  // namespace

bool OrdinalLess::operator()(std::wstring_view a, std::wstring_view b) const noexcept {
    const size_t common = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < common; ++i) {
        const Unit x = static_cast<Unit>(a[i]);
        const Unit y = static_cast<Unit>(b[i]);
        if (x != y) {
            return x < y;
        }
    }
    return a.size() < b.size();
}

bool ParseIniText(std::wstring_view text, IniTextHandler& handler) {
    size_t lineStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c != L'\r' && c != L'\n') {
            continue;
        }
        const std::wstring_view line(text.data() + lineStart, i - lineStart);
        std::wstring_view lineBreak = c == L'\r' ? L"\r" : L"\n";
        if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            lineBreak = L"\r\n";
            ++i;
        }
        if (!handler.OnLineBreak(lineBreak) || !ClassifyLine(line, handler)) {
            return false;
        }
        lineStart = i + 1;
    }
    // A hand-edited file often lacks the final line break; its last entry is kept rather than lost at save.
    if (lineStart < text.size()) {
        return ClassifyLine(std::wstring_view(text.data() + lineStart, text.size() - lineStart), handler);
    }
    return true;
}

// Written out rather than the C runtime's wcstol, so that every build reads a value alike: the runtime's
// Unicode blanks and digits (the full-width ones an input method types included), clamped to 32 bits.
bool ParseDecimalInt32(std::wstring_view text, int32_t* value) {
    size_t i = 0;
    while (i < text.size() && IsRuntimeBlank(static_cast<Unit>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    const size_t firstDigit = i;
    int64_t magnitude = 0;
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    for (; i < text.size(); ++i) {
        const int digit = DigitValue(static_cast<Unit>(text[i]));
        if (digit < 0) {
            break;
        }
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + digit;
        }
    }
    if (i == firstDigit) {
        return false;
    }
    if (negative) {
        *value = magnitude >= kLimit ? INT32_MIN : static_cast<int32_t>(-magnitude);
    } else {
        *value = magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
    }
    return true;
}

bool FormatIniValue(const IniEntry& entry, WideString& out) {
    WideString value;
    if (!AppendValue(entry, value)) {
        return false;
    }
    out.Swap(value);
    return true;
}

bool SerializeIni(const Array<HeapPtr<IniSection>>& sections, std::wstring_view newline, WideString& out) {
    WideString text;
    for (size_t s = 0; s < sections.size(); ++s) {
        const IniSection& section = *sections[s];
        if ((s != 0 || !section.name.empty()) && !text.AppendAll({L"[", section.name, L"]", newline})) {
            return false;
        }
        for (const HeapPtr<IniEntry>& entry : section.entries) {
            if (!text.AppendAll({entry->name, L"="}) || !AppendValue(*entry, text) || !text.Append(newline)) {
                return false;
            }
        }
        if (!text.Append(newline)) {
            return false;
        }
    }
    out.Swap(text);
    return true;
}
