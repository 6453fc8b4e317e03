// INI text: line breaks and line kinds, the number reader behind GetInt, and the serialised form.
#include "settings/ini_text.h"

#include <gtest/gtest.h>

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

struct NumberCase {
    const wchar_t* text;
    bool read;
    int32_t value;
};

TEST(ParseDecimalInt32, FollowsWcstolBase10) {
    const NumberCase cases[] = {
        {L"0", true, 0},
        {L"  42", true, 42},
        {L"\t-7", true, -7},
        {L"\v\f\r\n5", true, 5},
        {L"+8", true, 8},
        {L"12abc", true, 12},
        {L"1 2", true, 1},
        {L"007", true, 7},
        {L"0x10", true, 0},
        {L"2147483647", true, INT32_MAX},
        {L"2147483648", true, INT32_MAX},
        {L"99999999999999999999999", true, INT32_MAX},
        {L"-2147483648", true, INT32_MIN},
        {L"-2147483649", true, INT32_MIN},
        {L"-99999999999999999999999", true, INT32_MIN},
        {L"", false, 0},
        {L"abc", false, 0},
        {L"+", false, 0},
        {L"-", false, 0},
        {L"   ", false, 0},
        {L"- 1", false, 0},
        // The Windows C runtime's blanks and digits, in every build: the ideographic space and the full-width
        // digits that an input method types, other scripts' digits, and what is neither.
        {L"\x3000"
         L"1",
         true, 1},
        {L"\x00A0\x2000\x202F"
         L"5",
         true, 5},
        {L"\xFF11\xFF12", true, 12},
        {L"-\xFF13", true, -3},
        {L"4\xFF15"
         L"6",
         true, 456},
        {L"\x0661\x0966\x0E59", true, 109},
        {L"\xFF12\xFF11\xFF14\xFF17\xFF14\xFF18\xFF13\xFF16\xFF14\xFF18", true, INT32_MAX},
        {L"\xFF0D"
         L"1",
         false, 0},  // a full-width minus is no sign
        {L"\x0085"
         L"1",
         false, 0},  // NEL is no blank to it
        {L"\x200B"
         L"1",
         false, 0},
        {L"\x066A", false, 0},
        {L"\xFF1A", false, 0},
        {L"\U0001FF11", false, 0},  // beyond 16 bits: no digit, though its low 16 bits are one
    };
    for (const NumberCase& c : cases) {
        int32_t value = 1234;
        EXPECT_EQ(ParseDecimalInt32(c.text, &value), c.read) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(value, c.read ? c.value : 1234) << testing::PrintToString(std::wstring(c.text));
    }
}

void Set(WideString& target, std::wstring_view text) {
    ASSERT_TRUE(target.Assign(text));
}

IniEntry MakeEntry(int32_t kind, std::wstring_view format = L"") {
    IniEntry entry;
    EXPECT_TRUE(entry.name.Assign(L"k"));
    entry.kind = kind;
    EXPECT_TRUE(entry.format.Assign(format));
    return entry;
}

std::wstring Format(const IniEntry& entry) {
    WideString out;
    EXPECT_TRUE(FormatIniValue(entry, out));
    return std::wstring(out.view());
}

TEST(FormatIniValue, WritesTheFieldOfTheKind) {
    IniEntry integer = MakeEntry(Integer);
    integer.integer = -5;
    Set(integer.text, L"ignored");
    EXPECT_EQ(Format(integer), L"-5");
    integer.integer = INT32_MIN;
    EXPECT_EQ(Format(integer), L"-2147483648");
    Set(integer.format, L"%03d");
    integer.integer = 7;
    EXPECT_EQ(Format(integer), L"007");
    Set(integer.format, L"%%%x!");
    integer.integer = 255;
    EXPECT_EQ(Format(integer), L"%ff!");
    Set(integer.format, L"%9999d");  // the widest field taken
    EXPECT_EQ(Format(integer), std::wstring(9996, L' ') + L"255");

    IniEntry real = MakeEntry(Real);
    real.real = 0.5;
    EXPECT_EQ(Format(real), L"0.500000");
    Set(real.format, L"x%5.1f");
    EXPECT_EQ(Format(real), L"x  0.5");
    Set(real.format, L"%lf");
    EXPECT_EQ(Format(real), L"0.500000");
    real.real = 1e300;
    real.format.Clear();
    EXPECT_EQ(Format(real).size(), 301u + 7u);

    IniEntry raw = MakeEntry(Raw);
    Set(raw.text, L" 12 blanks kept ");
    raw.integer = 99;
    EXPECT_EQ(Format(raw), L" 12 blanks kept ");
    IniEntry text = MakeEntry(Text);
    Set(text.text, L"テキスト");
    EXPECT_EQ(Format(text), L"テキスト");
    EXPECT_EQ(Format(MakeEntry(9)), L"");
    EXPECT_EQ(Format(MakeEntry(-1)), L"");
}

TEST(FormatIniValue, FormatsThatWouldMisreadTheArgumentFallBack) {
    const wchar_t* const intFallbacks[] = {L"%s",  L"%d%d", L"%f",         L"plain",   L"%*d",
                                           L"%ld", L"%",    L"%99779777d", L"%.10000d"};
    for (const wchar_t* format : intFallbacks) {
        IniEntry entry = MakeEntry(Integer, format);
        entry.integer = 3;
        EXPECT_EQ(Format(entry), L"3") << testing::PrintToString(std::wstring(format));
    }
    const wchar_t* const realFallbacks[] = {L"%d", L"%s", L"%f %f", L"%.*f", L"%10000f", L"%.99779777f"};
    for (const wchar_t* format : realFallbacks) {
        IniEntry entry = MakeEntry(Real, format);
        entry.real = 2.25;
        EXPECT_EQ(Format(entry), L"2.250000") << testing::PrintToString(std::wstring(format));
    }
}

using Sections = Array<HeapPtr<IniSection>>;

void AddSection(Sections& sections,
                std::wstring_view name,
                std::initializer_list<std::pair<const wchar_t*, int32_t>> entries) {
    HeapPtr<IniSection> section = MakeHeap<IniSection>();
    ASSERT_TRUE(section && section->name.Assign(name));
    for (const auto& [key, value] : entries) {
        HeapPtr<IniEntry> entry = MakeHeap<IniEntry>(MakeEntry(Integer));
        ASSERT_TRUE(entry && entry->name.Assign(key));
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

TEST(OrdinalLess, ComparesCodeUnitsUnsigned) {
    OrdinalLess less;
    EXPECT_TRUE(less(L"AB", L"ABC"));
    EXPECT_FALSE(less(L"ABC", L"AB"));
    EXPECT_TRUE(less(L"A", L"B"));
    EXPECT_TRUE(less(L"Z", L"\xFF21"));  // full-width A sorts after every ASCII letter
    EXPECT_TRUE(less(L"\x7FFF", L"\x8000"));
    EXPECT_FALSE(less(L"SAME", L"SAME"));
    EXPECT_TRUE(less(L"", L"A"));
}

}  // namespace
