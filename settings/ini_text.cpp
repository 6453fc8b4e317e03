// INI text: parsing from memory (so it is tested and fuzzed without files) and serialising.
#include "settings/ini_text.h"

#include <cwchar>

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

// "%f" of -DBL_MAX: the sign, 309 digits, the point, six decimals and the terminator.
constexpr int kLongestNumber = 318;

template <typename Number>
bool AppendNumber(const WideString& format, const wchar_t* fallback, Number value, WideString& out) {
    const wchar_t* used = format.empty() ? fallback : format.c_str();
    wchar_t buffer[kLongestNumber];
#ifdef _WIN32
    // The C runtime's own formatter; the toolchain's portable one would add 12 KB to the DLL.
    const int written = _snwprintf(buffer, kLongestNumber, used, value);
#else
    const int written = std::swprintf(buffer, kLongestNumber, used, value);
#endif
    // Only a format outside its contract overflows: that value is left empty.
    return written < 0 || written >= kLongestNumber ||
           out.Append(std::wstring_view(buffer, static_cast<size_t>(written)));
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
