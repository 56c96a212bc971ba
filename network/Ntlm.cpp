#include "network/Ntlm.h"

#include "foundation/Containers.h"
#include "foundation/Conversions.h"
#include "foundation/Exception.h"

#include <ntlm.h>

#include <cstring>
#include <new>

namespace orvane {

static_assert(sizeof(tSmbNtlmAuthRequest) == NtlmNegotiateMessage::BufferSize,
              "libntlm's negotiate message has the size the holder allocates");
static_assert(sizeof(tSmbNtlmAuthChallenge) == NtlmChallengeMessage::BufferSize,
              "libntlm's challenge message has the size the holder allocates");
static_assert(sizeof(tSmbNtlmAuthResponse) == NtlmAuthenticateMessage::BufferSize,
              "libntlm's authenticate message has the size the holder allocates");

namespace {

uint8_t* newBuffer(int size)
{
    uint8_t* buffer = new (std::nothrow) uint8_t[size];
    if (!buffer)
        throw MemoryException();
    std::memset(buffer, 0, size_t(size));
    return buffer;
}

uint32_t readLittle32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t readLittle16(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// The string-area count that follows libntlm's 1024-byte string area, clamped to it.
int usedStringBytes(const uint8_t* buffer, int fixedSize)
{
    uint32_t used;
    std::memcpy(&used, buffer + fixedSize + NTLM_MSG_BUFSIZE, sizeof used);
    return used > NTLM_MSG_BUFSIZE ? NTLM_MSG_BUFSIZE : int(used);
}

// A string header (length, room, offset) at `at` whose string must lie within `size`.
bool stringInside(const uint8_t* message, int size, int at)
{
    uint16_t length = readLittle16(message + at);
    uint32_t offset = readLittle32(message + at + 4);
    return length == 0 || uint64_t(offset) + length <= uint64_t(size);
}

String upperCased(const char* text)
{
    String s(text ? text : "");
    s.toUpper();
    return s;
}

} // namespace

NtlmNegotiateMessage::NtlmNegotiateMessage() : buffer_(newBuffer(BufferSize)) {}

NtlmNegotiateMessage::~NtlmNegotiateMessage()
{
    delete[] buffer_;
}

void NtlmNegotiateMessage::build(const char* user, const char* domain)
{
    String u = upperCased(user);
    String d = upperCased(domain);
    buildSmbNtlmAuthRequest(reinterpret_cast<tSmbNtlmAuthRequest*>(buffer_), u.c_str(), d.c_str());
}

int NtlmNegotiateMessage::length() const
{
    return FixedSize + usedStringBytes(buffer_, FixedSize);
}

String NtlmNegotiateMessage::toBase64() const
{
    return base64Encode(buffer_, length());
}

NtlmChallengeMessage::NtlmChallengeMessage() : buffer_(newBuffer(BufferSize)) {}

NtlmChallengeMessage::~NtlmChallengeMessage()
{
    delete[] buffer_;
}

void NtlmChallengeMessage::fromBase64(const char* text)
{
    ByteArray decoded;
    base64Decode(text ? text : "", text ? int(std::strlen(text)) : 0, decoded);
    // Whatever an earlier challenge left behind must not show through a shorter one.
    std::memset(buffer_, 0, BufferSize);
    if (decoded.count() > BufferSize) {
        length_ = -1;
        return;
    }
    if (decoded.count() > 0)
        std::memcpy(buffer_, decoded.data(), size_t(decoded.count()));
    length_ = decoded.count();
}

bool NtlmChallengeMessage::isValid() const
{
    static const uint8_t kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
    if (length_ < MinimumSize || length_ > BufferSize)
        return false;
    return std::memcmp(buffer_, kSignature, sizeof kSignature) == 0 && readLittle32(buffer_ + 8) == 2;
}

void NtlmChallengeMessage::copyForLibntlm(uint8_t* out) const
{
    std::memcpy(out, buffer_, BufferSize);
    if (length_ < MinimumSize)
        return;
    // The target name, which libntlm copies into the answer as its domain, and the target
    // information of the longer form of the message.
    for (int header : {12, 40}) {
        if (header + 8 <= length_ && !stringInside(buffer_, length_, header))
            std::memset(out + header, 0, 8);
    }
}

NtlmAuthenticateMessage::NtlmAuthenticateMessage() : buffer_(newBuffer(BufferSize)) {}

NtlmAuthenticateMessage::~NtlmAuthenticateMessage()
{
    delete[] buffer_;
}

bool NtlmAuthenticateMessage::build(const NtlmChallengeMessage& challenge, const char* user,
                                    const char* password)
{
    if (!challenge.isValid())
        return false;
    tSmbNtlmAuthChallenge copy;
    challenge.copyForLibntlm(reinterpret_cast<uint8_t*>(&copy));
    buildSmbNtlmAuthResponse(&copy, reinterpret_cast<tSmbNtlmAuthResponse*>(buffer_),
                             user ? user : "", password ? password : "");
    built_ = true;
    return true;
}

int NtlmAuthenticateMessage::length() const
{
    return built_ ? FixedSize + usedStringBytes(buffer_, FixedSize) : 0;
}

String NtlmAuthenticateMessage::toBase64() const
{
    return base64Encode(buffer_, length());
}

} // namespace orvane
