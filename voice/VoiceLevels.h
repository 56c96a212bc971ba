#pragma once

#include <cstdint>

namespace orvane {

// Sound levels in percent of full scale, from the peak of a buffer; only upward
// excursions count, so a buffer that stays below the middle has level 0.
// 16-bit: 0 to 100 (0 for an empty buffer).
int level16(const int16_t* samples, int count);
// 8-bit unsigned: -100 to 100, measured from the middle value 128 (-100 for an empty
// buffer).
int level8(const uint8_t* samples, int count);

} // namespace orvane
