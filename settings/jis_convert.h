// ISO-2022-JP <-> EUC-JP byte conversion, for systems whose converter lacks ISO-2022-JP but has EUC-JP.
// JIS X 0208 (ESC $ @, ESC $ B) maps to two bytes + 80, half-width katakana (ESC ( I, or SO ... SI) to
// 8E + byte + 80, JIS X 0212 (ESC $ ( D) to 8F + two bytes + 80; ASCII and JIS-Roman pass unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes rather than std::string: the narrow string instantiation alone adds 33 KB to the 32-bit DLL.
using ByteBuffer = std::vector<char>;

// Decodes the escapes of ISO-2022-JP; bytes that fit no set pass through unchanged.
ByteBuffer JisToEucJp(const uint8_t* data, size_t length);

// Encodes EUC-JP as ISO-2022-JP with an escape at every change of set and ESC ( B at the end when needed;
// malformed bytes pass through unchanged. Inverse of JisToEucJp for text without ESC, SO and SI.
ByteBuffer EucJpToJis(const uint8_t* data, size_t length);
