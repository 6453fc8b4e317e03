// Text-file encodings: their codes, their code pages, and detection of an encoding from the bytes alone.
// No Windows header: this file also builds natively for the unit tests and fuzz targets.
#pragma once

#include <cstdint>

enum TextEncoding : int32_t {
    Unset = 0,
    NotText = 1,
    Ansi = 2,
    ShiftJis = 3,
    EucJp = 4,
    Jis = 5,
    Utf16Le = 6,
    Utf16Be = 7,
    Utf8 = 8,
    Utf8Bom = 9,
    Utf7 = 10,
};

// The conversion code page of an encoding code; every code outside ShiftJis..Utf7 maps to 0 (system ANSI).
uint32_t CodePageForEncoding(int32_t code);

// Decides the encoding of `length` bytes: a code from NotText to Utf7, never Unset. Reads no byte at or
// after `length`, allocates nothing; `length` of 0 or less is empty data (Ansi).
int32_t DetectTextEncoding(const uint8_t* data, int32_t length);

// Exchanges the bytes of each pair in place, (byteCount + 1) / 2 pairs: with an odd count the last byte is
// exchanged with the byte after it, which the buffer must hold. Nothing happens for a count of 0 or less.
void SwapByteOrder16(uint8_t* buffer, int32_t byteCount);
