// A literal, step-by-step detector: every candidate is visited at every index. Slow and obviously
// faithful, it is the oracle that the optimised detector is compared with.
#pragma once

#include <cstdint>

int32_t ReferenceDetect(const uint8_t* data, int32_t length);
