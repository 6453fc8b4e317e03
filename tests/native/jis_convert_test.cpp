// ISO-2022-JP <-> EUC-JP: known byte sequences both ways, lenient decoding, and the round trip.
#include "settings/jis_convert.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string Hex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string ToEuc(const std::string& jis) {
    ByteBuffer bytes;
    EXPECT_TRUE(JisToEucJp(reinterpret_cast<const uint8_t*>(jis.data()), jis.size(), bytes));
    return std::string(bytes.begin(), bytes.end());
}

std::string ToJis(const std::string& euc) {
    ByteBuffer bytes;
    EXPECT_TRUE(EucJpToJis(reinterpret_cast<const uint8_t*>(euc.data()), euc.size(), bytes));
    return std::string(bytes.begin(), bytes.end());
}

struct Pair {
    const char* jis;
    const char* euc;
};

TEST(JisConvert, CanonicalFormsMapBothWays) {
    const Pair pairs[] = {
        {"", ""},
        {"414243", "414243"},
        {"1b2442467c4b5c386c1b2842", "c6fccbdcb8ec"},              // 日本語
        {"1b2442405f446a1b28423d310d0a", "c0dfc4ea3d310d0a"},      // 設定=1 CR LF
        {"611b2442467c1b284262", "61c6fc62"},                      // a日b
        {"1b28493132331b2842", "8eb18eb28eb3"},                    // ｱｲｳ
        {"1b2442467c1b284931321b2842", "c6fc8eb18eb2"},            // 日ｱｲ: set to set
        {"1b242844302122221b2842", "8fb0a18fa2a2"},                // JIS X 0212
        {"1b2442467c1b28420d0a1b24424b5c1b2842", "c6fc0d0acbdc"},  // a line break between kanji
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(ToEuc(Hex(p.jis)), Hex(p.euc)) << p.jis;
        EXPECT_EQ(ToJis(Hex(p.euc)), Hex(p.jis)) << p.euc;
    }
}

TEST(JisConvert, DecodesOtherFormsLeniently) {
    const Pair decoded[] = {
        {"1b2440467c1b284a41", "c6fc41"},        // ESC $ @ and JIS-Roman
        {"0e31320f41", "8eb18eb241"},            // SO / SI katakana
        {"1b28494160", "8ec160"},                // outside the katakana range passes through
        {"1b2442467c", "c6fc"},                  // no return to ASCII at the end
        {"1b2442467c4b", "c6fc4b"},              // an odd byte left over
        {"1b2841", "1b2841"},                    // an unknown escape stays in the text
        {"1b24", "1b24"},                        // a cut-off escape too
        {"1b2442467c0d0a4b5c", "c6fc0d0acbdc"},  // controls pass without leaving the set
        {"a4a2", "a4a2"},                        // 8-bit bytes pass unchanged
    };
    for (const Pair& p : decoded) {
        EXPECT_EQ(ToEuc(Hex(p.jis)), Hex(p.euc)) << p.jis;
    }
}

TEST(JisConvert, MalformedEucPassesThrough) {
    EXPECT_EQ(ToJis(Hex("a1")), Hex("a1"));
    EXPECT_EQ(ToJis(Hex("8e41")), Hex("8e41"));
    EXPECT_EQ(ToJis(Hex("c6fca1")), Hex("1b2442467ca11b2842"));
}

TEST(JisConvert, RandomEucRoundTrips) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> kind(0, 4);
    std::uniform_int_distribution<int> ascii(0x20, 0x7F);
    std::uniform_int_distribution<int> high(0xA1, 0xFE);
    std::uniform_int_distribution<int> kana(0xA1, 0xDF);
    std::uniform_int_distribution<int> length(0, 60);
    for (int round = 0; round < 5000; ++round) {
        std::string euc;
        const int n = length(random);
        for (int i = 0; i < n; ++i) {
            switch (kind(random)) {
                case 0:
                    euc.push_back(static_cast<char>(ascii(random)));
                    break;
                case 1:
                    euc.push_back(static_cast<char>(high(random)));
                    euc.push_back(static_cast<char>(high(random)));
                    break;
                case 2:
                    euc.push_back('\x8e');
                    euc.push_back(static_cast<char>(kana(random)));
                    break;
                case 3:
                    euc.push_back('\x8f');
                    euc.push_back(static_cast<char>(high(random)));
                    euc.push_back(static_cast<char>(high(random)));
                    break;
                default:
                    euc.append("\r\n");
                    break;
            }
        }
        const std::string jis = ToJis(euc);
        for (char c : jis) {
            ASSERT_EQ(static_cast<unsigned char>(c) & 0x80, 0) << "ISO-2022-JP output is 7-bit";
        }
        ASSERT_EQ(ToEuc(jis), euc) << "round " << round;
    }
}

}  // namespace
