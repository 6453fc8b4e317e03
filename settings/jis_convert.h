// ISO-2022-JP <-> EUC-JP byte conversion, for systems whose converter lacks ISO-2022-JP but has EUC-JP.
// JIS X 0208 (ESC $ @, ESC $ B) maps to two bytes + 80, half-width katakana (ESC ( I, or SO ... SI) to
// 8E + byte + 80, JIS X 0212 (ESC $ ( D) to 8F + two bytes + 80; ASCII and JIS-Roman pass unchanged.
#pragma once

#include "base/array.h"

#include <cstddef>
#include <cstdint>

using ByteBuffer = Array<char>;

// Replaces `out` with the bytes with the escapes of ISO-2022-JP decoded; bytes that fit no set pass through
// unchanged. False, with `out` untouched, when memory runs out.
bool JisToEucJp(const uint8_t* data, size_t length, ByteBuffer& out);

// Replaces `out` with EUC-JP encoded as ISO-2022-JP, with an escape at every change of set and ESC ( B at the
// end when needed; malformed bytes pass through unchanged. Inverse of JisToEucJp for text without ESC, SO and
// SI. False, with `out` untouched, when memory runs out.
bool EucJpToJis(const uint8_t* data, size_t length, ByteBuffer& out);
