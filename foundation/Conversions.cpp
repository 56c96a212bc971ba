#include "foundation/Conversions.h"

#include <climits>
#include <cstdio>
#include <cstring>

namespace orvane {

namespace {

// Past the blanks before a number and its sign.
const char* skipBlanksAndSign(const char* p, bool& negative)
{
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    return p;
}

} // namespace

String boolToString(bool b)
{
    return String(b ? "yes" : "no");
}

bool parseBool(const char* text)
{
    return text && (equalsIgnoreCase(text, "yes") || equalsIgnoreCase(text, "true") ||
                    std::strcmp(text, "1") == 0);
}

String intToString(int32_t n)
{
    char buf[16];
    int len = std::snprintf(buf, sizeof buf, "%d", n);
    return String(buf, len);
}

int32_t parseInt(const char* text)
{
    if (!text || !*text)
        return 0;
    bool negative;
    const char* p = skipBlanksAndSign(text, negative);
    // Overflow wraps; the arithmetic is done unsigned so that it stays defined.
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

bool parsePortNumber(const char* text, int& port)
{
    bool negative;
    const char* p = skipBlanksAndSign(text ? text : "", negative);
    long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > 65535)
            return false;
    }
    if (negative && value != 0)
        return false;
    port = static_cast<int>(value);
    return true;
}

String uintToString(uint32_t n)
{
    return uint64ToString(n);
}

String uint64ToString(uint64_t n)
{
    char buf[24];
    char* p = buf + sizeof buf;
    do {
        *--p = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n);
    return String(p, static_cast<int>(buf + sizeof buf - p));
}

uint64_t parseUInt64(const char* text)
{
    if (!text)
        return 0;
    const signed char* p = reinterpret_cast<const signed char*>(text);
    while (*p != 0 && *p < 33)
        ++p;
    uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<uint64_t>(*p - '0');
    return value;
}

uint32_t parseUInt32(const char* text)
{
    return static_cast<uint32_t>(parseUInt64(text));
}

static const char kHexDigits[] = "0123456789abcdef";

String byteToHex(uint8_t b)
{
    char buf[2] = {kHexDigits[b >> 4], kHexDigits[b & 15]};
    return String(buf, 2);
}

int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

String percentEscape(uint8_t b)
{
    char buf[3] = {'%', kHexDigits[b >> 4], kHexDigits[b & 15]};
    return String(buf, 3);
}

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr signed char kPad = -1;
constexpr signed char kBlank = -5;
constexpr signed char kInvalid = -9;

struct DecodeTable {
    signed char v[128];
    constexpr DecodeTable() : v()
    {
        for (int i = 0; i < 128; ++i)
            v[i] = kInvalid;
        for (int i = 0; i < 64; ++i)
            v[static_cast<unsigned char>(kAlphabet[i])] = static_cast<signed char>(i);
        v[int('=')] = kPad;
        v[int('\t')] = v[int('\n')] = v[int('\r')] = v[int(' ')] = kBlank;
    }
};

constexpr DecodeTable kDecode{};

} // namespace

int base64EncodedLength(int n)
{
    if (n <= 0)
        return 0;
    if (n / 3 > (INT_MAX / 4) - 1)
        throw MemoryException();
    return 4 * ((n + 2) / 3);
}

void base64Encode(const void* bytes, int count, char* out)
{
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    int i = 0;
    for (; i + 3 <= count; i += 3) {
        uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        *out++ = kAlphabet[v >> 18];
        *out++ = kAlphabet[(v >> 12) & 63];
        *out++ = kAlphabet[(v >> 6) & 63];
        *out++ = kAlphabet[v & 63];
    }
    int rest = count - i;
    if (rest > 0) {
        uint32_t v = uint32_t(in[i]) << 16;
        if (rest == 2)
            v |= uint32_t(in[i + 1]) << 8;
        *out++ = kAlphabet[v >> 18];
        *out++ = kAlphabet[(v >> 12) & 63];
        *out++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        *out++ = '=';
    }
}

String base64Encode(const void* bytes, int count)
{
    String out;
    if (!bytes || count <= 0)
        return out;
    out.setLength(base64EncodedLength(count));
    base64Encode(bytes, count, out.data());
    return out;
}

String base64Encode(const char* text)
{
    if (!text)
        return String();
    return base64Encode(text, static_cast<int>(std::strlen(text)));
}

void base64Decode(const char* chars, int count, ByteArray& out)
{
    if (!chars || count <= 0) {
        out.setSize(0);
        return;
    }
    out.setSize(count);
    uint8_t* dst = out.data();
    int produced = 0;
    signed char quad[4];
    int have = 0;
    for (int i = 0; i < count; ++i) {
        signed char v = kDecode.v[static_cast<unsigned char>(chars[i]) & 0x7F];
        if (v < kPad)
            continue;
        quad[have++] = v;
        if (have < 4)
            continue;
        have = 0;
        int s0 = quad[0] & 63, s1 = quad[1] & 63, s2 = quad[2] & 63, s3 = quad[3] & 63;
        dst[produced++] = static_cast<uint8_t>((s0 << 2) | (s1 >> 4));
        if (quad[2] != kPad) {
            dst[produced++] = static_cast<uint8_t>(((s1 << 4) | (s2 >> 2)) & 255);
            if (quad[3] != kPad)
                dst[produced++] = static_cast<uint8_t>(((s2 << 6) | s3) & 255);
        }
        if (quad[3] == kPad)
            break;
    }
    out.setSize(produced);
}

ByteArray base64Decode(const char* text)
{
    ByteArray out;
    if (text)
        base64Decode(text, static_cast<int>(std::strlen(text)), out);
    return out;
}

String base64DecodeToString(const char* text)
{
    ByteArray bytes = base64Decode(text);
    return String(reinterpret_cast<const char*>(bytes.data()), bytes.count());
}

} // namespace orvane
