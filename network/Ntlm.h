#pragma once

#include "foundation/String.h"

#include <cstdint>

// Holders of the three NTLM messages of a proxy handshake. libntlm lays the messages out
// and computes the responses; the holders own the buffers, upper-case the negotiate
// texts and turn the messages into and out of the base64 text of the HTTP headers.

namespace orvane {

// Type 1: what the client offers.
class NtlmNegotiateMessage {
public:
    static constexpr int BufferSize = 1060;  // 32 fixed + 1024 string area + 4 count
    static constexpr int FixedSize = 32;

    NtlmNegotiateMessage();
    virtual ~NtlmNegotiateMessage();
    NtlmNegotiateMessage(const NtlmNegotiateMessage&) = delete;
    NtlmNegotiateMessage& operator=(const NtlmNegotiateMessage&) = delete;

    // Both texts are upper-cased (ASCII letters only) before libntlm gets them.
    void build(const char* user, const char* domain);
    String toBase64() const;

    // The bytes sent: the fixed part and the used string bytes.
    const uint8_t* bytes() const { return buffer_; }
    int length() const;

private:
    uint8_t* buffer_;
};

// Type 2: the proxy's challenge, as received.
class NtlmChallengeMessage {
public:
    static constexpr int BufferSize = 1076;  // 48 fixed + 1024 string area + 4 count
    static constexpr int MinimumSize = 32;   // signature, type, target name, flags, challenge

    NtlmChallengeMessage();
    ~NtlmChallengeMessage();
    NtlmChallengeMessage(const NtlmChallengeMessage&) = delete;
    NtlmChallengeMessage& operator=(const NtlmChallengeMessage&) = delete;

    // Decodes the base64 text. A decoded message longer than the buffer is not kept:
    // the holder then holds no challenge.
    void fromBase64(const char* text);
    // True when the holder keeps a message that libntlm may read: it carries the
    // signature "NTLMSSP\0", message type 2 and at least 32 bytes.
    bool isValid() const;
    // The message as libntlm gets it: a string whose offset and length reach outside the
    // bytes received is emptied, so that nothing beyond them is ever read. (Some servers
    // leave such fields uninitialised; the target name is informational only.)
    void copyForLibntlm(uint8_t* out) const;

    const uint8_t* bytes() const { return buffer_; }
    // Bytes received, -1 when the holder holds no challenge.
    int length() const { return length_; }

private:
    uint8_t* buffer_;
    int length_ = -1;
};

// Type 3: the answer with the LM and NT responses.
class NtlmAuthenticateMessage {
public:
    static constexpr int BufferSize = 1092;  // 64 fixed + 1024 string area + 4 count
    static constexpr int FixedSize = 64;

    NtlmAuthenticateMessage();
    ~NtlmAuthenticateMessage();
    NtlmAuthenticateMessage(const NtlmAuthenticateMessage&) = delete;
    NtlmAuthenticateMessage& operator=(const NtlmAuthenticateMessage&) = delete;

    // libntlm computes the message from the challenge, the user name and the password,
    // both as given. False, with nothing built, when the challenge is not valid.
    bool build(const NtlmChallengeMessage& challenge, const char* user, const char* password);
    String toBase64() const;

    const uint8_t* bytes() const { return buffer_; }
    // 0 until a message was built.
    int length() const;

private:
    uint8_t* buffer_;
    bool built_ = false;
};

} // namespace orvane
