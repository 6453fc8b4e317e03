// Detection invariants on arbitrary bytes: no read past the end, the same answer twice, a code in 1..10, and
// the mark, zero-byte and high-byte rules. Byte swapping undoes itself.
#include "settings/text_encoding.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT32_MAX) {
        return 0;
    }
    const int32_t length = static_cast<int32_t>(size);
    // Exact-size heap copy: any read at or past `length` is a heap overflow for AddressSanitizer.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    if (size != 0) {
        std::memcpy(copy.get(), data, size);
    }
    const int32_t result = DetectTextEncoding(copy.get(), length);
    if (result < NotText || result > Utf7) {
        std::abort();
    }
    if (DetectTextEncoding(copy.get(), length) != result) {
        std::abort();
    }
    const bool utf16Mark =
        size >= 2 && (data[0] == 0xFE || data[0] == 0xFF) && (data[1] == 0xFE || data[1] == 0xFF);
    const bool utf8Mark = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
    const bool zero = size != 0 && std::memchr(data, 0, size) != nullptr;
    if (utf16Mark) {
        if (result != (data[0] == 0xFE && data[1] == 0xFF ? Utf16Be : Utf16Le)) {
            std::abort();
        }
    } else if (utf8Mark) {
        if (result != Utf8Bom) {
            std::abort();
        }
    } else if (zero) {
        if (result != NotText) {
            std::abort();
        }
    } else {
        if (result == Utf16Le || result == Utf16Be || result == Utf8Bom) {
            std::abort();
        }
        bool high = false;
        for (size_t i = 0; i < size; ++i) {
            high = high || data[i] >= 0x80;
        }
        // Seven-bit data is plain, escaped or UTF-7; data with a high byte is never plain.
        if (!high && result != Ansi && result != Jis && result != Utf7) {
            std::abort();
        }
        if (high && result == Ansi) {
            std::abort();
        }
    }

    // One spare byte, as the reader's buffer has, for the odd count's last pair.
    std::unique_ptr<uint8_t[]> swapped(new uint8_t[size + 1]);
    if (size != 0) {
        std::memcpy(swapped.get(), data, size);
    }
    swapped[size] = 0;
    SwapByteOrder16(swapped.get(), length);
    SwapByteOrder16(swapped.get(), length);
    if ((size != 0 && std::memcmp(swapped.get(), data, size) != 0) || swapped[size] != 0) {
        std::abort();
    }
    return 0;
}
