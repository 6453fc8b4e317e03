// INI text invariants on arbitrary UTF-16 text: what the parser reports is well formed, serialising it and
// parsing again gives the same entries, the number reader agrees with wcstol on ASCII text (the Windows tier
// compares the rest with the C runtime's own), and no entry format can make the serialiser read an argument
// that is not there or write a field of unbounded width.
#include "settings/ini_text.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Event {
    std::wstring section;
    std::wstring key;
    std::wstring value;
    bool operator==(const Event& o) const { return section == o.section && key == o.key && value == o.value; }
};

class Collector final : public IniTextHandler {
  public:
    bool OnLineBreak(std::wstring_view lineBreak) override {
        if (lineBreak != L"\r\n" && lineBreak != L"\r" && lineBreak != L"\n") {
            std::abort();
        }
        ++breaks;
        return true;
    }
    bool OnSection(std::wstring_view name) override {
        Check(name);
        if (!name.empty() && (IsBlank(name.front()) || IsBlank(name.back()))) {
            std::abort();
        }
        section.assign(name);
        return true;
    }
    bool OnEntry(std::wstring_view key, std::wstring_view value) override {
        Check(key);
        Check(value);
        if (key.empty() || IsBlank(key.front()) || IsBlank(key.back()) || key.front() == L';' ||
            key.find(L'=') != std::wstring_view::npos) {
            std::abort();
        }
        events.push_back({section, std::wstring(key), std::wstring(value)});
        return true;
    }

    std::wstring section;
    std::vector<Event> events;
    size_t breaks = 0;

  private:
    static bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
    static void Check(std::wstring_view s) {
        if (s.find_first_of(L"\r\n") != std::wstring_view::npos) {
            std::abort();
        }
    }
};

void CheckNumber(const std::wstring& value) {
    const std::wstring terminated(value.c_str());  // wcstol stops at the first zero
    for (const wchar_t c : terminated) {
        if (static_cast<uint32_t>(c) > 0x7F) {
            return;
        }
    }
    int32_t parsed = 77;
    const bool read = ParseDecimalInt32(terminated, &parsed);
    wchar_t* end = nullptr;
    const long long expected = std::wcstoll(terminated.c_str(), &end, 10);
    const bool expectedRead = end != terminated.c_str();
    if (read != expectedRead) {
        std::abort();
    }
    const long long clamped = expected > INT32_MAX ? INT32_MAX : expected < INT32_MIN ? INT32_MIN : expected;
    if (read ? parsed != clamped : parsed != 77) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    }
    Collector first;
    if (!ParseIniText(text, first)) {
        std::abort();
    }
    size_t breaks = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' || text[i] == L'\r') {
            ++breaks;
            if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
                ++i;
            }
        }
    }
    if (first.breaks != breaks) {
        std::abort();
    }

    // Rebuild sections in the order met, one per run of entries, and write them out.
    Array<HeapPtr<IniSection>> sections;
    for (const Event& e : first.events) {
        if (sections.empty() || sections.back()->name.view() != e.section) {
            HeapPtr<IniSection> section = MakeHeap<IniSection>();
            if (!section || !section->name.Assign(e.section) || !sections.Append(std::move(section))) {
                std::abort();
            }
        }
        HeapPtr<IniEntry> entry = MakeHeap<IniEntry>();
        if (!entry || !entry->name.Assign(e.key) || !entry->text.Assign(e.value)) {
            std::abort();
        }
        entry->kind = Raw;
        if (!sections.back()->entries.Append(std::move(entry))) {
            std::abort();
        }
        CheckNumber(e.value);

        // Width and precision are bounded: the text is the format's own plus one field of bounded size.
        IniEntry formatted;
        formatted.kind = Integer;
        formatted.integer = 12;
        WideString text;
        if (!formatted.format.Assign(e.value) || !FormatIniValue(formatted, text)) {
            std::abort();
        }
        const size_t bound = e.value.size() + 2 * 9999 + 400;
        if (text.size() > bound) {
            std::abort();
        }
        formatted.kind = Real;
        formatted.real = 1.5;
        if (!FormatIniValue(formatted, text) || text.size() > bound) {
            std::abort();
        }
    }
    WideString saved;
    if (!SerializeIni(sections, L"\r\n", saved)) {
        std::abort();
    }
    Collector second;
    if (!ParseIniText(saved, second) || !(second.events == first.events)) {
        std::abort();
    }
    return 0;
}
