// The settings document: typed access, letter case, creation order, and the file round trip with golden
// files and hostile files.
#include "base/unique_handle.h"
#include "settings/ini_document.h"
#include "settings/text_encoding.h"
#include "settings/text_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

namespace {

std::wstring Str(const WideString& text) {
    return std::wstring(text.view());
}

std::wstring GoldenFile(const std::wstring& name) {
    return std::wstring(FINDRAIL_SETTINGS_DATA) + L"/ini/" + name;
}

class Document : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = MakeTempDir(L"document");
        ASSERT_FALSE(dir.empty());
        path = dir + L"Plugins\\FindRail\\FindRail.ini";
    }

    // Loads the given bytes as the settings file.
    void LoadBytes(const std::string& bytes) {
        ASSERT_TRUE(WriteFileBytes(path, bytes));
        doc.Load(path);
    }

    // What frame close does: ShowBar into the current section, written with "%d".
    void CloseFrame(int32_t value) { doc.SetValue(doc.currentSection, L"ShowBar", value)->format.Clear(); }

    std::string SaveAndRead() {
        doc.Save(doc.path, Utf8);
        return ReadFileBytes(path);
    }

    std::wstring dir;
    std::wstring path;
    IniDocument doc;
};

// Input file, and the bytes that module stop writes after a frame closed with the bar hidden.
TEST_F(Document, GoldenFilesRoundTrip) {
    const wchar_t* const cases[] = {
        L"line-breaks-lf",
        L"no-final-line-break",
        L"no-line-break-at-all",
        L"lf-then-cr",
        L"sections-merged",
        L"blanks-and-comments",
        L"unnamed-first",
        L"unnamed-later",
        L"section-without-entries-lost",
        L"unread-raw-keeps-text",
        L"empty-file",
        L"japanese-shift-jis",
        L"japanese-euc-jp",
        L"japanese-iso-2022-jp",
        L"japanese-utf-16-be",
        L"japanese-utf-8-bom",
    };
    for (const wchar_t* name : cases) {
        const std::wstring input = GoldenFile(std::wstring(name) + L".ini");
        // A file in a code page the system lacks (Wine has no ISO-2022-JP) is unreadable, and so kept.
        const bool kept = std::wstring(name) == L"japanese-iso-2022-jp" && !IsValidCodePage(50220);
        const std::string expected =
            ReadFileBytes(kept ? input : GoldenFile(std::wstring(name) + L".expected.ini"));
        ASSERT_FALSE(expected.empty()) << ToUtf8(name);
        IniDocument golden;
        std::wstring copy = dir + name + L".ini";
        ASSERT_TRUE(CopyFileW(input.c_str(), copy.c_str(), FALSE));
        golden.Load(copy);
        EXPECT_FALSE(golden.modified) << ToUtf8(name);
        golden.SetValue(golden.currentSection, L"ShowBar", 0)->format.Clear();
        golden.Save(golden.path, Utf8);
        EXPECT_EQ(ReadFileBytes(copy), expected) << ToUtf8(name);
        EXPECT_FALSE(golden.modified);
    }
}

TEST_F(Document, LoadRecordsPathEncodingAndSection) {
    LoadBytes("[A]\r\nx=1\r\n[B]\r\n[C]\r\n");
    EXPECT_EQ(Str(doc.path), path);
    EXPECT_EQ(doc.encoding, Ansi);
    EXPECT_EQ(Str(doc.currentSection), L"A");  // the section of the last entry, not the last section line
    EXPECT_FALSE(doc.modified);
    EXPECT_EQ(Str(doc.newline), L"\r\n");
    EXPECT_TRUE(doc.newlineFound);
    ASSERT_EQ(doc.sections.size(), 1u);
}

struct RawCase {
    const char* value;
    bool firstRead;
    int32_t number;
};

TEST_F(Document, RawTextBecomesIntegerOnFirstRead) {
    const RawCase cases[] = {
        {"  12", true, 12},
        {"+3", true, 3},
        {"-4", true, -4},
        {"5abc", true, 5},
        {"\t 6 ", true, 6},
        {"99999999999", true, INT32_MAX},
        {"-99999999999", true, INT32_MIN},
        {"", false, 0},
        {"abc", false, 0},
        {" - 1", false, 0},
        // As the C runtime's wcstol reads them: an input method types full-width digits (U+FF10..U+FF19) and
        // the ideographic space U+3000. The file is UTF-8; each \u escape takes four hex digits.
        {"\uFF10", true, 0},
        {"\uFF11\uFF12", true, 12},
        {"\u30007", true, 7},
        {"\u3000\uFF18", true, 8},
        {"-\uFF13", true, -3},
        {"+\uFF19", true, 9},
        {"4\uFF156", true, 456},
        {"\uFF167\uFF41", true, 67},  // a full-width letter stops the number
        {"\uFF0D1", false, 0},        // a full-width minus is no sign
    };
    std::string file;
    for (size_t i = 0; i < std::size(cases); ++i) {
        file += "k" + std::to_string(i) + "=" + cases[i].value + "\r\n";
    }
    LoadBytes(file);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const std::wstring key = L"K" + std::to_wstring(i);
        int32_t value = 777;
        EXPECT_EQ(doc.GetInt(L"", key, &value), cases[i].firstRead) << cases[i].value;
        EXPECT_EQ(value, cases[i].firstRead ? cases[i].number : 777) << cases[i].value;
        // Converted once: later reads succeed, with 0 where no number was found.
        value = 777;
        EXPECT_TRUE(doc.GetInt(L"", key, &value)) << cases[i].value;
        EXPECT_EQ(value, cases[i].number) << cases[i].value;
    }
    doc.modified = true;
    EXPECT_EQ(SaveAndRead(),
              "k0=12\r\nk1=3\r\nk2=-4\r\nk3=5\r\nk4=6\r\nk5=2147483647\r\nk6=-2147483648\r\n"
              "k7=0\r\nk8=0\r\nk9=0\r\nk10=0\r\nk11=12\r\nk12=7\r\nk13=8\r\nk14=-3\r\nk15=9\r\nk16=456\r\n"
              "k17=67\r\nk18=0\r\n\r\n");
}

TEST_F(Document, NamesMatchWithoutLetterCase) {
    LoadBytes("ShowBar=0\r\n");
    int32_t value = 5;
    EXPECT_TRUE(doc.GetInt(L"", L"SHOWBAR", &value));
    EXPECT_EQ(value, 0);
    doc.SetValue(L"", L"showbar", 1);
    EXPECT_EQ(SaveAndRead(), "ShowBar=1\r\n\r\n");

    doc.SetValue(L"Größe", L"Ä", 1);
    doc.SetValue(L"GRÖSSE", L"a", 2);  // not a case variant: a different section
    doc.SetValue(L"größe", L"ä", 3);
    ASSERT_EQ(doc.sections.size(), 3u);
    EXPECT_EQ(Str(doc.sections[1]->name), L"Größe");
    ASSERT_EQ(doc.sections[1]->entries.size(), 1u);
    EXPECT_EQ(doc.sections[1]->entries[0]->integer, 3);
    EXPECT_EQ(Str(doc.sections[1]->entries[0]->name), L"Ä");
    // Blanks are part of a name.
    doc.SetValue(L"", L" showbar", 9);
    EXPECT_EQ(doc.sections[0]->entries.size(), 2u);
}

TEST_F(Document, ReadsFailWithoutTouchingOrCreating) {
    LoadBytes("[S]\r\nt=1\r\n");
    const std::wstring_view digits = L"42";
    doc.SetValue(L"S", L"text", &digits, Text);
    const double half = 0.5;
    doc.SetValue(L"S", L"real", &half, Real);
    int32_t value = 777;
    EXPECT_FALSE(doc.GetInt(L"Missing", L"t", &value));
    EXPECT_FALSE(doc.GetInt(L"S", L"missing", &value));
    EXPECT_FALSE(doc.GetInt(L"S", L"text", &value));
    EXPECT_FALSE(doc.GetInt(L"S", L"real", &value));
    EXPECT_FALSE(doc.GetInt(L"S", L"t", nullptr));
    EXPECT_EQ(value, 777);
    EXPECT_EQ(doc.sections.size(), 1u);
    EXPECT_EQ(doc.sections[0]->entries.size(), 3u);
    // The failed reads still name the section that later calls use.
    EXPECT_EQ(Str(doc.currentSection), L"S");
    EXPECT_TRUE(doc.GetInt(doc.currentSection, L"T", &value));
    EXPECT_EQ(value, 1);
}

TEST_F(Document, KindIsFixedAtCreation) {
    LoadBytes("ShowBar=yes\r\n");
    // An Integer write into an unread Raw entry lands in the integer field; the entry stays Raw.
    EXPECT_EQ(doc.SetValue(L"", L"ShowBar", 1)->kind, Raw);
    EXPECT_EQ(SaveAndRead(), "ShowBar=yes\r\n\r\n");
    int32_t value = 777;
    EXPECT_FALSE(doc.GetInt(L"", L"ShowBar", &value));

    const double quarter = 0.25;
    EXPECT_EQ(doc.SetValue(L"", L"R", &quarter, Real)->kind, Real);
    IniEntry* number = doc.SetValue(L"", L"N", 5);
    const std::wstring_view ignored = L"ignored";
    doc.SetValue(L"", L"N", &ignored, Text);
    doc.SetValue(L"", L"Odd", &quarter, 7);
    ASSERT_TRUE(number->format.Assign(L"%+d"));
    EXPECT_EQ(SaveAndRead(), "ShowBar=0\r\nR=0.250000\r\nN=+5\r\nOdd=\r\n\r\n");
}

TEST_F(Document, NewSectionsAndEntriesGoLast) {
    LoadBytes("[B]\r\nb=1\r\n[A]\r\na=1\r\n");
    doc.SetValue(L"C", L"c", 1);
    doc.SetValue(L"B", L"b2", 2);
    doc.SetValue(L"a", L"a2", 3);
    EXPECT_EQ(SaveAndRead(), "[B]\r\nb=1\r\nb2=2\r\n\r\n[A]\r\na=1\r\na2=3\r\n\r\n[C]\r\nc=1\r\n\r\n");
}

TEST_F(Document, CurrentSectionMayBePassedItself) {
    LoadBytes("[Long section name that does not fit a short string buffer]\r\nShowBar=0\r\n");
    int32_t value = 1;
    EXPECT_TRUE(doc.GetInt(doc.currentSection, L"ShowBar", &value));
    EXPECT_EQ(value, 0);
    doc.SetValue(doc.currentSection, L"UseRegExp", 1)->format.Clear();
    EXPECT_EQ(Str(doc.currentSection), L"Long section name that does not fit a short string buffer");
    EXPECT_EQ(doc.sections.size(), 1u);
}

TEST_F(Document, SaveWritesOnlyWhenModified) {
    LoadBytes("ShowBar=1\r\n");
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    doc.Save(doc.path, Utf8);
    EXPECT_FALSE(FileExists(path));

    int32_t value = 0;
    doc.GetInt(L"", L"ShowBar", &value);
    doc.Save(doc.path, Utf8);
    EXPECT_FALSE(FileExists(path)) << "a read is no change";

    doc.SetValue(L"", L"ShowBar", value);  // the same value still counts
    EXPECT_TRUE(doc.modified);
    doc.Save(doc.path, Utf8);
    EXPECT_EQ(ReadFileBytes(path), "ShowBar=1\r\n\r\n");
    EXPECT_FALSE(doc.modified);
    ASSERT_TRUE(DeleteFileW(path.c_str()));
    doc.Save(doc.path, Utf8);
    EXPECT_FALSE(FileExists(path));
}

TEST_F(Document, MissingFileStartsEmptyAndIsCreated) {
    doc.Load(path);
    EXPECT_TRUE(doc.sections.empty());
    EXPECT_EQ(doc.encoding, Unset);
    EXPECT_EQ(Str(doc.currentSection), L"");
    int32_t showBar = 1;
    EXPECT_FALSE(doc.GetInt(doc.currentSection, L"ShowBar", &showBar));
    EXPECT_EQ(showBar, 1);
    CloseFrame(showBar);
    EXPECT_EQ(SaveAndRead(), "ShowBar=1\r\n\r\n");
}

TEST_F(Document, NotTextFileIsReplaced) {
    LoadBytes(std::string("ShowBar=0\r\n\0junk", 16));
    EXPECT_EQ(doc.encoding, NotText);
    EXPECT_TRUE(doc.sections.empty());
    CloseFrame(1);
    EXPECT_EQ(SaveAndRead(), "ShowBar=1\r\n\r\n");
}

// Another program holding the file without sharing: its entries must survive this run.
TEST_F(Document, FileLockedAtLoadIsLeftAsItIs) {
    const std::string original = "[Mine]\r\nShowBar=0\r\nOther=1\r\n";
    ASSERT_TRUE(WriteFileBytes(path, original));
    {
        UniqueFile holder(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        doc.Load(path);
    }
    EXPECT_TRUE(doc.sections.empty());
    EXPECT_EQ(doc.encoding, Unset);
    int32_t showBar = 1;
    EXPECT_FALSE(doc.GetInt(doc.currentSection, L"ShowBar", &showBar));
    CloseFrame(showBar);
    doc.Save(doc.path, Utf8);
    EXPECT_FALSE(doc.modified);
    EXPECT_EQ(ReadFileBytes(path), original);
}

TEST_F(Document, FileLockedAtSaveIsNotRetried) {
    LoadBytes("ShowBar=1\r\n");
    CloseFrame(0);
    {
        UniqueFile holder(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        doc.Save(doc.path, Utf8);
    }
    EXPECT_FALSE(doc.modified);
    EXPECT_EQ(ReadFileBytes(path), "ShowBar=1\r\n");
    doc.Save(doc.path, Utf8);
    EXPECT_EQ(ReadFileBytes(path), "ShowBar=1\r\n");
}

// Files no user wrote: each loads whole or counts as unreadable, when it is larger than any settings file, and
// is then kept as it was. Keys come in descending order, the worst for an index that shifts its entries.
TEST_F(Document, HostileFilesFallBackToDefaults) {
    std::mt19937 random(99);
    std::string noise(4096, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random() % 255 + 1);
    }
    std::string longLine = "ShowBar=";
    longLine.append(kLargestTextFile - longLine.size(), '7');
    const auto descending = [](int keys) {
        std::string lines;
        for (int i = keys; i > 0; --i) {
            lines += "key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
        }
        return lines + "ShowBar=0\n";
    };
    std::string underBound = descending(5000);
    for (int i = 5000; underBound.size() > kLargestTextFile; --i) {
        underBound = descending(i);
    }
    struct Hostile {
        const char* name;
        std::string bytes;
        int32_t showBar;
        bool kept;  // unreadable: never saved over
    };
    const Hostile cases[] = {
        {"random bytes", noise, 1, false},
        {"zero byte", std::string("ShowBar=0\0", 10), 1, false},
        {"lone CR", "\r", 1, false},
        {"CR-separated", "ShowBar=0\rUseRegExp=1\r", 0, false},
        {"64 KiB single line", longLine, INT32_MAX, false},
        {"one byte more", longLine + "7", 1, true},
        {"keys just under the bound", underBound, 0, false},
        {"100,000 keys", descending(100000), 1, true},
    };
    for (const Hostile& c : cases) {
        IniDocument hostile;
        ASSERT_TRUE(WriteFileBytes(path, c.bytes));
        hostile.Load(path);
        int32_t showBar = 1;
        int32_t useRegExp = 0;
        (void)hostile.GetInt(hostile.currentSection, L"ShowBar", &showBar);
        (void)hostile.GetInt(hostile.currentSection, L"UseRegExp", &useRegExp);
        EXPECT_EQ(showBar, c.showBar) << c.name;
        hostile.SetValue(hostile.currentSection, L"ShowBar", 1)->format.Clear();
        hostile.Save(hostile.path, Utf8);
        const std::string saved = ReadFileBytes(path);
        if (c.kept) {
            EXPECT_EQ(saved, c.bytes) << c.name;
        } else {
            EXPECT_FALSE(saved.empty()) << c.name;
        }
    }
    // Every key of the file under the bound came in.
    IniDocument loaded;
    ASSERT_TRUE(WriteFileBytes(path, underBound));
    loaded.Load(path);
    ASSERT_EQ(loaded.sections.size(), 1u);
    EXPECT_EQ(loaded.sections[0]->entries.size(),
              static_cast<size_t>(std::count(underBound.begin(), underBound.end(), '\n')));
}

TEST_F(Document, FolderWhereTheFileShouldBe) {
    const std::wstring folder = dir + L"folder.ini";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    IniDocument second;
    second.Load(folder);
    EXPECT_TRUE(second.sections.empty());
    second.SetValue(second.currentSection, L"ShowBar", 1);
    second.Save(second.path, Utf8);
    EXPECT_FALSE(second.modified);
    EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

}  // namespace
