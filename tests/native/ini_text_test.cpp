// INI text: line breaks and line kinds, the number reader behind GetInt, and the serialised form.
#include "settings/ini_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Records what the parser reports as one readable string.
class Recorder final : public IniTextHandler {
  public:
    void OnLineBreak(std::wstring_view lineBreak) override {
        log += lineBreak == L"\r\n" ? L"<CRLF>" : lineBreak == L"\r" ? L"<CR>" : L"<LF>";
    }
    void OnSection(std::wstring_view name) override { log.append(L"[").append(name).append(L"]"); }
    void OnEntry(std::wstring_view key, std::wstring_view value) override {
        log.append(L"{").append(key).append(L"|").append(value).append(L"}");
    }
    std::wstring log;
};

std::wstring Parse(const std::wstring& text) {
    Recorder recorder;
    ParseIniText(text, recorder);
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
        {L"\x3000"
         L"1",
         false, 0},  // only the C locale's blanks are skipped
    };
    for (const NumberCase& c : cases) {
        int32_t value = 1234;
        EXPECT_EQ(ParseDecimalInt32(c.text, &value), c.read) << testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(value, c.read ? c.value : 1234) << testing::PrintToString(std::wstring(c.text));
    }
}

IniEntry MakeEntry(int32_t kind, const std::wstring& format = L"") {
    IniEntry entry;
    entry.name = L"k";
    entry.kind = kind;
    entry.format = format;
    return entry;
}

TEST(FormatIniValue, WritesTheFieldOfTheKind) {
    IniEntry integer = MakeEntry(Integer);
    integer.integer = -5;
    integer.text = L"ignored";
    EXPECT_EQ(FormatIniValue(integer), L"-5");
    integer.integer = INT32_MIN;
    EXPECT_EQ(FormatIniValue(integer), L"-2147483648");
    integer.format = L"%03d";
    integer.integer = 7;
    EXPECT_EQ(FormatIniValue(integer), L"007");
    integer.format = L"%%%x!";
    integer.integer = 255;
    EXPECT_EQ(FormatIniValue(integer), L"%ff!");
    integer.format = L"%9999d";  // the widest field taken
    EXPECT_EQ(FormatIniValue(integer), std::wstring(9996, L' ') + L"255");

    IniEntry real = MakeEntry(Real);
    real.real = 0.5;
    EXPECT_EQ(FormatIniValue(real), L"0.500000");
    real.format = L"x%5.1f";
    EXPECT_EQ(FormatIniValue(real), L"x  0.5");
    real.format = L"%lf";
    EXPECT_EQ(FormatIniValue(real), L"0.500000");
    real.real = 1e300;
    real.format.clear();
    EXPECT_EQ(FormatIniValue(real).size(), 301u + 7u);

    IniEntry raw = MakeEntry(Raw);
    raw.text = L" 12 blanks kept ";
    raw.integer = 99;
    EXPECT_EQ(FormatIniValue(raw), L" 12 blanks kept ");
    IniEntry text = MakeEntry(Text);
    text.text = L"テキスト";
    EXPECT_EQ(FormatIniValue(text), L"テキスト");
    EXPECT_EQ(FormatIniValue(MakeEntry(9)), L"");
    EXPECT_EQ(FormatIniValue(MakeEntry(-1)), L"");
}

TEST(FormatIniValue, FormatsThatWouldMisreadTheArgumentFallBack) {
    const wchar_t* const intFallbacks[] = {L"%s",  L"%d%d", L"%f",         L"plain",   L"%*d",
                                           L"%ld", L"%",    L"%99779777d", L"%.10000d"};
    for (const wchar_t* format : intFallbacks) {
        IniEntry entry = MakeEntry(Integer, format);
        entry.integer = 3;
        EXPECT_EQ(FormatIniValue(entry), L"3") << testing::PrintToString(std::wstring(format));
    }
    const wchar_t* const realFallbacks[] = {L"%d", L"%s", L"%f %f", L"%.*f", L"%10000f", L"%.99779777f"};
    for (const wchar_t* format : realFallbacks) {
        IniEntry entry = MakeEntry(Real, format);
        entry.real = 2.25;
        EXPECT_EQ(FormatIniValue(entry), L"2.250000") << testing::PrintToString(std::wstring(format));
    }
}

std::unique_ptr<IniSection> MakeSection(const std::wstring& name,
                                        std::initializer_list<std::pair<const wchar_t*, int32_t>> entries) {
    auto section = std::make_unique<IniSection>(name);
    for (const auto& [key, value] : entries) {
        auto entry = std::make_unique<IniEntry>(MakeEntry(Integer));
        entry->name = key;
        entry->integer = value;
        section->entries.push_back(std::move(entry));
    }
    return section;
}

TEST(SerializeIni, WritesSectionsInOrder) {
    std::vector<std::unique_ptr<IniSection>> sections;
    EXPECT_EQ(SerializeIni(sections, L"\r\n"), L"");

    sections.push_back(MakeSection(L"", {{L"ShowBar", 1}, {L"UseRegExp", 0}}));
    EXPECT_EQ(SerializeIni(sections, L"\r\n"), L"ShowBar=1\r\nUseRegExp=0\r\n\r\n");

    sections.push_back(MakeSection(L"Other", {{L"a", -5}}));
    sections.push_back(MakeSection(L"Empty", {}));
    EXPECT_EQ(SerializeIni(sections, L"\n"), L"ShowBar=1\nUseRegExp=0\n\n[Other]\na=-5\n\n[Empty]\n\n");

    std::vector<std::unique_ptr<IniSection>> unnamedLater;
    unnamedLater.push_back(MakeSection(L"First", {{L"x", 1}}));
    unnamedLater.push_back(MakeSection(L"", {{L"y", 2}}));
    EXPECT_EQ(SerializeIni(unnamedLater, L"\r"), L"[First]\rx=1\r\r[]\ry=2\r\r");
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
