#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

namespace orvane {

// The header values of the answer to a proxy's 407, shared by the two users of the
// exchange: HttpClient, which adds them to its own request, and ProxyClient, which sends
// them with a CONNECT request.
class ProxyAuthHeaders {
public:
    enum Scheme { None, Ntlm, Basic, Digest };

    // Digest's fixed client nonce and nonce count.
    static constexpr const char* DigestCnonce = "5d0c2a9e7b13f4680ace92d57b3f1e04";
    static constexpr const char* DigestNonceCount = "00000001";

    // The first "Proxy-Authenticate" header (name compared ignoring case) whose value,
    // lowered, begins with "ntlm", "basic" or "digest" names the scheme; None when no
    // header does.
    static Scheme choose(const NameValueList& headers);
    // The value of the first "Proxy-Authenticate" header; empty when there is none. Every
    // scheme reads its parameters from this one, not from the header that selected it.
    static String firstChallenge(const NameValueList& headers);

    // "Basic " + base64 of user ":" password.
    static String basic(const char* user, const char* password);

    // "NTLM " + the negotiate message built from the domain text (upper-cased) given as
    // both its user and its domain.
    static String ntlmNegotiate(const char* domain);
    // "NTLM " + the authenticate message answering the challenge header ("NTLM <base64>",
    // split at spaces, the second piece being the message). False when the header has
    // fewer than two pieces or the challenge is not a well-formed type-2 message.
    static bool ntlmAuthenticate(const String& challengeHeader, const char* user,
                                 const char* password, String& value);

    struct DigestChallenge {
        String realm, qop, nonce, opaque, algorithm;
    };
    // The parameters of a "Digest ..." header value: the text after its first space split
    // into name=value pairs at ','; quotes removed, qop lowered, algorithm raised.
    static DigestChallenge parseDigest(const String& headerValue);
    // The "Digest ..." answer (RFC 2617, MD5 and MD5-sess, qop none, auth or auth-int)
    // for the method and URI; body is the entity body for auth-int (NULL: empty).
    static String digest(const DigestChallenge& challenge, const char* user, const char* password,
                         const char* method, const char* uri, const ByteArray* body,
                         const char* cnonce = DigestCnonce);
};

} // namespace orvane
