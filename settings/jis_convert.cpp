// Both directions are one forward pass with a small shift state.
#include "settings/jis_convert.h"

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kShiftOut = 0x0E;
constexpr uint8_t kShiftIn = 0x0F;
constexpr uint8_t kSingleShift2 = 0x8E;
constexpr uint8_t kSingleShift3 = 0x8F;

enum class CharSet { Ascii, Kanji, Kana, Supplement };

bool IsJisByte(uint8_t b) {
    return b >= 0x21 && b <= 0x7E;
}

bool IsEucByte(uint8_t b) {
    return b >= 0xA1 && b <= 0xFE;
}

bool IsKanaJisByte(uint8_t b) {
    return b >= 0x21 && b <= 0x5F;
}

// Length of the escape sequence at data[i] and the set it designates; 0 when it is none.
size_t ReadEscape(const uint8_t* data, size_t length, size_t i, CharSet* set) {
    if (length - i < 3) {
        return 0;
    }
    const uint8_t a = data[i + 1];
    const uint8_t b = data[i + 2];
    if (a == '(' && (b == 'B' || b == 'J')) {
        *set = CharSet::Ascii;
        return 3;
    }
    if (a == '(' && b == 'I') {
        *set = CharSet::Kana;
        return 3;
    }
    if (a == '$' && (b == '@' || b == 'B')) {
        *set = CharSet::Kanji;
        return 3;
    }
    if (a == '$' && b == '(' && length - i >= 4 && data[i + 3] == 'D') {
        *set = CharSet::Supplement;
        return 4;
    }
    return 0;
}

const char* EscapeFor(CharSet set) {
    switch (set) {
        case CharSet::Kanji:
            return "\x1B$B";
        case CharSet::Kana:
            return "\x1B(I";
        case CharSet::Supplement:
            return "\x1B$(D";
        case CharSet::Ascii:
            break;
    }
    return "\x1B(B";
}

// Collects the output; after the first failure to grow it ignores what follows, so that a conversion checks
// for memory once, at its end.
class Output {
  public:
    explicit Output(size_t expected) { ok = bytes.Reserve(expected); }

    void Put(uint8_t b) { ok = ok && bytes.Append(static_cast<char>(b)); }

    void Put(const char* text) {
        for (; *text != '\0'; ++text) {
            Put(static_cast<uint8_t>(*text));
        }
    }

    // Hands the bytes to `out` when every one of them found room.
    bool Finish(ByteBuffer& out) {
        if (ok) {
            out.Swap(bytes);
        }
        return ok;
    }

  private:
    ByteBuffer bytes;
    bool ok = true;
};

}  // namespace

bool JisToEucJp(const uint8_t* data, size_t length, ByteBuffer& result) {
    Output out(length);
    CharSet set = CharSet::Ascii;
    bool shiftedOut = false;
    size_t i = 0;
    while (i < length) {
        const uint8_t b = data[i];
        if (b == kEsc) {
            CharSet designated;
            const size_t size = ReadEscape(data, length, i, &designated);
            if (size != 0) {
                set = designated;
                i += size;
                continue;
            }
        } else if (b == kShiftOut || b == kShiftIn) {
            shiftedOut = b == kShiftOut;
            ++i;
            continue;
        }
        if (!IsJisByte(b)) {
            out.Put(b);
            ++i;
        } else if (shiftedOut || set == CharSet::Kana) {
            if (IsKanaJisByte(b)) {
                out.Put(kSingleShift2);
            }
            out.Put(static_cast<uint8_t>(IsKanaJisByte(b) ? b | 0x80 : b));
            ++i;
        } else if ((set == CharSet::Kanji || set == CharSet::Supplement) && i + 1 < length &&
                   IsJisByte(data[i + 1])) {
            if (set == CharSet::Supplement) {
                out.Put(kSingleShift3);
            }
            out.Put(static_cast<uint8_t>(b | 0x80));
            out.Put(static_cast<uint8_t>(data[i + 1] | 0x80));
            i += 2;
        } else {
            out.Put(b);
            ++i;
        }
    }
    return out.Finish(result);
}

bool EucJpToJis(const uint8_t* data, size_t length, ByteBuffer& result) {
    Output out(length + length / 2);
    CharSet set = CharSet::Ascii;
    auto switchTo = [&](CharSet wanted) {
        if (set != wanted) {
            set = wanted;
            out.Put(EscapeFor(wanted));
        }
    };
    size_t i = 0;
    while (i < length) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            switchTo(CharSet::Ascii);
            out.Put(b);
            ++i;
        } else if (b == kSingleShift2 && i + 1 < length && data[i + 1] >= 0xA1 && data[i + 1] <= 0xDF) {
            switchTo(CharSet::Kana);
            out.Put(static_cast<uint8_t>(data[i + 1] & 0x7F));
            i += 2;
        } else if (b == kSingleShift3 && i + 2 < length && IsEucByte(data[i + 1]) && IsEucByte(data[i + 2])) {
            switchTo(CharSet::Supplement);
            out.Put(static_cast<uint8_t>(data[i + 1] & 0x7F));
            out.Put(static_cast<uint8_t>(data[i + 2] & 0x7F));
            i += 3;
        } else if (IsEucByte(b) && i + 1 < length && IsEucByte(data[i + 1])) {
            switchTo(CharSet::Kanji);
            out.Put(static_cast<uint8_t>(b & 0x7F));
            out.Put(static_cast<uint8_t>(data[i + 1] & 0x7F));
            i += 2;
        } else {
            out.Put(b);
            ++i;
        }
    }
    switchTo(CharSet::Ascii);
    return out.Finish(result);
}
