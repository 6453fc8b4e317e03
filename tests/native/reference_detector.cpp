#include "reference_detector.h"

namespace {

bool In(uint8_t b, int low, int high) {
    return b >= low && b <= high;
}

bool IsBase64(uint8_t b) {
    return In(b, '0', '9') || In(b, 'A', 'Z') || In(b, 'a', 'z') || b == '+' || b == '/';
}

}  // namespace

int32_t ReferenceDetect(const uint8_t* data, int32_t length) {
    auto at = [&](int64_t i) -> uint8_t { return i < length ? data[i] : 0; };
    if (length >= 2) {
        if ((data[0] == 0xFE || data[0] == 0xFF) && (data[1] == 0xFE || data[1] == 0xFF)) {
            return data[0] == 0xFE && data[1] == 0xFF ? 7 : 6;
        }
        if (length >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
            return 9;
        }
    }
    for (int32_t i = 0; i < length; ++i) {
        if (data[i] == 0) {
            return 1;
        }
    }
    if (length <= 0) {
        return 2;
    }
    bool sevenBit = true;
    int64_t pos7 = 0, pos8 = 0, posS = 0, posE = 0;
    int64_t score7 = 0, score8 = 0, scoreS = 0, scoreE = 0;
    int live = 3;
    for (int64_t j = 0; j < length; ++j) {
        if (sevenBit) {
            const uint8_t c = data[j];
            if (c >= 0x80) {
                sevenBit = false;
            } else if (c == 0x1B) {
                if (j + 2 < length) {
                    const uint8_t a = data[j + 1];
                    const uint8_t b = data[j + 2];
                    if ((a == 0x24 && (b == 0x28 || b == 0x40 || b == 0x42)) ||
                        (a == 0x28 && (b == 0x42 || b == 0x49 || b == 0x4A))) {
                        return 5;
                    }
                }
            } else if (pos7 != -1 && pos7 <= j) {
                const int64_t p = pos7;
                pos7 = p + 1;
                if (at(p) == 0x2B) {
                    int64_t counter = 0;
                    while (pos7 < length) {
                        const uint8_t b = data[pos7];
                        if (IsBase64(b)) {
                            ++counter;
                            ++pos7;
                        } else if (b == 0x2D && (counter * 6) % 16 <= 5) {
                            if (score7 > 0) {
                                return 10;
                            }
                            ++pos7;
                            score7 += pos7 - j;
                            break;
                        } else {
                            pos7 = -1;
                            break;
                        }
                    }
                }
            }
        }
        if (pos8 != -1 && pos8 <= j) {
            const uint8_t b = at(pos8);
            int size = 0;
            bool ok = true;
            if (b <= 0x7F) {
                size = 1;
            } else if (In(b, 0xC2, 0xDF)) {
                size = 2;
                ok = In(at(pos8 + 1), 0x80, 0xBF);
            } else if (b == 0xE0) {
                size = 3;
                ok = In(at(pos8 + 1), 0xA0, 0xBF) && In(at(pos8 + 2), 0x80, 0xBF);
            } else if (In(b, 0xE1, 0xEF)) {
                size = 3;
                ok = In(at(pos8 + 1), 0x80, 0xBF) && In(at(pos8 + 2), 0x80, 0xBF);
            } else if (b == 0xF0) {
                size = 4;
                ok = In(at(pos8 + 1), 0x90, 0xBF) && In(at(pos8 + 2), 0x80, 0xBF) &&
                     In(at(pos8 + 3), 0x80, 0xBF);
            } else if (In(b, 0xF1, 0xF3)) {
                size = 4;
                ok = In(at(pos8 + 1), 0x80, 0xBF) && In(at(pos8 + 2), 0x80, 0xBF) &&
                     In(at(pos8 + 3), 0x80, 0xBF);
            } else if (b == 0xF4) {
                size = 4;
                ok = In(at(pos8 + 1), 0x80, 0x8F) && In(at(pos8 + 2), 0x80, 0xBF) &&
                     In(at(pos8 + 3), 0x80, 0xBF);
            } else {
                ok = false;
            }
            if (!ok) {
                pos8 = -1;
                --live;
            } else {
                pos8 += size;
                if (size > 1) {
                    score8 += size;
                }
            }
        }
        if (posS != -1 && posS <= j) {
            const uint8_t b = at(posS);
            if (b <= 0x80 || In(b, 0xA0, 0xDF)) {
                posS += 1;
            } else if (In(b, 0x81, 0x9F) || In(b, 0xE0, 0xFC)) {
                const uint8_t t = at(posS + 1);
                if (In(t, 0x40, 0x7E) || In(t, 0x80, 0xFC)) {
                    posS += 2;
                    scoreS += 2;
                } else {
                    posS = -1;
                    --live;
                }
            } else {
                posS = -1;
                --live;
            }
        }
        if (posE != -1 && posE <= j) {
            const uint8_t b = at(posE);
            if (b <= 0x7F) {
                posE += 1;
            } else if (b == 0x8E) {
                if (In(at(posE + 1), 0xA1, 0xDF)) {
                    posE += 2;
                    scoreE += 2;
                } else {
                    posE = -1;
                    --live;
                }
            } else if (b == 0x8F) {
                if (In(at(posE + 1), 0xA1, 0xFE) && In(at(posE + 2), 0xA1, 0xFE)) {
                    posE += 3;
                    scoreE += 3;
                } else {
                    posE = -1;
                    --live;
                }
            } else if (b >= 0xA1) {
                if (In(at(posE + 1), 0xA1, 0xFE)) {
                    posE += 2;
                    scoreE += 2;
                } else {
                    posE = -1;
                    --live;
                }
            } else {
                posE = -1;
                --live;
            }
        }
        if (!sevenBit && live <= 1) {
            if (pos8 != -1) {
                return 8;
            }
            if (posS != -1) {
                return 3;
            }
            if (posE != -1) {
                return 4;
            }
            int32_t result = 1;
            if (score7 > 0) {
                result = 10;
            }
            if (score8 > score7) {
                result = 8;
            }
            if (scoreS > score8 && scoreS > score7) {
                result = 3;
            }
            if (scoreE > scoreS && scoreE > score8 && scoreE > score7) {
                result = 4;
            }
            return result;
        }
    }
    if (sevenBit && pos7 != -1 && score7 > 0) {
        return 10;
    }
    if (pos8 != -1 && score8 > 0) {
        return 8;
    }
    if (posS != -1 && scoreS > score8) {
        return 3;
    }
    if (posE != -1 && scoreE > scoreS && scoreE > score8) {
        return 4;
    }
    return 2;
}
