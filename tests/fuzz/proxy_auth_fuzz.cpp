// A proxy's 407 challenge, as it arrives: the bytes are taken once as an NTLM type-2 message
// (answered with an authenticate message) and once as the text of a Digest challenge
// (answered with the Digest header). Whatever the bytes, the answer must stay inside its
// buffer and every string it points at inside the answer.
#include "foundation/Conversions.h"
#include "network/Ntlm.h"
#include "network/ProxyAuthHeaders.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 4096)
        return 0;
    const int n = static_cast<int>(size);

    NtlmChallengeMessage challenge;
    challenge.fromBase64(base64Encode(data, n).c_str());
    NtlmAuthenticateMessage answer;
    if (answer.build(challenge, "user", "password")) {
        const int length = answer.length();
        if (length < NtlmAuthenticateMessage::FixedSize || length > NtlmAuthenticateMessage::BufferSize - 4)
            std::abort();
        const uint8_t* m = answer.bytes();
        for (int header = 12; header <= 52; header += 8) {
            const int fieldLength = m[header] | m[header + 1] << 8;
            const uint32_t offset = uint32_t(m[header + 4]) | uint32_t(m[header + 5]) << 8 |
                                    uint32_t(m[header + 6]) << 16 | uint32_t(m[header + 7]) << 24;
            if (fieldLength > 0 && uint64_t(offset) + uint64_t(fieldLength) > uint64_t(length))
                std::abort();
        }
    } else if (n >= 32 && challenge.isValid()) {
        std::abort();
    }

    const std::string text(reinterpret_cast<const char*>(data), size);
    const ProxyAuthHeaders::DigestChallenge digest = ProxyAuthHeaders::parseDigest(text.c_str());
    const String value = ProxyAuthHeaders::digest(digest, "user", "password", "CONNECT", "/", nullptr);
    if (!value.startsWith("Digest username=\"user\", realm=\""))
        std::abort();
    return 0;
}
