// INI text: parsing from memory (so it is tested and fuzzed without files) and serialising.
#include "settings/ini_text.h"

#include <cstdint>
#include <cwchar>
#include <type_traits>
#include <vector>

namespace {

constexpr std::wstring_view kBlanks = L" \t";

std::wstring_view TrimLeft(std::wstring_view s) {
    const size_t first = s.find_first_not_of(kBlanks);
    return first == std::wstring_view::npos ? std::wstring_view() : s.substr(first);
}

std::wstring_view TrimRight(std::wstring_view s) {
    const size_t last = s.find_last_not_of(kBlanks);
    return last == std::wstring_view::npos ? std::wstring_view() : s.substr(0, last + 1);
}

void ClassifyLine(std::wstring_view line, IniTextHandler& handler) {
    line = TrimLeft(line);
    if (line.empty() || line.front() == L';') {
        return;
    }
    if (line.size() >= 2 && line.front() == L'[' && line.back() == L']') {
        handler.OnSection(TrimRight(TrimLeft(line.substr(1, line.size() - 2))));
        return;
    }
    const size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos || equals == 0) {
        return;
    }
    handler.OnEntry(TrimRight(line.substr(0, equals)), line.substr(equals + 1));
}

// Wider than any value's text needs; a field of millions of characters would only stall the formatter before
// the text is thrown away.
constexpr size_t kMaxFieldDigits = 4;  // width and precision up to 9999

// Skips the digits at `i`; false when there are more than kMaxFieldDigits of them.
bool SkipFieldDigits(const std::wstring& format, size_t& i) {
    const size_t first = i;
    while (i < format.size() && format[i] >= L'0' && format[i] <= L'9') {
        ++i;
    }
    return i - first <= kMaxFieldDigits;
}

// True when `format` holds exactly one printf conversion, and that conversion takes an int (`integer`) or
// a double, with a width and a precision of at most four digits each. A format that fails this would read an
// argument that is not there, or take ages.
bool IsSingleConversion(const std::wstring& format, bool integer) {
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

template <typename Number>
std::wstring FormatNumber(const std::wstring& format, const wchar_t* fallback, Number value) {
    const bool integer = std::is_integral<Number>::value;
    const wchar_t* used = !format.empty() && IsSingleConversion(format, integer) ? format.c_str() : fallback;
    // "%f" of the largest double needs about 320 characters; a wide field in a format may need more.
    for (size_t size = 512; size <= (size_t{1} << 20); size *= 4) {
        std::vector<wchar_t> buffer(size);
#ifdef _WIN32
        // The C runtime's own formatter; the toolchain's portable one would add 12 KB to the DLL.
        const int written = _snwprintf(buffer.data(), size, used, value);
#else
        const int written = std::swprintf(buffer.data(), size, used, value);
#endif
        if (written >= 0 && static_cast<size_t>(written) < size) {
            return std::wstring(buffer.data(), static_cast<size_t>(written));
        }
    }
    return std::wstring();
}

}  // namespace

bool OrdinalLess::operator()(const std::wstring& a, const std::wstring& b) const noexcept {
    using Unit = std::make_unsigned_t<wchar_t>;
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

void ParseIniText(std::wstring_view text, IniTextHandler& handler) {
    size_t lineStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c != L'\r' && c != L'\n') {
            continue;
        }
        const std::wstring_view line = text.substr(lineStart, i - lineStart);
        if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            handler.OnLineBreak(L"\r\n");
            ++i;
        } else {
            handler.OnLineBreak(c == L'\r' ? L"\r" : L"\n");
        }
        ClassifyLine(line, handler);
        lineStart = i + 1;
    }
    // A hand-edited file often lacks the final line break; its last entry is kept rather than lost at save.
    if (lineStart < text.size()) {
        ClassifyLine(text.substr(lineStart), handler);
    }
}

#if defined(_WIN32)
// The C runtime's own wcstol, so that a value reads as everything else on the system reads it: every Unicode
// blank is skipped and every Unicode decimal digit counts, the full-width ones an input method types
// included. long has 32 bits there in both widths, so its saturation is the 32-bit clamp.
bool ParseDecimalInt32(std::wstring_view text, int32_t* value) {
    static_assert(sizeof(long) == sizeof(int32_t), "wcstol must saturate at the 32-bit limits");
    const std::wstring terminated(text);
    const wchar_t* const start = terminated.c_str();
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(start, &end, 10);
    if (end == start) {
        return false;
    }
    *value = static_cast<int32_t>(parsed);
    return true;
}
#else
// Elsewhere, the C locale's wcstol written out, with the 32-bit clamp: ASCII blanks and ASCII digits only.
namespace {

bool IsCSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

}  // namespace

bool ParseDecimalInt32(std::wstring_view text, int32_t* value) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) {
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
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + (text[i] - L'0');
        }
        ++i;
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
#endif

std::wstring FormatIniValue(const IniEntry& entry) {
    switch (entry.kind) {
        case Raw:
        case Text:
            return entry.text;
        case Integer:
            return FormatNumber(entry.format, L"%d", entry.integer);
        case Real:
            return FormatNumber(entry.format, L"%f", entry.real);
        default:
            return std::wstring();
    }
}

std::wstring SerializeIni(const std::vector<std::unique_ptr<IniSection>>& sections,
                          std::wstring_view newline) {
    std::wstring out;
    for (size_t s = 0; s < sections.size(); ++s) {
        const IniSection& section = *sections[s];
        if (s != 0 || !section.name.empty()) {
            out.append(L"[").append(section.name).append(L"]").append(newline);
        }
        for (const auto& entry : section.entries) {
            out.append(entry->name).append(L"=").append(FormatIniValue(*entry)).append(newline);
        }
        out.append(newline);
    }
    return out;
}
