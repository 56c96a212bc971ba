#pragma once

#include "foundation/String.h"

#include <cstdint>

namespace orvane {

// The MD5 message digest (RFC 1321) with the two text forms the proxy authentication
// uses: 32 lower-case hexadecimal digits, or the base64 form of the 16 bytes.
class Md5 {
public:
    Md5();

    // Adds n bytes; n = -1 takes the bytes as a text up to its zero byte. Does nothing
    // once the digest is finished.
    void update(const void* bytes, int n);
    // Pads, appends the bit length and keeps the digest; the block buffer is wiped.
    // Does nothing when already finished.
    void finish();

    // The digest forms finish the digest first when that has not happened yet.
    String hexDigest();
    String base64Digest();
    const uint8_t* digestBytes();

    // MD5 of the text up to its zero byte: hexadecimal when hex is set, else base64.
    static String digest(const char* text, bool hex);

private:
    void transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint32_t count_[2];  // bits processed, low word first
    uint8_t buffer_[64];
    uint8_t digest_[16];
    uint8_t finished_;
};

} // namespace orvane
