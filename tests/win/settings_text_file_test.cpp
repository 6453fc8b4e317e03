// Reading and writing text files in every encoding, with the system's converters under Wine.
#include "base/unique_handle.h"
#include "settings/text_encoding.h"
#include "settings/text_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const std::wstring kSample = L"検索バーの設定=表示\r\n正規表現を使う=いいえ\r\n";
const std::wstring kUntouched = L"caller's text";

// ReadTextFile with a standard string: `text` comes back as the reader left it.
bool Read(const std::wstring& path, std::wstring& text, int32_t* code) {
    WideString owned;
    if (!owned.Assign(text)) {
        ADD_FAILURE() << "no memory for the test's text";
        return false;
    }
    const bool read = ReadTextFile(path.c_str(), owned, code);
    text.assign(owned.view());
    return read;
}

std::wstring DataFile(const std::wstring& name) {
    return std::wstring(FINDRAIL_SETTINGS_DATA) + L"/encodings/" + name;
}

// Code page 0 is the system's own: of two expectations, the one for the code page that GetACP reports.
std::string UnderSystemCodePage(const std::string& japanese, const std::string& western) {
    switch (GetACP()) {
        case 932:
            return japanese;
        case 1252:
            return western;
        default:
            return "no expectation for code page " + std::to_string(GetACP());
    }
}

// Each tier runs as the Windows its tree names (the shipping 32-bit tier a Japanese one, as the users have;
// the 64-bit tier an English one). A tier that fell back to the other would test one system twice and never
// the users' own.
TEST(SystemLocale, IsTheTiersWindows) {
    const bool japanese = FINDRAIL_JAPANESE_WINDOWS != 0;
    struct Row {
        const char* what;
        unsigned reported;
        unsigned japanese;
        unsigned english;
    };
    const Row rows[] = {
        {"GetACP", GetACP(), 932, 1252},
        {"GetOEMCP", GetOEMCP(), 932, 437},
        {"GetUserDefaultLCID", GetUserDefaultLCID(), 0x0411, 0x0409},
        {"GetSystemDefaultLCID", GetSystemDefaultLCID(), 0x0411, 0x0409},
        {"GetUserDefaultUILanguage", GetUserDefaultUILanguage(), 0x0411, 0x0409},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.reported, japanese ? row.japanese : row.english) << row.what;
    }
}

struct ReadCase {
    const wchar_t* file;
    int32_t code;
    std::wstring text;
};

// Wine has no ISO-2022-JP converter; Windows has.
const bool kSystemHasJis = IsValidCodePage(50220) != FALSE;

// Each sample's name starts with the encoding that it must be read as. Where the system lacks its code page,
// a sample is unreadable and the caller's text and code stay.
TEST(ReadTextFile, ReadsEverySample) {
    const ReadCase cases[] = {
        {L"ShiftJis.sample.txt", ShiftJis, kSample},
        {L"EucJp.sample.txt", EucJp, kSample},
        {L"Jis.sample.txt", Jis, kSample},
        {L"Jis.katakana.txt", Jis, L"ｹﾝｻｸ=検索\r\n"},
        {L"Utf8.sample.txt", Utf8, kSample},
        {L"Utf8Bom.sample.txt", Utf8Bom, kSample},
        {L"Utf16Le.sample.txt", Utf16Le, kSample},
        {L"Utf16Be.sample.txt", Utf16Be, kSample},
        {L"Utf7.sample.txt", Utf7, kSample},
        {L"Ansi.plain.txt", Ansi, L"ShowBar=1\r\nUseRegExp=0\r\n"},
        {L"Ansi.empty.txt", Ansi, L""},
        {L"Utf16Le.mark-only.txt", Utf16Le, L""},
        {L"Utf16Be.mark-only.txt", Utf16Be, L""},
        {L"Utf8Bom.mark-only.txt", Utf8Bom, L""},
        {L"Utf16Le.no-mark-ffff.txt", Utf16Le, std::wstring(L"\xFFFF") + L"A"},
        // An odd last byte pairs with a zero: its low byte when little-endian, its high byte when big-endian.
        {L"Utf16Le.odd-length.txt", Utf16Le, L"AB"},
        {L"Utf16Be.odd-length.txt", Utf16Be, L"A\x4200"},
        {L"Utf16Le.stops-at-zero-unit.txt", Utf16Le, L"A"},
        // EF BB is no mark but one unassigned Shift_JIS character: the converter's default character.
        {L"ShiftJis.ef-bb.txt", ShiftJis, L"\x30FB"},
    };
    for (const ReadCase& c : cases) {
        const bool readable = c.code != Jis || kSystemHasJis;
        std::wstring text = kUntouched;
        int32_t code = -1;
        EXPECT_EQ(Read(DataFile(c.file), text, &code), readable) << ToUtf8(c.file);
        EXPECT_EQ(code, readable ? c.code : -1) << ToUtf8(c.file);
        EXPECT_EQ(text, readable ? c.text : kUntouched) << ToUtf8(c.file);
    }
}

TEST(ReadTextFile, NotTextLeavesTheTextAndReportsTheCode) {
    for (const wchar_t* file : {L"NotText.zero-byte.txt", L"NotText.lone-e9.txt"}) {
        std::wstring text = kUntouched;
        int32_t code = -1;
        EXPECT_FALSE(Read(DataFile(file), text, &code)) << ToUtf8(file);
        EXPECT_EQ(code, NotText) << ToUtf8(file);
        EXPECT_EQ(text, kUntouched) << ToUtf8(file);
    }
    std::wstring text;
    EXPECT_TRUE(Read(DataFile(L"Utf8.sample.txt"), text, nullptr));
    EXPECT_EQ(text, kSample);
}

class TextFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = MakeTempDir(L"textfile");
        ASSERT_FALSE(dir.empty());
    }

    // Reading must fail and touch neither the text nor the code.
    void ExpectUnreadable(const std::wstring& path) {
        std::wstring text = kUntouched;
        int32_t code = 42;
        EXPECT_FALSE(Read(path, text, &code)) << ToUtf8(path);
        EXPECT_EQ(code, 42) << ToUtf8(path);
        EXPECT_EQ(text, kUntouched) << ToUtf8(path);
    }

    // What the test's folder holds: a save leaves nothing of its own behind.
    std::set<std::wstring> Names() const { return FolderNames(dir); }

    std::wstring dir;
};

TEST_F(TextFiles, EveryEncodingRoundTrips) {
    struct RoundTrip {
        int32_t code;
        std::wstring text;
    };
    // 7-bit text is the same under code pages 932 and 1252: a backslash or tilde is no yen sign or overline.
    const RoundTrip cases[] = {
        {ShiftJis, kSample},
        {EucJp, kSample},
        {Jis, kSample},
        {Jis, L"ｹﾝｻｸ=検索\r\nx=1\r\n"},
        {Utf16Le, kSample},
        {Utf16Be, kSample},
        {Utf8, kSample},
        {Utf8Bom, kSample},
        {Utf7, kSample},
        {Ansi, L"ShowBar=1\r\nUseRegExp=0\r\n"},
        {Utf16Le, L""},
        {Utf16Be, L""},
        {Utf8Bom, L""},
        {Ansi, L""},
        {Ansi, L"Path=C:\\Kelo\\~1\r\n"},
    };
    int n = 0;
    for (const RoundTrip& c : cases) {
        const std::wstring path = dir + L"round" + std::to_wstring(n++) + L".txt";
        if (c.code == Jis && !kSystemHasJis) {
            EXPECT_FALSE(WriteTextFile(path.c_str(), c.text.c_str(), c.code));
            continue;
        }
        ASSERT_TRUE(WriteTextFile(path.c_str(), c.text.c_str(), c.code)) << c.code;
        std::wstring text;
        int32_t code = -1;
        EXPECT_TRUE(Read(path, text, &code)) << c.code;
        EXPECT_EQ(code, c.code) << "written as " << c.code << ": " << ReadFileBytes(path);
        EXPECT_EQ(text, c.text) << c.code;
    }
}

TEST_F(TextFiles, WritesMarksAndByteOrder) {
    struct Bytes {
        int32_t code;
        const wchar_t* text;
        std::string bytes;
    };
    const Bytes cases[] = {
        {Utf16Be, L"A", std::string("\xFE\xFF\x00\x41", 4)},
        {Utf16Le, L"A", std::string("\xFF\xFE\x41\x00", 4)},
        {Utf16Le, L"", "\xFF\xFE"},
        {Utf16Be, L"", "\xFE\xFF"},
        {Utf8Bom, L"", "\xEF\xBB\xBF"},
        {Utf8Bom, L"あ", "\xEF\xBB\xBF\xE3\x81\x82"},
        {Utf8, L"あ", "\xE3\x81\x82"},
        {Utf8, L"", ""},
        {Ansi, L"", ""},
        {ShiftJis, L"あ", "\x82\xA0"},
        {EucJp, L"あ", "\xA4\xA2"},
        // Unset, NotText and Ansi write in the system's code page.
        {Ansi, L"あ=1", UnderSystemCodePage("\x82\xA0=1", "?=1")},
        {Unset, L"ｹﾝｻｸ", UnderSystemCodePage("\xB9\xDD\xBB\xB8", "????")},
        {NotText, L"é", UnderSystemCodePage("e", "\xE9")},
    };
    for (const Bytes& c : cases) {
        const std::wstring path = dir + L"bytes.txt";
        ASSERT_TRUE(WriteFileBytes(path, "a longer old content that must disappear"));
        ASSERT_TRUE(WriteTextFile(path.c_str(), c.text, c.code)) << c.code;
        EXPECT_EQ(ReadFileBytes(path), c.bytes) << "code " << c.code;
    }
    EXPECT_EQ(Names(), std::set<std::wstring>{L"bytes.txt"});
}

TEST_F(TextFiles, CreatesMissingFolders) {
    const std::wstring path = dir + L"a\\b\\c\\settings.ini";
    ASSERT_TRUE(WriteTextFile(path.c_str(), L"x=1\r\n", Utf8));
    EXPECT_EQ(ReadFileBytes(path), "x=1\r\n");
}

TEST_F(TextFiles, UnreadableFilesLeaveTextAndCode) {
    ExpectUnreadable(dir + L"missing.txt");
    ExpectUnreadable(dir);
    const std::wstring folder = dir + L"folder.ini";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ExpectUnreadable(folder);

    const std::wstring locked = dir + L"locked.txt";
    ASSERT_TRUE(WriteFileBytes(locked, "x=1\r\n"));
    {
        UniqueFile holder(CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(holder);
        ExpectUnreadable(locked);
    }
    std::wstring text;
    EXPECT_TRUE(Read(locked, text, nullptr));
}

// A file larger than any settings file is no settings file: it is not read at all.
TEST_F(TextFiles, FilesBeyondTheBoundAreUnreadable) {
    const std::wstring path = dir + L"large.txt";
    for (const long long size : {static_cast<long long>(kLargestTextFile) + 1, 0x80000000LL}) {
        SCOPED_TRACE(size);
        {
            UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            ASSERT_TRUE(file);
            LARGE_INTEGER end;
            end.QuadPart = size;
            ASSERT_TRUE(SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
            ASSERT_TRUE(SetEndOfFile(file.get()));
        }
        ExpectUnreadable(path);
    }
    ASSERT_TRUE(WriteFileBytes(path, std::string(kLargestTextFile, 'a')));
    std::wstring text;
    int32_t code = Unset;
    EXPECT_TRUE(Read(path, text, &code));
    EXPECT_EQ(text.size(), kLargestTextFile);
    EXPECT_EQ(code, Ansi);
    EXPECT_TRUE(DeleteFileW(path.c_str()));
}

// A file held open elsewhere cannot be opened for writing: by its holder's refusal to share, or by the
// writer's own share mode 0 when the holder shares everything.
TEST_F(TextFiles, WriteFailuresLeaveTheFile) {
    struct Holder {
        const char* what;
        DWORD access;
        DWORD share;
    };
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const Holder holders[] = {
        {"reader sharing nothing", GENERIC_READ, 0},
        {"reader sharing everything", GENERIC_READ, kShareAll},
        {"writer sharing everything", GENERIC_WRITE, kShareAll},
    };
    const std::string old = "kept=1\r\n";
    const std::wstring locked = dir + L"locked.ini";
    ASSERT_TRUE(WriteFileBytes(locked, old));
    for (const Holder& row : holders) {
        SCOPED_TRACE(row.what);
        {
            UniqueFile holder(
                CreateFileW(locked.c_str(), row.access, row.share, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(holder);
            EXPECT_FALSE(WriteTextFile(locked.c_str(), L"new=2\r\n", Utf8));
        }
        EXPECT_EQ(ReadFileBytes(locked), old);
    }

    const std::wstring folder = dir + L"folder.ini";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(WriteTextFile(folder.c_str(), L"new=2\r\n", Utf8));
    EXPECT_EQ(Names(), (std::set<std::wstring>{L"folder.ini", L"locked.ini"}));
}

// A side file that an ended save left is taken over; a save under way elsewhere, which holds the lock, makes
// this save give way, so that two saves at once leave one whole file.
TEST_F(TextFiles, SideFileTakenOverOrGivenWayTo) {
    const std::wstring path = dir + L"kept.ini";
    const std::wstring side = path + L".tmp";
    ASSERT_TRUE(WriteFileBytes(path, "kept=1\r\n"));
    ASSERT_TRUE(WriteFileBytes(side, "half a sav"));
    // A backup the user made by hand is no file of the save's.
    ASSERT_TRUE(WriteFileBytes(path + L".bak", "user's backup"));
    EXPECT_TRUE(WriteTextFile(path.c_str(), L"new=2\r\n", Utf8));
    EXPECT_EQ(ReadFileBytes(path), "new=2\r\n");
    EXPECT_EQ(ReadFileBytes(path + L".bak"), "user's backup");
    ASSERT_TRUE(DeleteFileW((path + L".bak").c_str()));
    EXPECT_EQ(Names(), std::set<std::wstring>{L"kept.ini"});

    for (const std::wstring& target : {path, dir + L"fresh.ini"}) {
        const std::wstring held = target + L".lock";
        UniqueFile other(CreateFileW(held.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        ASSERT_TRUE(other);
        EXPECT_FALSE(WriteTextFile(target.c_str(), L"mine=3\r\n", Utf8)) << ToUtf8(target);
    }
    EXPECT_EQ(ReadFileBytes(path), "new=2\r\n");
    EXPECT_EQ(Names(), std::set<std::wstring>{L"kept.ini"});
}

// A read-only file is read but never written, also not by root, whom Wine's permission bits do not stop; a
// hidden one is written. Either way the file keeps the attributes it had.
TEST_F(TextFiles, AttributesDecideAndSurviveASave) {
    struct Row {
        DWORD attributes;
        bool written;
    };
    const Row rows[] = {
        {FILE_ATTRIBUTE_READONLY, false},
        {FILE_ATTRIBUTE_HIDDEN, true},
        {FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.attributes);
        const std::wstring path = dir + L"attributes.ini";
        ASSERT_TRUE(WriteFileBytes(path, "kept=1\r\n"));
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), row.attributes));
        const DWORD before = GetFileAttributesW(path.c_str());
        ASSERT_EQ(before & row.attributes, row.attributes);
        std::wstring text;
        EXPECT_TRUE(Read(path, text, nullptr));
        EXPECT_EQ(WriteTextFile(path.c_str(), L"new=2\r\n", Utf8), row.written);
        EXPECT_EQ(ReadFileBytes(path), row.written ? "new=2\r\n" : "kept=1\r\n");
        EXPECT_EQ(GetFileAttributesW(path.c_str()), before);
        ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    }
    EXPECT_EQ(Names(), std::set<std::wstring>{L"attributes.ini"});
}

// The executable's import slot of a system function, which the settings code linked into it calls.
template <typename Function>
Function* ImportSlot(Function function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* headers =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& table = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
    auto* slots = reinterpret_cast<Function*>(base + table.VirtualAddress);
    for (size_t i = 0; i < table.Size / sizeof(*slots); ++i) {
        if (slots[i] == function) {
            return &slots[i];
        }
    }
    return nullptr;
}

template <typename Function>
void SetImport(Function* slot, Function function) {
    DWORD protection = 0;
    (void)VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = function;
    (void)VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

using WriteFileFunction = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

WriteFileFunction realWriteFile = nullptr;
int writesBeforeFull = 0;

// A disk that fills up: the first write of a save stores half its bytes and says so, the next one fails.
BOOL WINAPI WriteUntilFull(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (writesBeforeFull-- > 0) {
        return realWriteFile(file, data, size / 2, written, overlapped);
    }
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

TEST_F(TextFiles, FullDiskLeavesTheOldFile) {
    WriteFileFunction* slot = ImportSlot<WriteFileFunction>(&WriteFile);
    ASSERT_NE(slot, nullptr);
    realWriteFile = *slot;
    const std::wstring path = dir + L"kept.ini";
    ASSERT_TRUE(WriteFileBytes(path, "kept=1\r\n"));
    const std::wstring fresh = dir + L"never.ini";
    SetImport(slot, WriteUntilFull);
    for (const std::wstring& target : {path, fresh}) {
        writesBeforeFull = 1;
        EXPECT_FALSE(WriteTextFile(target.c_str(), kSample.c_str(), Utf8)) << ToUtf8(target);
    }
    SetImport(slot, realWriteFile);
    EXPECT_EQ(ReadFileBytes(path), "kept=1\r\n");
    EXPECT_EQ(Names(), std::set<std::wstring>{L"kept.ini"});
}

// A converter that yields nothing, as for a code page the system lacks: emptying the user's file then would
// lose it.
int WINAPI ConvertNothing(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL) {
    return 0;
}

TEST_F(TextFiles, TextThatConvertsToNothingIsNotWritten) {
    using Convert = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
    Convert* slot = ImportSlot<Convert>(&WideCharToMultiByte);
    ASSERT_NE(slot, nullptr);
    const Convert real = *slot;
    const std::wstring path = dir + L"kept.ini";
    ASSERT_TRUE(WriteFileBytes(path, "kept=1\r\n"));
    const std::wstring fresh = dir + L"fresh\\never.ini";
    SetImport(slot, &ConvertNothing);
    const bool overOld = WriteTextFile(path.c_str(), L"new=2\r\n", ShiftJis);
    const bool overNothing = WriteTextFile(fresh.c_str(), L"new=2\r\n", ShiftJis);
    // Empty text is empty whatever the converter does.
    const bool empty = WriteTextFile(path.c_str(), L"", ShiftJis);
    SetImport(slot, real);
    EXPECT_FALSE(overOld);
    EXPECT_FALSE(overNothing);
    EXPECT_FALSE(FileExists(fresh));
    EXPECT_TRUE(empty);
    EXPECT_EQ(ReadFileBytes(path), "");
}

}  // namespace
