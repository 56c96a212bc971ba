#pragma once

// Bytes as lower-case hex text for expectations, written apart from the code under test.

#include "foundation/Containers.h"

#include <cstdint>
#include <string>

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

} // namespace orvane::testing
