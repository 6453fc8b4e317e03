// The owned string, array and index where the DLL's tests cannot reach them: a growth that the heap refuses,
// text taken from the container itself while it grows, and the index's balance under every insertion order.
// Memory refused at each call is the fault sweeps' part.
#include "base/array.h"
#include "base/sorted_index.h"
#include "base/wide_string.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

namespace {

std::wstring Str(const WideString& text) {
    return std::wstring(text.view());
}

TEST(OwnedTypes, RefusedGrowthKeepsTheContent) {
    constexpr size_t kImpossible = SIZE_MAX / 4;
    WideString text;
    ASSERT_TRUE(text.Assign(L"kept text"));
    EXPECT_FALSE(text.Reserve(kImpossible));
    EXPECT_EQ(Str(text), L"kept text");
    EXPECT_EQ(text.c_str()[text.size()], L'\0');

    Array<char> bytes;
    ASSERT_TRUE(bytes.Append("kept", 4));
    EXPECT_FALSE(bytes.Reserve(kImpossible));
    EXPECT_FALSE(bytes.Resize(kImpossible));
    EXPECT_FALSE(bytes.ReserveMore(kImpossible));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "kept");

    // Both still grow afterwards.
    EXPECT_TRUE(text.Append(L"!"));
    EXPECT_EQ(Str(text), L"kept text!");
    EXPECT_TRUE(bytes.Append('!'));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "kept!");
}

// The source lies in the block that growing frees; a neighbour allocated right after keeps the block from
// growing where it is. Texts are longer than what the heap writes into a freed block, so a copy from there
// shows.
TEST(OwnedTypes, AppendingItsOwnContentWhileGrowing) {
    struct Row {
        const wchar_t* text;
        size_t offset;
        size_t count;
        const wchar_t* expected;
    };
    const Row rows[] = {
        {L"0123456789abcdef", 0, 16, L"0123456789abcdef0123456789abcdef"},
        {L"0123456789abcdef", 10, 6, L"0123456789abcdefabcdef"},
        {L"0123456789abcdef", 16, 0, L"0123456789abcdef"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.expected)));
        WideString text;
        ASSERT_TRUE(text.Assign(row.text));  // room for exactly this text
        WideString neighbour;
        ASSERT_TRUE(neighbour.Assign(L"neighbour"));
        EXPECT_TRUE(text.Append(std::wstring_view(text.c_str() + row.offset, row.count)));
        EXPECT_EQ(Str(text), row.expected);

        // Several parts: the first one grows the string before its own part is copied.
        WideString joined;
        ASSERT_TRUE(joined.Assign(row.text));
        WideString otherNeighbour;
        ASSERT_TRUE(otherNeighbour.Assign(L"neighbour"));
        EXPECT_TRUE(joined.AppendAll({L"+", std::wstring_view(joined.c_str() + row.offset, row.count)}));
        EXPECT_EQ(Str(joined), std::wstring(row.text) + L"+" + (row.expected + std::wcslen(row.text)));

        const std::wstring narrow(row.text);
        Array<char> bytes;
        ASSERT_TRUE(bytes.Reserve(narrow.size()));
        for (wchar_t c : narrow) {
            ASSERT_TRUE(bytes.Append(static_cast<char>(c)));
        }
        EXPECT_TRUE(bytes.Append(bytes.data() + row.offset, row.count));
        const std::wstring expected(row.expected);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string(expected.begin(), expected.end()));
    }
}

struct IntLess {
    bool operator()(int a, int b) const noexcept { return a < b; }
};

// Keys in ascending, descending and shuffled order: every key is found with its own value, and no other.
TEST(OwnedTypes, IndexFindsEveryKeyWhateverTheOrder) {
    constexpr int kKeys = 2000;
    std::vector<int> ascending(kKeys);
    for (int i = 0; i < kKeys; ++i) {
        ascending[i] = 2 * i;
    }
    std::vector<int> descending(ascending.rbegin(), ascending.rend());
    std::vector<int> shuffled = ascending;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (const std::vector<int>* order : {&ascending, &descending, &shuffled}) {
        SortedIndex<int, int, IntLess> index;
        for (int key : *order) {
            ASSERT_TRUE(index.Insert(int{key}, key + 1));
        }
        for (int key : ascending) {
            const int* found = index.Find(key);
            ASSERT_NE(found, nullptr) << key;
            EXPECT_EQ(*found, key + 1);
            EXPECT_EQ(index.Find(key + 1), nullptr);
        }
    }
}

}  // namespace
