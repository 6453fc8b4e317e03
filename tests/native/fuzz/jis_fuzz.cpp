// ISO-2022-JP <-> EUC-JP: encoding then decoding gives back the EUC-JP bytes, and the encoded form is a
// fixed point, for every text free of ESC, SO and SI.
#include "settings/jis_convert.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool HasShiftBytes(const std::string& s) {
    return s.find_first_of("\x1B\x0E\x0F") != std::string::npos;
}

std::string ToEuc(const std::string& s) {
    ByteBuffer bytes;
    if (!JisToEucJp(reinterpret_cast<const uint8_t*>(s.data()), s.size(), bytes)) {
        std::abort();
    }
    return std::string(bytes.begin(), bytes.end());
}

std::string ToJis(const std::string& s) {
    ByteBuffer bytes;
    if (!EucJpToJis(reinterpret_cast<const uint8_t*>(s.data()), s.size(), bytes)) {
        std::abort();
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (!HasShiftBytes(input)) {
        const std::string jis = ToJis(input);
        if (ToEuc(jis) != input) {
            std::abort();
        }
    }
    const std::string euc = ToEuc(input);
    if (!HasShiftBytes(euc)) {
        const std::string jis = ToJis(euc);
        if (ToEuc(jis) != euc || ToJis(ToEuc(jis)) != jis) {
            std::abort();
        }
    }
    return 0;
}
