#pragma once

// Frames of the server link written out by hand, apart from the code that builds them.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvane::testing {

// The header of an uncompressed server frame, written out by hand: '#', type, 0,
// recipient (5 bytes), 0 0, sender (5 bytes), 0 0, body length (4 bytes), big-endian.
inline std::string frameHeader(uint8_t type, uint64_t recipient, uint64_t sender, size_t bodyLength)
{
    std::string h;
    h += '#';
    h += static_cast<char>(type);
    h += '\0';
    for (int shift = 32; shift >= 0; shift -= 8)
        h += static_cast<char>((recipient >> shift) & 0xff);
    h += std::string(2, '\0');
    for (int shift = 32; shift >= 0; shift -= 8)
        h += static_cast<char>((sender >> shift) & 0xff);
    h += std::string(2, '\0');
    for (int shift = 24; shift >= 0; shift -= 8)
        h += static_cast<char>((bodyLength >> shift) & 0xff);
    return h;
}

} // namespace orvane::testing
