#pragma once

// Reading video pictures back from the screen: pixels as 0x00RRGGBB and colours compared
// with a tolerance, and the synthetic camera's bars.

#include <wx/image.h>

#include <cstdint>
#include <cstdlib>

namespace orvane::testing {

// The synthetic camera's eight bars, left to right.
inline constexpr uint32_t SyntheticBars[] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000,
                                             0xC000C0, 0xC00000, 0x0000C0, 0x101010};

// Every colour byte within tolerance of the other's.
inline bool near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
            return false;
    return true;
}

inline uint32_t pixelOf(const wxImage& image, int x, int y)
{
    return static_cast<uint32_t>(image.GetRed(x, y)) << 16 | static_cast<uint32_t>(image.GetGreen(x, y)) << 8 |
           image.GetBlue(x, y);
}

} // namespace orvane::testing
