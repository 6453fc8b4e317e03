// Encoding detection in one forward pass: four candidate scans (UTF-7, UTF-8, Shift_JIS, EUC-JP) side by
// side, and a seven-bit stage that looks for ISO-2022-JP escapes, decide as early as the bytes allow.
#include "settings/text_encoding.h"

#include <cstring>

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kPlus = 0x2B;
constexpr uint8_t kHyphen = 0x2D;
constexpr int32_t kFailed = -1;

bool InRange(uint8_t b, uint8_t low, uint8_t high) {
    return b >= low && b <= high;
}

bool IsBase64(uint8_t b) {
    return InRange(b, '0', '9') || InRange(b, 'A', 'Z') || InRange(b, 'a', 'z') || b == '+' || b == '/';
}

bool IsEscapeSequence(uint8_t first, uint8_t second) {
    if (first == 0x24) {
        return second == 0x28 || second == 0x40 || second == 0x42;
    }
    return first == 0x28 && (second == 0x42 || second == 0x49 || second == 0x4A);
}

// Bytes past the end read as 00, which no trail-byte range holds: a cut-off character fails.
struct Bytes {
    const uint8_t* data;
    int32_t length;

    uint8_t At(int64_t i) const { return i < length ? data[i] : 0; }
};

// The length of the character that starts at `at`, or 0 when none does.
int32_t Utf8Length(const Bytes& in, int32_t at) {
    const uint8_t lead = in.At(at);
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2 || lead > 0xF4) {
        return 0;
    }
    const int32_t size = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    // Only the second byte's range depends on the lead: it rules out overlong forms and values past 10FFFF.
    const uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = lead == 0xF4 ? 0x8F : 0xBF;
    for (int32_t k = 1; k < size; ++k) {
        if (!InRange(in.At(int64_t{at} + k), k == 1 ? low : 0x80, k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return size;
}

int32_t ShiftJisLength(const Bytes& in, int32_t at) {
    const uint8_t lead = in.At(at);
    if (lead <= 0x80 || InRange(lead, 0xA0, 0xDF)) {
        return 1;
    }
    if (lead > 0xFC) {
        return 0;
    }
    const uint8_t trail = in.At(int64_t{at} + 1);
    return InRange(trail, 0x40, 0x7E) || InRange(trail, 0x80, 0xFC) ? 2 : 0;
}

int32_t EucJpLength(const Bytes& in, int32_t at) {
    const uint8_t lead = in.At(at);
    if (lead < 0x80) {
        return 1;
    }
    if (lead == 0x8E) {
        return InRange(in.At(int64_t{at} + 1), 0xA1, 0xDF) ? 2 : 0;
    }
    if (lead == 0x8F) {
        return InRange(in.At(int64_t{at} + 1), 0xA1, 0xFE) && InRange(in.At(int64_t{at} + 2), 0xA1, 0xFE) ? 3
                                                                                                          : 0;
    }
    return lead >= 0xA1 && InRange(in.At(int64_t{at} + 1), 0xA1, 0xFE) ? 2 : 0;
}

// Where the next character starts (kFailed once the candidate failed), and the bytes consumed in multi-byte
// characters.
struct Scan {
    int32_t pos = 0;
    int32_t score = 0;

    bool Alive() const { return pos != kFailed; }
    bool ActsAt(int32_t j) const { return pos != kFailed && pos <= j; }
    // Takes a character of `size` bytes; 0 fails the candidate, which keeps its score.
    void Take(int32_t size) {
        pos = size == 0 ? kFailed : pos + size;
        score += size > 1 ? size : 0;
    }
};

// Reads the UTF-7 group after a plus sign from `from`: where the scan goes on, `length` when the data ends
// inside the group, kFailed when it is malformed. `closed` tells that a hyphen ended it.
int32_t ReadUtf7Group(const Bytes& in, int32_t from, bool& closed) {
    uint32_t count = 0;
    for (int32_t pos = from; pos < in.length; ++pos) {
        const uint8_t b = in.data[pos];
        if (IsBase64(b)) {
            ++count;
        } else if (b == kHyphen && (count * 6u) % 16u <= 5u) {
            closed = true;
            return pos + 1;
        } else {
            return kFailed;
        }
    }
    return in.length;
}

// At most one multi-byte candidate lives: the first one alive, else the highest score.
int32_t DecideEarly(const Scan& utf7, const Scan& utf8, const Scan& sjis, const Scan& euc) {
    if (utf8.Alive()) {
        return Utf8;
    }
    if (sjis.Alive()) {
        return ShiftJis;
    }
    if (euc.Alive()) {
        return EucJp;
    }
    int32_t result = utf7.score > 0 ? Utf7 : NotText;
    if (utf8.score > utf7.score) {
        result = Utf8;
    }
    if (sjis.score > utf8.score && sjis.score > utf7.score) {
        result = ShiftJis;
    }
    if (euc.score > sjis.score && euc.score > utf8.score && euc.score > utf7.score) {
        result = EucJp;
    }
    return result;
}

int32_t DecideAtEnd(bool sevenBit, const Scan& utf7, const Scan& utf8, const Scan& sjis, const Scan& euc) {
    if (sevenBit && utf7.Alive() && utf7.score > 0) {
        return Utf7;
    }
    if (utf8.Alive() && utf8.score > 0) {
        return Utf8;
    }
    if (sjis.Alive() && sjis.score > utf8.score) {
        return ShiftJis;
    }
    if (euc.Alive() && euc.score > sjis.score && euc.score > utf8.score) {
        return EucJp;
    }
    return Ansi;
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

    const Bytes in{data, length};
    bool sevenBit = true;
    Scan utf7;
    Scan utf8;
    Scan sjis;
    Scan euc;
    for (int32_t j = 0; j < length; ++j) {
        if (sevenBit) {
            const uint8_t c = data[j];
            if (c >= 0x80) {
                sevenBit = false;
            } else if (c == kEsc) {
                // The UTF-7 scan skips this step, so it falls one byte behind j.
                if (length - j > 2 && IsEscapeSequence(data[j + 1], data[j + 2])) {
                    return Jis;
                }
            } else if (utf7.ActsAt(j)) {
                const int32_t at = utf7.pos++;
                if (data[at] == kPlus) {
                    bool closed = false;
                    utf7.pos = ReadUtf7Group(in, utf7.pos, closed);
                    if (closed) {
                        if (utf7.score > 0) {
                            return Utf7;
                        }
                        utf7.score += utf7.pos - j;
                    }
                }
            }
        }
        if (utf8.ActsAt(j)) {
            utf8.Take(Utf8Length(in, utf8.pos));
        }
        if (sjis.ActsAt(j)) {
            sjis.Take(ShiftJisLength(in, sjis.pos));
        }
        if (euc.ActsAt(j)) {
            euc.Take(EucJpLength(in, euc.pos));
        }
        if (!sevenBit && int{utf8.Alive()} + int{sjis.Alive()} + int{euc.Alive()} <= 1) {
            return DecideEarly(utf7, utf8, sjis, euc);
        }
    }
    return DecideAtEnd(sevenBit, utf7, utf8, sjis, euc);
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
