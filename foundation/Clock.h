#pragma once

#include <cstdint>

namespace orvane {

// Milliseconds since 1970-01-01 00:00 UTC, from the system time of day.
int64_t currentTimeMillis();

// Milliseconds on a clock that never goes back (CLOCK_MONOTONIC). Every deadline is
// measured on it, so setting the system clock cannot stretch or cut a wait.
int64_t monotonicMillis();

} // namespace orvane
