// INI text invariants on arbitrary UTF-16 text: what the parser reports is well formed, and serialising it
// and parsing again gives the same entries.
#include "settings/ini_text.h"

#include <cstdint>
#include <cstdlib>
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
        if (sections.empty() || sections[sections.size() - 1]->name.view() != e.section) {
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
        if (!sections[sections.size() - 1]->entries.Append(std::move(entry))) {
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
