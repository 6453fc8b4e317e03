// The plug-in's surface as the host sees it: exports, resources and the PluginProc queries.
#include "host/standin_host.h"
#include "bar/host_interface.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kSearchEdit = 40002;

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host.LoadPlugin(CopyPluginAs(L"FrExports"))); }

    StandInHost host;
};

// The version resource as Explorer reads it.
struct VersionResource {
    bool read = false;
    VS_FIXEDFILEINFO fixed = {};
    std::vector<DWORD> translations;
    std::wstring fileVersion;
    std::wstring productVersion;
};

VersionResource ReadVersionResource(const std::wstring& dll) {
    VersionResource result;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(dll.c_str(), &ignored);
    std::vector<BYTE> block(size);
    if (size == 0 || !GetFileVersionInfoW(dll.c_str(), 0, size, block.data())) {
        return result;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
        std::memcpy(&result.fixed, value, sizeof(VS_FIXEDFILEINFO));
    }
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length)) {
        result.translations.resize(length / sizeof(DWORD));
        std::memcpy(result.translations.data(), value, result.translations.size() * sizeof(DWORD));
    }
    const auto text = [&](const wchar_t* name) {
        const std::wstring path = std::wstring(L"\\StringFileInfo\\000004b0\\") + name;
        return VerQueryValueW(block.data(), path.c_str(), &value, &length) && length > 0
                   ? std::wstring(static_cast<const wchar_t*>(value))
                   : std::wstring();
    };
    result.fileVersion = text(L"FileVersion");
    result.productVersion = text(L"ProductVersion");
    result.read = true;
    return result;
}

std::wstring LoadResourceString(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<size_t>(length)) : std::wstring();
}

TEST_F(ExportsTest, IdsAndTheirResources) {
    const PluginExports& exports = host.Exports();
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(exports.getMenuTextId(), 40000u);
        EXPECT_EQ(exports.getStatusMessageId(), 40001u);
        EXPECT_EQ(exports.getIconId(), 111u);
    }
    // The exact UTF-16 code units, not what a code page made of them.
    EXPECT_EQ(LoadResourceString(host.Plugin(), 40000), std::wstring(L"\u30EB\u30AB\u30E2\u30CD"));
    EXPECT_EQ(LoadResourceString(host.Plugin(), 40001),
              std::wstring(L"\u30EB\u30AB\u30E2\u30CD|\u30EB\u30AB\u30E2\u30CD\u3067\u3059\u3002"));

    HRSRC group = FindResourceW(host.Plugin(), MAKEINTRESOURCEW(111), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const BYTE*>(LockResource(LoadResource(host.Plugin(), group)));
    ASSERT_NE(dir, nullptr);
    WORD count = 0;
    std::memcpy(&count, dir + 4, 2);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(dir[6], 16);  // width
    EXPECT_EQ(dir[7], 16);  // height
    WORD bitCount = 0;
    std::memcpy(&bitCount, dir + 6 + 6, 2);
    EXPECT_EQ(bitCount, 32);
    HICON icon = static_cast<HICON>(LoadImageW(host.Plugin(), MAKEINTRESOURCEW(111), IMAGE_ICON, 16, 16, 0));
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr) {
        DestroyIcon(icon);
    }
}

TEST_F(ExportsTest, ManifestAsksForCommonControlsSixAsInvoker) {
    HRSRC found = FindResourceW(host.Plugin(), MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(host.Plugin(), found)));
    const std::string manifest(bytes, SizeofResource(host.Plugin(), found));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    // The shipping 32-bit DLL asks for the x86 assembly; the 64-bit build that also runs here, for amd64.
    const std::string architecture = sizeof(void*) == 4 ? "x86" : "amd64";
    EXPECT_NE(manifest.find("processorArchitecture=\"" + architecture + "\""), std::string::npos);
}

// Text queries with every kind of buffer: the result is always the full length, the buffer holds what fits,
// terminated, and nothing past the capacity is touched.
TEST_F(ExportsTest, TextQueriesNeverWritePastTheCapacity) {
    struct Row {
        UINT code;
        const wchar_t* text;
        size_t capacity;
    };
    const std::wstring name = L"\u30EB\u30AB\u30E2\u30CD";
    const std::wstring version = L"0.1.3.0";
    const Row rows[] = {
        {2306, name.c_str(), 0},    {2306, name.c_str(), 1},    {2306, name.c_str(), 3},
        {2306, name.c_str(), 4},    {2306, name.c_str(), 5},    {2306, name.c_str(), 64},
        {2307, version.c_str(), 0}, {2307, version.c_str(), 1}, {2307, version.c_str(), 7},
        {2307, version.c_str(), 8}, {2307, version.c_str(), 64},
    };
    for (const Row& row : rows) {
        const std::wstring text = row.text;
        wchar_t buffer[80];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        const LRESULT length = host.Exports().pluginProc(nullptr, row.code, row.capacity,
                                                         reinterpret_cast<LPARAM>(buffer));
        SCOPED_TRACE(testing::Message() << "code " << row.code << " capacity " << row.capacity);
        EXPECT_EQ(length, static_cast<LRESULT>(text.size()));
        for (size_t i = row.capacity; i < 80; ++i) {
            ASSERT_EQ(buffer[i], L'#') << "written at " << i;
        }
        if (row.capacity == 0) {
            continue;
        }
        const size_t kept = std::min(text.size(), row.capacity - 1);
        EXPECT_EQ(std::wstring(buffer, kept), text.substr(0, kept));
        EXPECT_EQ(buffer[kept], L'\0');
    }
    EXPECT_EQ(host.Exports().pluginProc(nullptr, 2306, 0, 0), 4);
    EXPECT_EQ(host.Exports().pluginProc(nullptr, 2307, 100, 0), 7);
}

// Both built DLLs carry the version that the version query answers: as text, as the four fixed numbers, and
// in the one language-neutral Unicode block.
TEST_F(ExportsTest, VersionResourceMatchesTheVersionQuery) {
    wchar_t buffer[32] = {};
    const LRESULT length = host.Exports().pluginProc(nullptr, 2307, 32, reinterpret_cast<LPARAM>(buffer));
    ASSERT_GT(length, 0);
    const std::wstring version(buffer, static_cast<size_t>(length));
    unsigned part[4] = {};
    wchar_t rest = 0;
    ASSERT_EQ(swscanf(version.c_str(), L"%u.%u.%u.%u%lc", &part[0], &part[1], &part[2], &part[3], &rest), 4)
        << ToUtf8(version);
    const DWORD high = MAKELONG(part[1], part[0]);
    const DWORD low = MAKELONG(part[3], part[2]);

    const std::wstring dll = BinDir() + L"FindRail.dll";
    SCOPED_TRACE(testing::Message() << ToUtf8(dll));
    ASSERT_TRUE(FileExists(dll));
    const VersionResource resource = ReadVersionResource(dll);
    ASSERT_TRUE(resource.read);
    EXPECT_EQ(resource.fixed.dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(resource.fixed.dwFileVersionMS, high);
    EXPECT_EQ(resource.fixed.dwFileVersionLS, low);
    EXPECT_EQ(resource.fixed.dwProductVersionMS, high);
    EXPECT_EQ(resource.fixed.dwProductVersionLS, low);
    EXPECT_EQ(resource.fileVersion, version);
    EXPECT_EQ(resource.productVersion, version);
    // Language in the low word, code page in the high one.
    ASSERT_EQ(resource.translations.size(), 1u);
    EXPECT_EQ(resource.translations[0], MAKELONG(0x0000, 1200));
}

TEST_F(ExportsTest, OtherQueryCodesAnswerZero) {
    wchar_t buffer[16] = L"untouched";
    for (UINT code : {0u, 1u, 2304u, 2305u, 2309u, 0xFFFFFFFFu}) {
        EXPECT_EQ(host.Exports().pluginProc(nullptr, code, 16, reinterpret_cast<LPARAM>(buffer)), 0) << code;
    }
    EXPECT_STREQ(buffer, L"untouched");
}

// A frame the plug-in has never heard of: nothing is sent, no check mark, nothing pre-translated.
TEST_F(ExportsTest, FrameWithoutStateIsLeftAlone) {
    HWND frame = host.OpenFrame(0);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(host.Exports().onCommand(frame), 0);
    EXPECT_EQ(host.Count(kMsgShowToolbar), 0u);

    BOOL checked = 7;
    EXPECT_EQ(host.Exports().queryStatus(frame, &checked), 1);
    EXPECT_EQ(checked, 0);
    EXPECT_EQ(host.Exports().queryStatus(frame, nullptr), 1);

    MSG msg = {};
    msg.hwnd = host.Document(frame);
    msg.message = WM_KEYDOWN;
    msg.wParam = VK_RETURN;
    EXPECT_EQ(host.Exports().pluginProc(frame, 2308, 0, reinterpret_cast<LPARAM>(&msg)), 0);
    EXPECT_EQ(host.Exports().pluginProc(frame, 2308, 0, 0), 0);
}

// A hidden bar takes nothing: Enter and characters for its box go back to the host, and nothing is searched.
TEST_F(ExportsTest, HiddenBarLeavesEveryMessageToTheHost) {
    HWND frame = host.OpenFrame(kEventAttach);
    ASSERT_NE(frame, nullptr);
    HWND box = GetDlgItem(host.Toolbar(frame), kSearchEdit);
    ASSERT_NE(box, nullptr);
    const auto preTranslate = [&](MSG msg) {
        return host.Exports().pluginProc(frame, 2308, 0, reinterpret_cast<LPARAM>(&msg));
    };
    const MSG messages[] = {{box, WM_KEYDOWN, VK_RETURN, 1, 0, {}}, {box, WM_CHAR, 'x', 1, 0, {}}};

    // While shown the same messages are taken, so a 0 below comes from the hidden bar alone.
    ASSERT_TRUE(SetWindowTextW(box, L"abc"));
    for (const MSG& msg : messages) {
        EXPECT_EQ(preTranslate(msg), 1) << "message " << msg.message;
    }
    ASSERT_EQ(host.Count(kMsgFind, frame), 1u);

    ASSERT_EQ(SendMessageW(frame, kMsgShowToolbar, static_cast<WPARAM>(host.ToolbarId(frame)), 0), 1);
    ASSERT_FALSE(host.ToolbarShown(frame));
    ASSERT_FALSE(host.CommandChecked(frame)) << "the host's 0x200000 report cleared the flag";
    ASSERT_TRUE(SetWindowTextW(box, L"abc"));
    for (const MSG& msg : messages) {
        EXPECT_EQ(preTranslate(msg), 0) << "message " << msg.message;
    }
    EXPECT_EQ(host.Count(kMsgFind), 1u);
    wchar_t text[16] = {};
    (void)GetWindowTextW(box, text, 16);
    EXPECT_STREQ(text, L"abc") << "the character was not dispatched to the box";
}

}  // namespace
