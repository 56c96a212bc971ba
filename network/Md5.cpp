#include "network/Md5.h"

#include "foundation/Conversions.h"

#include <cstring>

namespace orvane {

namespace {

// Per-step additive constants: the integer part of 2^32 * |sin(i + 1)|, i = 0 .. 63.
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
const int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline uint32_t rotateLeft(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

inline uint32_t readLittle32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void writeLittle32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

} // namespace

Md5::Md5()
    : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, count_{0, 0}, buffer_{}, digest_{},
      finished_(0)
{
}

void Md5::transform(const uint8_t block[64])
{
    uint32_t x[16];
    for (int i = 0; i < 16; ++i)
        x[i] = readLittle32(block + 4 * i);

    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    for (int step = 0; step < 64; ++step) {
        int round = step / 16;
        uint32_t f;
        int word;
        switch (round) {
        case 0:
            f = (b & c) | (~b & d);
            word = step;
            break;
        case 1:
            f = (b & d) | (c & ~d);
            word = (5 * step + 1) % 16;
            break;
        case 2:
            f = b ^ c ^ d;
            word = (3 * step + 5) % 16;
            break;
        default:
            f = c ^ (b | ~d);
            word = (7 * step) % 16;
            break;
        }
        uint32_t sum = a + f + kSine[step] + x[word];
        a = d;
        d = c;
        c = b;
        b = b + rotateLeft(sum, kShift[round][step % 4]);
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::update(const void* bytes, int n)
{
    if (finished_ || !bytes)
        return;
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    size_t length = n < 0 ? std::strlen(static_cast<const char*>(bytes)) : size_t(n);

    size_t used = (count_[0] >> 3) & 63;
    // The bit count is 64 bits wide, kept in two words; it wraps as the algorithm says.
    uint64_t bits = (uint64_t(count_[1]) << 32 | count_[0]) + (uint64_t(length) << 3);
    count_[0] = uint32_t(bits);
    count_[1] = uint32_t(bits >> 32);

    size_t room = 64 - used;
    size_t i = 0;
    if (length >= room) {
        std::memcpy(buffer_ + used, in, room);
        transform(buffer_);
        for (i = room; i + 64 <= length; i += 64)
            transform(in + i);
        used = 0;
    }
    std::memcpy(buffer_ + used, in + i, length - i);
}

void Md5::finish()
{
    if (finished_)
        return;
    uint8_t length[8];
    writeLittle32(length, count_[0]);
    writeLittle32(length + 4, count_[1]);

    // One 0x80 byte, then zeros up to 56 bytes into a block, then the 8 length bytes.
    static const uint8_t kPadding[64] = {0x80};
    size_t used = (count_[0] >> 3) & 63;
    size_t padLength = used < 56 ? 56 - used : 120 - used;
    update(kPadding, int(padLength));
    update(length, 8);

    for (int i = 0; i < 4; ++i)
        writeLittle32(digest_ + 4 * i, state_[i]);
    std::memset(buffer_, 0, sizeof buffer_);
    finished_ = 1;
}

const uint8_t* Md5::digestBytes()
{
    finish();
    return digest_;
}

String Md5::hexDigest()
{
    static const char kHex[] = "0123456789abcdef";
    finish();
    char text[32];
    for (int i = 0; i < 16; ++i) {
        text[2 * i] = kHex[digest_[i] >> 4];
        text[2 * i + 1] = kHex[digest_[i] & 15];
    }
    return String(text, 32);
}

String Md5::base64Digest()
{
    finish();
    return base64Encode(digest_, 16);
}

String Md5::digest(const char* text, bool hex)
{
    Md5 md5;
    md5.update(text ? text : "", -1);
    return hex ? md5.hexDigest() : md5.base64Digest();
}

} // namespace orvane
