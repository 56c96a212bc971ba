#pragma once

// WAV images put together byte by byte for the tests, independent of the code under test:
// little-endian fields and RIFF chunks, so that each case states exactly what a file holds.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::testing {

inline std::string le16(uint32_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

inline std::string le32(uint32_t v)
{
    return le16(v & 0xFFFF) + le16(v >> 16);
}

// A chunk with its real length (a pad byte follows an odd body).
inline std::string chunk(const std::string& id, const std::string& body)
{
    std::string out = id + le32(static_cast<uint32_t>(body.size())) + body;
    if (body.size() & 1)
        out += '\0';
    return out;
}

// A chunk header that declares `length` whatever follows.
inline std::string chunkClaiming(const std::string& id, uint32_t length, const std::string& body)
{
    return id + le32(length) + body;
}

// The 16-byte body of a "fmt " chunk.
inline std::string fmtBody(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits, int blockAlign = -1)
{
    const uint32_t align = blockAlign >= 0 ? static_cast<uint32_t>(blockAlign) : channels * (bits / 8);
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
}

// The 40-byte body of an extensible "fmt " chunk with the given sub-format code.
inline std::string extensibleBody(uint32_t subFormat, uint32_t channels, uint32_t rate, uint32_t bits)
{
    static const char tail[12] = {0x00, 0x00, 0x10, 0x00, static_cast<char>(0x80), 0x00,
                                  0x00, static_cast<char>(0xAA), 0x00, 0x38, static_cast<char>(0x9B), 0x71};
    return fmtBody(0xFFFE, channels, rate, bits) + le16(22) + le16(bits) + le32(0) + le32(subFormat) +
           std::string(tail, sizeof tail);
}

// "RIFF" <size of the rest> "WAVE" chunks...
inline std::string riff(const std::string& chunks)
{
    return "RIFF" + le32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

// A canonical 44-byte-header file.
inline std::string wavFile(uint32_t channels, uint32_t rate, uint32_t bits, const std::string& samples)
{
    return riff(chunk("fmt ", fmtBody(1, channels, rate, bits)) + chunk("data", samples));
}

// 16-bit samples as bytes.
inline std::string samples16(const std::vector<int16_t>& values)
{
    std::string out;
    for (int16_t v : values)
        out += le16(static_cast<uint16_t>(v));
    return out;
}

// n bytes counting up from `first`, wrapping: a pattern that shows any lost or moved byte.
inline std::string countingBytes(size_t n, unsigned first = 0)
{
    std::string out(n, '\0');
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<char>((first + i * 7 + i / 251) & 0xFF);
    return out;
}

} // namespace orvane::testing
