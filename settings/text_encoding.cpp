// Encoding detection in one forward pass. Four candidate scans (UTF-7, UTF-8, Shift_JIS, EUC-JP) and a
// seven-bit stage that looks for ISO-2022-JP escapes decide the result as early as the bytes allow.
//
// The answers are those of a step-by-step pass in which every candidate acts on every index; speed comes
// from skipping runs where no state can change. Two facts make that exact:
// - Until the first byte of 80 or above (the seven-bit part) every byte is a one-byte character for the
//   three multi-byte candidates: none of them can fail or score there, so only escapes and UTF-7 groups
//   matter, and runs free of ESC, '+' and high bytes are skipped whole.
// - After it, the three multi-byte scans are independent of one another. The early decision falls at the
//   second failure, so the scans run block by block, side by side, and the decision is taken from the
//   failure positions once two of them have failed.
#include "settings/text_encoding.h"

#include <cstring>

// The shipping 32-bit build has no SSE2 and scans eight bytes at a time instead; FINDRAIL_PORTABLE_SCAN
// selects that path on any machine so that it is tested and fuzzed too.
#if defined(__SSE2__) && defined(__GNUC__) && !defined(FINDRAIL_PORTABLE_SCAN)
#define FINDRAIL_SSE2_SCAN 1
#include <emmintrin.h>
#endif

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kPlus = 0x2B;
constexpr uint8_t kHyphen = 0x2D;

// Multi-byte scans advance a block of indexes at a time before the failures are compared. Real text
// usually settles within its first characters, so blocks start small and grow.
constexpr int32_t kFirstBlock = 32;
constexpr int32_t kLargestBlock = 4096;

constexpr bool InRange(uint8_t b, uint8_t low, uint8_t high) {
    return static_cast<uint8_t>(b - low) <= static_cast<uint8_t>(high - low);
}

constexpr bool IsBase64(uint8_t b) {
    return InRange(b, '0', '9') || InRange(b, 'A', 'Z') || InRange(b, 'a', 'z') || b == '+' || b == '/';
}

#if defined(FINDRAIL_SSE2_SCAN)
inline int LowestBit(uint32_t mask) {
    return __builtin_ctz(mask);
}
#endif

// First index in [from, to) holding a byte of 80 or above, ESC, or (when `plus`) a plus sign; else `to`.
int32_t FindSevenBitStop(const uint8_t* data, int32_t from, int32_t to, bool plus) {
    int32_t i = from;
#if defined(FINDRAIL_SSE2_SCAN)
    const __m128i esc = _mm_set1_epi8(static_cast<char>(kEsc));
    const __m128i other = _mm_set1_epi8(static_cast<char>(plus ? kPlus : kEsc));
    while (to - i >= 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 16));
        const __m128i hitA = _mm_or_si128(a, _mm_or_si128(_mm_cmpeq_epi8(a, esc), _mm_cmpeq_epi8(a, other)));
        const __m128i hitB = _mm_or_si128(b, _mm_or_si128(_mm_cmpeq_epi8(b, esc), _mm_cmpeq_epi8(b, other)));
        const uint32_t mask = static_cast<uint32_t>(_mm_movemask_epi8(hitA)) |
                              (static_cast<uint32_t>(_mm_movemask_epi8(hitB)) << 16);
        if (mask != 0) {
            return i + LowestBit(mask);
        }
        i += 32;
    }
#else
    // Eight bytes at a time: a word is inspected byte by byte only when it may hold a stop.
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    const uint64_t escWord = kOnes * kEsc;
    const uint64_t otherWord = kOnes * (plus ? kPlus : kEsc);
    while (to - i >= 8) {
        uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        const uint64_t e = word ^ escWord;
        const uint64_t o = word ^ otherWord;
        const uint64_t hit = (word | ((e - kOnes) & ~e) | ((o - kOnes) & ~o)) & kHigh;
        if (hit != 0) {
            break;
        }
        i += 8;
    }
#endif
    for (; i < to; ++i) {
        const uint8_t b = data[i];
        if (b >= 0x80 || b == kEsc || (plus && b == kPlus)) {
            return i;
        }
    }
    return to;
}

// First index in [from, to) holding a byte of 80 or above; else `to`.
int32_t FindHighByte(const uint8_t* data, int32_t from, int32_t to) {
    int32_t i = from;
#if defined(FINDRAIL_SSE2_SCAN)
    while (to - i >= 16) {
        const uint32_t mask = static_cast<uint32_t>(
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i))));
        if (mask != 0) {
            return i + LowestBit(mask);
        }
        i += 16;
    }
#else
    while (to - i >= 8) {
        uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) {
            break;
        }
        i += 8;
    }
#endif
    while (i < to && data[i] < 0x80) {
        ++i;
    }
    return i;
}

// One multi-byte candidate: `pos` is where its next character starts; `failedAt` the index at which it
// failed, or -1 while it lives. The score is the number of bytes consumed in multi-byte characters.
struct Candidate {
    int32_t pos;
    int32_t score;
    int32_t failedAt;

    bool Failed() const { return failedAt >= 0; }
    bool FailedBy(int32_t j) const { return failedAt >= 0 && failedAt <= j; }
    void Fail() {
        failedAt = pos;
        pos = -1;
    }
};

// Bytes past the end read as 00, which no trail-byte range contains.
struct Bytes {
    const uint8_t* data;
    int32_t length;

    uint8_t At(int64_t i) const { return i < length ? data[i] : 0; }
};

// Runs the candidate while its position is below `until`; the lead at `pos` is always inside the data.
void ScanUtf8(const Bytes& in, Candidate& c, int32_t until) {
    int32_t pos = c.pos;
    int32_t score = c.score;
    while (pos < until) {
        const uint8_t lead = in.data[pos];
        if (lead < 0x80) {
            pos = in.At(pos + 1) < 0x80 ? FindHighByte(in.data, pos + 1, until) : pos + 1;
            continue;
        }
        int32_t size;
        uint8_t low = 0x80;
        uint8_t high = 0xBF;
        if (InRange(lead, 0xC2, 0xDF)) {
            size = 2;
        } else if (InRange(lead, 0xE0, 0xEF)) {
            size = 3;
            if (lead == 0xE0) {
                low = 0xA0;
            }
        } else if (InRange(lead, 0xF0, 0xF4)) {
            size = 4;
            if (lead == 0xF0) {
                low = 0x90;
            } else if (lead == 0xF4) {
                high = 0x8F;
            }
        } else {
            break;
        }
        bool valid = InRange(in.At(int64_t{pos} + 1), low, high);
        for (int32_t k = 2; valid && k < size; ++k) {
            valid = InRange(in.At(int64_t{pos} + k), 0x80, 0xBF);
        }
        if (!valid) {
            break;
        }
        pos += size;
        score += size;
    }
    c.score = score;
    c.pos = pos;
    if (pos < until) {
        c.Fail();
    }
}

void ScanShiftJis(const Bytes& in, Candidate& c, int32_t until) {
    int32_t pos = c.pos;
    int32_t score = c.score;
    while (pos < until) {
        const uint8_t lead = in.data[pos];
        if (lead < 0x80) {
            pos = in.At(int64_t{pos} + 1) < 0x80 ? FindHighByte(in.data, pos + 1, until) : pos + 1;
        } else if (lead == 0x80 || InRange(lead, 0xA0, 0xDF)) {
            ++pos;
        } else if (lead <= 0xFC) {
            const uint8_t trail = in.At(int64_t{pos} + 1);
            if (!InRange(trail, 0x40, 0x7E) && !InRange(trail, 0x80, 0xFC)) {
                break;
            }
            pos += 2;
            score += 2;
        } else {
            break;
        }
    }
    c.score = score;
    c.pos = pos;
    if (pos < until) {
        c.Fail();
    }
}

void ScanEucJp(const Bytes& in, Candidate& c, int32_t until) {
    int32_t pos = c.pos;
    int32_t score = c.score;
    while (pos < until) {
        const uint8_t lead = in.data[pos];
        if (lead < 0x80) {
            pos = in.At(int64_t{pos} + 1) < 0x80 ? FindHighByte(in.data, pos + 1, until) : pos + 1;
        } else if (lead == 0x8E) {
            if (!InRange(in.At(int64_t{pos} + 1), 0xA1, 0xDF)) {
                break;
            }
            pos += 2;
            score += 2;
        } else if (lead == 0x8F) {
            if (!InRange(in.At(int64_t{pos} + 1), 0xA1, 0xFE) ||
                !InRange(in.At(int64_t{pos} + 2), 0xA1, 0xFE)) {
                break;
            }
            pos += 3;
            score += 3;
        } else if (lead >= 0xA1) {
            if (!InRange(in.At(int64_t{pos} + 1), 0xA1, 0xFE)) {
                break;
            }
            pos += 2;
            score += 2;
        } else {
            break;
        }
    }
    c.score = score;
    c.pos = pos;
    if (pos < until) {
        c.Fail();
    }
}

// The decision at index j, once at most one multi-byte candidate lives there.
int32_t DecideEarly(const Candidate& utf8,
                    const Candidate& sjis,
                    const Candidate& euc,
                    int32_t utf7Score,
                    int32_t j) {
    if (!utf8.FailedBy(j)) {
        return Utf8;
    }
    if (!sjis.FailedBy(j)) {
        return ShiftJis;
    }
    if (!euc.FailedBy(j)) {
        return EucJp;
    }
    int32_t result = NotText;
    if (utf7Score > 0) {
        result = Utf7;
    }
    if (utf8.score > utf7Score) {
        result = Utf8;
    }
    if (sjis.score > utf8.score && sjis.score > utf7Score) {
        result = ShiftJis;
    }
    if (euc.score > sjis.score && euc.score > utf8.score && euc.score > utf7Score) {
        result = EucJp;
    }
    return result;
}

// The pass from the first byte of 80 or above, at `start`, to a decision.
int32_t DetectMultiByte(const Bytes& in, int32_t start, int32_t utf7Score) {
    Candidate utf8{start, 0, -1};
    Candidate sjis{start, 0, -1};
    Candidate euc{start, 0, -1};
    int32_t blockStart = start;
    int32_t block = kFirstBlock;
    while (blockStart < in.length) {
        const int32_t blockEnd = in.length - blockStart > block ? blockStart + block : in.length;
        if (block < kLargestBlock) {
            block *= 2;
        }
        if (!utf8.Failed()) {
            ScanUtf8(in, utf8, blockEnd);
        }
        if (!sjis.Failed()) {
            ScanShiftJis(in, sjis, blockEnd);
        }
        if (!euc.Failed()) {
            ScanEucJp(in, euc, blockEnd);
        }
        const int failures = int{utf8.Failed()} + int{sjis.Failed()} + int{euc.Failed()};
        if (failures >= 2) {
            // The live count first drops to one at the later of the two earliest failures.
            int32_t f[3] = {utf8.failedAt, sjis.failedAt, euc.failedAt};
            int32_t second = -1;
            int32_t first = -1;
            for (int32_t at : f) {
                if (at < 0) {
                    continue;
                }
                if (first < 0 || at < first) {
                    second = first;
                    first = at;
                } else if (second < 0 || at < second) {
                    second = at;
                }
            }
            return DecideEarly(utf8, sjis, euc, utf7Score, second);
        }
        blockStart = blockEnd;
    }
    if (!utf8.Failed() && utf8.score > 0) {
        return Utf8;
    }
    if (!sjis.Failed() && sjis.score > utf8.score) {
        return ShiftJis;
    }
    if (!euc.Failed() && euc.score > sjis.score && euc.score > utf8.score) {
        return EucJp;
    }
    return Ansi;
}

bool IsEscapeSequence(uint8_t first, uint8_t second) {
    if (first == 0x24) {
        return second == 0x28 || second == 0x40 || second == 0x42;
    }
    if (first == 0x28) {
        return second == 0x42 || second == 0x49 || second == 0x4A;
    }
    return false;
}

}  // namespace

uint32_t CodePageForEncoding(int32_t code) {
    switch (code) {
        case ShiftJis:
            return 932;
        case EucJp:
            return 20932;
        case Jis:
            return 50220;
        case Utf16Le:
            return 1200;
        case Utf16Be:
            return 1201;
        case Utf8:
        case Utf8Bom:
            return 65001;
        case Utf7:
            return 65000;
        default:
            return 0;
    }
}

int32_t DetectTextEncoding(const uint8_t* data, int32_t length) {
    if (length >= 2) {
        const uint8_t b0 = data[0];
        const uint8_t b1 = data[1];
        if ((b0 == 0xFE || b0 == 0xFF) && (b1 == 0xFE || b1 == 0xFF)) {
            return b0 == 0xFE && b1 == 0xFF ? Utf16Be : Utf16Le;
        }
        if (length >= 3 && b0 == 0xEF && b1 == 0xBB && data[2] == 0xBF) {
            return Utf8Bom;
        }
    }
    if (length <= 0) {
        return Ansi;
    }
    if (std::memchr(data, 0, static_cast<size_t>(length)) != nullptr) {
        return NotText;
    }

    // Seven-bit part: j is the step, utf7Pos the UTF-7 scan's position (-1 once it failed). The UTF-7
    // position runs ahead of j after a group and lags behind it by one for every ESC step.
    const Bytes in{data, length};
    int32_t j = 0;
    int32_t utf7Pos = 0;
    int32_t utf7Score = 0;
    while (j < length) {
        int32_t stop;
        if (utf7Pos == j) {
            stop = FindSevenBitStop(data, j, length, true);
        } else {
            stop = FindSevenBitStop(data, j, length, false);
            if (utf7Pos > j) {
                if (utf7Pos < stop) {
                    stop = utf7Pos;
                }
            } else if (utf7Pos >= 0) {
                // Lagging: every step up to `stop` acts on the byte utf7Pos + (step - j); stop at a plus.
                const void* plusAt = std::memchr(data + utf7Pos, kPlus, static_cast<size_t>(stop - j));
                if (plusAt != nullptr) {
                    stop = j + static_cast<int32_t>(static_cast<const uint8_t*>(plusAt) - (data + utf7Pos));
                }
            }
        }
        if (utf7Pos >= 0 && utf7Pos <= j) {
            utf7Pos += stop - j;
        }
        j = stop;
        if (j >= length) {
            break;
        }
        const uint8_t c = data[j];
        if (c >= 0x80) {
            return DetectMultiByte(in, j, utf7Score);
        }
        if (c == kEsc) {
            if (j + 2 < length && IsEscapeSequence(data[j + 1], data[j + 2])) {
                return Jis;
            }
            ++j;
            continue;
        }
        if (utf7Pos >= 0 && utf7Pos <= j) {
            const int32_t p = utf7Pos;
            utf7Pos = p + 1;
            if (data[p] == kPlus) {
                uint32_t counter = 0;
                while (utf7Pos < length) {
                    const uint8_t b = data[utf7Pos];
                    if (IsBase64(b)) {
                        ++counter;
                        ++utf7Pos;
                    } else if (b == kHyphen && (counter * 6u) % 16u <= 5u) {
                        if (utf7Score > 0) {
                            return Utf7;
                        }
                        ++utf7Pos;
                        utf7Score += utf7Pos - j;
                        break;
                    } else {
                        utf7Pos = -1;
                        break;
                    }
                }
            }
        }
        ++j;
    }
    return utf7Pos >= 0 && utf7Score > 0 ? Utf7 : Ansi;
}

void SwapByteOrder16(uint8_t* buffer, int32_t byteCount) {
    if (byteCount <= 0) {
        return;
    }
    const int64_t pairs = (int64_t{byteCount} + 1) / 2;
    for (int64_t i = 0; i < pairs; ++i) {
        const uint8_t first = buffer[2 * i];
        buffer[2 * i] = buffer[2 * i + 1];
        buffer[2 * i + 1] = first;
    }
}
