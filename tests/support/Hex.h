#pragma once

// Bytes as lower-case hex text for expectations, written apart from the code under test.

#include "foundation/Containers.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::testing {

inline std::string hexOf(const uint8_t* p, int n)
{
    static const char kHex[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < n; ++i) {
        s += kHex[p[i] >> 4];
        s += kHex[p[i] & 15];
    }
    return s;
}

inline std::string hexOf(const ByteArray& bytes)
{
    return hexOf(bytes.data(), bytes.count());
}

// Bytes from hex text written by hand; spaces between the digits are skipped.
inline std::vector<uint8_t> bytesOfHex(const char* hex)
{
    auto nibble = [](char c) {
        return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    };
    std::vector<uint8_t> bytes;
    for (const char* p = hex; *p;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        bytes.push_back(static_cast<uint8_t>(nibble(p[0]) << 4 | nibble(p[1])));
        p += 2;
    }
    return bytes;
}

} // namespace orvane::testing
