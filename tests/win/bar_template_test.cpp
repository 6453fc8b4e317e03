// Dialog template 107 as the built DLLs carry it, byte for byte where it matters: the bar's controls, their
// styles and the font all come from it.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads a standard (not extended) dialog template.
class TemplateReader {
  public:
    TemplateReader(const uint8_t* data, size_t size) : data(data), size(size) {}

    bool ok() const { return good; }
    size_t offset() const { return at; }

    uint16_t Word() {
        uint16_t value = 0;
        if (at + 2 > size) {
            good = false;
            return 0;
        }
        std::memcpy(&value, data + at, 2);
        at += 2;
        return value;
    }
    uint32_t Dword() {
        const uint32_t low = Word();
        return low | (static_cast<uint32_t>(Word()) << 16);
    }
    // A name or an ordinal: "#<n>" for an ordinal, the text otherwise.
    std::wstring NameOrOrdinal() {
        const uint16_t first = Word();
        if (first == 0xFFFF) {
            return L"#" + std::to_wstring(Word());
        }
        std::wstring text;
        for (uint16_t unit = first; unit != 0 && good; unit = Word()) {
            text += static_cast<wchar_t>(unit);
        }
        return text;
    }
    void AlignToDword() { at = (at + 3) & ~size_t{3}; }

  private:
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool good = true;
};

struct Item {
    uint32_t style;
    uint32_t exStyle;
    int16_t x, y, cx, cy;
    uint16_t id;
    std::wstring className;
    std::wstring text;
    uint16_t extra;
};

struct Template {
    uint32_t style = 0;
    uint32_t exStyle = 0;
    int16_t x = -1, y = -1, cx = 0, cy = 0;
    std::wstring menu, className, title, face;
    uint16_t pointSize = 0;
    std::vector<Item> items;
    bool complete = false;
};

Template ReadTemplate(const std::wstring& dllPath) {
    Template result;
    HMODULE module = LoadLibraryExW(dllPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return result;
    }
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(107), RT_DIALOG);
    const auto* bytes =
        found ? static_cast<const uint8_t*>(LockResource(LoadResource(module, found))) : nullptr;
    if (bytes != nullptr) {
        TemplateReader in(bytes, SizeofResource(module, found));
        result.style = in.Dword();
        result.exStyle = in.Dword();
        const uint16_t count = in.Word();
        result.x = static_cast<int16_t>(in.Word());
        result.y = static_cast<int16_t>(in.Word());
        result.cx = static_cast<int16_t>(in.Word());
        result.cy = static_cast<int16_t>(in.Word());
        result.menu = in.NameOrOrdinal();
        result.className = in.NameOrOrdinal();
        result.title = in.NameOrOrdinal();
        if (result.style & DS_SETFONT) {
            result.pointSize = in.Word();
            result.face = in.NameOrOrdinal();
        }
        for (uint16_t i = 0; i < count && in.ok(); ++i) {
            in.AlignToDword();
            Item item{};
            item.style = in.Dword();
            item.exStyle = in.Dword();
            item.x = static_cast<int16_t>(in.Word());
            item.y = static_cast<int16_t>(in.Word());
            item.cx = static_cast<int16_t>(in.Word());
            item.cy = static_cast<int16_t>(in.Word());
            item.id = in.Word();
            item.className = in.NameOrOrdinal();
            item.text = in.NameOrOrdinal();
            item.extra = in.Word();
            result.items.push_back(item);
        }
        result.complete = in.ok() && result.items.size() == count;
    }
    (void)FreeLibrary(module);
    return result;
}

void ExpectItem(const Item& actual, const Item& expected) {
    SCOPED_TRACE(testing::Message() << "item " << expected.id);
    EXPECT_EQ(actual.className, expected.className) << ToUtf8(actual.className);
    EXPECT_EQ(actual.id, expected.id);
    EXPECT_EQ(actual.text, expected.text);
    EXPECT_EQ(actual.style, expected.style);
    EXPECT_EQ(actual.exStyle, expected.exStyle);
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);
    EXPECT_EQ(actual.extra, expected.extra);
}

TEST(BarTemplate, DialogOneHundredSevenIsTheBarLayout) {
    const std::wstring dll = BinDir() + L"FindRail.dll";
    SCOPED_TRACE(testing::Message() << ToUtf8(dll));
    ASSERT_TRUE(FileExists(dll));
    const Template t = ReadTemplate(dll);
    ASSERT_TRUE(t.complete);
    EXPECT_EQ(t.style, 0x8008084Cu);
    EXPECT_EQ(t.exStyle, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 167);
    EXPECT_EQ(t.cy, 21);
    EXPECT_EQ(t.menu, L"");
    EXPECT_EQ(t.className, L"");
    EXPECT_EQ(t.title, L"");
    EXPECT_EQ(t.pointSize, 9);
    EXPECT_EQ(t.face, L"MS UI Gothic");
    ASSERT_EQ(t.items.size(), 2u);

    // The predefined classes by ordinal (#129 EDIT, #128 BUTTON), as the platform's resource compiler stores them.
    ExpectItem(t.items[0], {0x50810000u, 0, 0, 0, 106, 21, 40002, L"#129", L"", 0});
    ExpectItem(t.items[1], {0x50010D03u, 0, 114, 0, 40, 21, 1001, L"#128", L"\u6B63\u898F\u8868\u73FE", 0});
}

}  // namespace
