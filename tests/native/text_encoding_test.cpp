// Encoding detection: the documented decisions as a table, byte swapping and code pages.
#include "settings/text_encoding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// "EF BB BF 41" -> bytes; text in quotes is taken literally: "'a+b' 82 A0".
std::vector<uint8_t> Bytes(const std::string& notation) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < notation.size()) {
        if (notation[i] == ' ') {
            ++i;
        } else if (notation[i] == '\'') {
            const size_t end = notation.find('\'', i + 1);
            out.insert(out.end(), notation.begin() + static_cast<long>(i) + 1,
                       notation.begin() + static_cast<long>(end));
            i = end + 1;
        } else {
            out.push_back(static_cast<uint8_t>(std::strtoul(notation.substr(i, 2).c_str(), nullptr, 16)));
            i += 2;
        }
    }
    return out;
}

int32_t Detect(const std::vector<uint8_t>& bytes) {
    // An exact-size heap copy, so that a read past the end is a read past the allocation.
    std::vector<uint8_t> copy(bytes);
    return DetectTextEncoding(copy.data(), static_cast<int32_t>(copy.size()));
}

struct DetectCase {
    const char* bytes;
    int32_t expected;
};

TEST(DetectTextEncoding, DecidesAsDocumented) {
    const DetectCase cases[] = {
        {"", Ansi},
        {"FF FE", Utf16Le},
        {"FE FF", Utf16Be},
        {"FE FE 41", Utf16Le},
        {"FF FF", Utf16Le},
        {"FE FF 00 41", Utf16Be},
        {"FF FE 41 00", Utf16Le},
        {"EF BB BF", Utf8Bom},
        {"EF BB BF 00", Utf8Bom},  // the mark is looked at before zero bytes
        {"EF BB", ShiftJis},       // no mark: UTF-8 fails on the cut-off sequence, the others tie at 2
        {"FE", NotText},           // one byte is no mark, and every candidate fails on it
        {"'abc' 00 'def'", NotText},
        {"41 00", NotText},
        {"'plain text, nothing else'", Ansi},
        {"'a' 1B '$B' 'b'", Jis},
        {"'much plain text before' 1B '(B'", Jis},
        {"1B '$('", Jis},
        {"1B '$@'", Jis},
        {"1B '(I'", Jis},
        {"1B '(J'", Jis},
        {"1B '(A'", Ansi},
        {"'x' 1B '$'", Ansi},  // fewer than two bytes after ESC
        {"1B", Ansi},
        {"E3 81 82 1B '$B'", Utf8},  // escapes are not looked for after a high byte
        {"'1+-1'", Utf7},
        {"'x +AGE- y'", Utf7},
        {"'1+2-3'", Ansi},  // one base64 character leaves 6 bits over
        {"'1 + 1 = +AGE-'", Ansi},
        {"'+AGE- +AGI- ' FF", Utf7},  // decided at the second group, before the bad byte
        {"'+AGE-' E3 81 82", Utf8},
        {"'+AGE'", Ansi},        // a group still open at the end earns nothing
        {"'+AGE- +AGI'", Utf7},  // one valid group, the second still open at the end
        {"1B '+AGE-'", Utf7},    // ESC makes the UTF-7 scan lag one step behind
        {"1B 1B '+AGE- +AGI-'", Utf7},
        {"'a' 1B 'b' 1B '+AAA-+AAA-'", Utf7},
        {"'+AA-'", Ansi},  // two base64 characters leave 12 bits over
        {"E3 81 82", Utf8},
        {"C3 A9", Utf8},
        {"ED A0 80", Utf8},
        {"F4 90 80 80", ShiftJis},
        {"F0 9F 99 82", Utf8},
        {"82 A0", ShiftJis},
        {"80", ShiftJis},
        {"A4 A2", EucJp},
        {"B1 B2", EucJp},
        {"B1 B2 B3", ShiftJis},
        {"8E B1", ShiftJis},
        {"8F A1 A1", ShiftJis},  // Shift_JIS outscores UTF-8, whatever EUC-JP earned
        {"FD E3 81 82", EucJp},
        {"'plain' E9", NotText},
        {"'plain' E9 ' '", NotText},
        {"'+AGE-' E9", Utf7},  // every candidate fails; the UTF-7 score is the only one
        {"'+AGE-' E9 41 E9 41", ShiftJis},
        {"E3 81 82 E9", ShiftJis},  // UTF-8 and EUC-JP fail, Shift_JIS lives
        {"'ascii' 82 A0 82 A2", ShiftJis},
        {"A4 A2 A4 A4 A4 A6", EucJp},
        {"E3 81 82 E3 81 84", Utf8},
    };
    for (const DetectCase& c : cases) {
        const std::vector<uint8_t> bytes = Bytes(c.bytes);
        EXPECT_EQ(Detect(bytes), c.expected) << "bytes: " << c.bytes;
    }
}

TEST(DetectTextEncoding, NonPositiveLengthIsEmpty) {
    const uint8_t zero[4] = {0, 0, 0, 0};
    EXPECT_EQ(DetectTextEncoding(zero, 0), Ansi);
    EXPECT_EQ(DetectTextEncoding(zero, -5), Ansi);
    EXPECT_EQ(DetectTextEncoding(nullptr, 0), Ansi);
}

TEST(SwapByteOrder16, SwapsPairsAndTheOddTail) {
    uint8_t even[4] = {1, 2, 3, 4};
    SwapByteOrder16(even, 4);
    EXPECT_EQ(std::vector<uint8_t>(even, even + 4), (std::vector<uint8_t>{2, 1, 4, 3}));
    uint8_t odd[4] = {1, 2, 3, 0};
    SwapByteOrder16(odd, 3);
    EXPECT_EQ(std::vector<uint8_t>(odd, odd + 4), (std::vector<uint8_t>{2, 1, 0, 3}));
    uint8_t untouched[2] = {1, 2};
    SwapByteOrder16(untouched, 0);
    SwapByteOrder16(untouched, -1);
    EXPECT_EQ(std::vector<uint8_t>(untouched, untouched + 2), (std::vector<uint8_t>{1, 2}));
}

TEST(CodePageForEncoding, MapsEveryCode) {
    const uint32_t expected[] = {0, 0, 0, 932, 20932, 50220, 1200, 1201, 65001, 65001, 65000};
    for (int32_t code = 0; code <= 10; ++code) {
        EXPECT_EQ(CodePageForEncoding(code), expected[code]) << code;
    }
    EXPECT_EQ(CodePageForEncoding(-1), 0u);
    EXPECT_EQ(CodePageForEncoding(11), 0u);
    EXPECT_EQ(CodePageForEncoding(INT32_MIN), 0u);
}

}  // namespace
