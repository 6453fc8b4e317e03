// INI text: line breaks and line kinds, and the serialised form.
#include "settings/ini_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

// Records what the parser reports as one readable string.
class Recorder final : public IniTextHandler {
  public:
    bool OnLineBreak(std::wstring_view lineBreak) override {
        log += lineBreak == L"\r\n" ? L"<CRLF>" : lineBreak == L"\r" ? L"<CR>" : L"<LF>";
        return true;
    }
    bool OnSection(std::wstring_view name) override {
        log.append(L"[").append(name).append(L"]");
        return true;
    }
    bool OnEntry(std::wstring_view key, std::wstring_view value) override {
        log.append(L"{").append(key).append(L"|").append(value).append(L"}");
        return true;
    }
    std::wstring log;
};

std::wstring Parse(const std::wstring& text) {
    Recorder recorder;
    EXPECT_TRUE(ParseIniText(text, recorder));
    return recorder.log;
}

struct ParseCase {
    const wchar_t* text;
    const wchar_t* expected;
};

TEST(ParseIniText, SplitsAndClassifiesLines) {
    const ParseCase cases[] = {
        {L"", L""},
        {L"ShowBar=0\r\n", L"<CRLF>{ShowBar|0}"},
        {L"a=1\nb=2\r\n", L"<LF>{a|1}<CRLF>{b|2}"},
        {L"a=1\r\r\nb=2", L"<CR>{a|1}<CRLF>{b|2}"},  // a last line without a break is still read
        {L"\n\r", L"<LF><CR>"},                      // LF then CR: two breaks
        {L"\r\n\r\n", L"<CRLF><CRLF>"},
        {L"  [ Sec ]\n", L"<LF>[Sec]"},
        {L"[ Sec ] \nk=v\n", L"<LF><LF>{k|v}"},  // blank after the bracket: not a section line
        {L"[]\n", L"<LF>[]"},
        {L"[\n", L"<LF>"},
        {L"[a=b]\n", L"<LF>[a=b]"},
        {L"  ;c=1\n", L"<LF>"},
        {L"#x=1\n", L"<LF>{#x|1}"},
        {L"=v\n  =v\nnovalue\n", L"<LF><LF><LF>"},
        {L"key \t= v a l \n", L"<LF>{key| v a l }"},
        {L"k=a=b\n", L"<LF>{k|a=b}"},
        {L"\tk=\n", L"<LF>{k|}"},
        {L"x=1\n[S]\ny=2\n[s]\nz=3\n", L"<LF>{x|1}<LF>[S]<LF>{y|2}<LF>[s]<LF>{z|3}"},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(Parse(c.text), c.expected) << "text: " << testing::PrintToString(std::wstring(c.text));
    }
}

using Sections = Array<HeapPtr<IniSection>>;

void AddSection(Sections& sections,
                std::wstring_view name,
                std::initializer_list<std::pair<const wchar_t*, int32_t>> entries) {
    HeapPtr<IniSection> section = MakeHeap<IniSection>();
    ASSERT_TRUE(section && section->name.Assign(name));
    for (const auto& [key, value] : entries) {
        HeapPtr<IniEntry> entry = MakeHeap<IniEntry>();
        ASSERT_TRUE(entry && entry->name.Assign(key));
        entry->kind = Integer;
        entry->integer = value;
        ASSERT_TRUE(section->entries.Append(std::move(entry)));
    }
    ASSERT_TRUE(sections.Append(std::move(section)));
}

std::wstring Serialize(const Sections& sections, std::wstring_view newline) {
    WideString out;
    EXPECT_TRUE(SerializeIni(sections, newline, out));
    return std::wstring(out.view());
}

TEST(SerializeIni, WritesSectionsInOrder) {
    Sections sections;
    EXPECT_EQ(Serialize(sections, L"\r\n"), L"");

    AddSection(sections, L"", {{L"ShowBar", 1}, {L"UseRegExp", 0}});
    EXPECT_EQ(Serialize(sections, L"\r\n"), L"ShowBar=1\r\nUseRegExp=0\r\n\r\n");

    AddSection(sections, L"Other", {{L"a", -5}});
    AddSection(sections, L"Empty", {});
    EXPECT_EQ(Serialize(sections, L"\n"), L"ShowBar=1\nUseRegExp=0\n\n[Other]\na=-5\n\n[Empty]\n\n");

    Sections unnamedLater;
    AddSection(unnamedLater, L"First", {{L"x", 1}});
    AddSection(unnamedLater, L"", {{L"y", 2}});
    EXPECT_EQ(Serialize(unnamedLater, L"\r"), L"[First]\rx=1\r\r[]\ry=2\r\r");
}

struct ValueCase {
    int32_t kind;
    int32_t integer;
    double real;
    const wchar_t* text;
    const wchar_t* format;
    const wchar_t* value;
};

TEST(SerializeIni, WritesTheFieldOfTheEntrysKind) {
    const ValueCase cases[] = {
        {Integer, INT32_MIN, 0.0, L"ignored", L"", L"-2147483648"},
        {Integer, 7, 0.0, L"", L"%03d", L"007"},
        {Real, 0, 0.5, L"", L"", L"0.500000"},
        {Real, 0, 0.5, L"", L"x%5.1f", L"x  0.5"},
        // The longest "%f" (a sign, 309 digits, the point, six decimals): one unit short and it is lost.
        {Real, 0, -DBL_MAX, L"", L"", nullptr},
        {Raw, 99, 0.0, L" 12 blanks kept ", L"", L" 12 blanks kept "},
        {Text, 0, 0.0, L"\u30C6\u30AD\u30B9\u30C8", L"", L"\u30C6\u30AD\u30B9\u30C8"},
        {9, 5, 0.0, L"x", L"", L""},
    };
    for (const ValueCase& c : cases) {
        Sections sections;
        AddSection(sections, L"", {{L"k", c.integer}});
        IniEntry& entry = *sections[0]->entries[0];
        entry.kind = c.kind;
        entry.real = c.real;
        ASSERT_TRUE(entry.text.Assign(c.text) && entry.format.Assign(c.format));
        const std::wstring text = Serialize(sections, L"\n");
        if (c.value == nullptr) {
            EXPECT_EQ(text.size(), 2u + 317u + 2u);
        } else {
            EXPECT_EQ(text, L"k=" + std::wstring(c.value) + L"\n\n");
        }
    }
}

}  // namespace
