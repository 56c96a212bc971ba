#include "network/ProxyAuthHeaders.h"

#include "foundation/Conversions.h"
#include "network/Md5.h"
#include "network/Ntlm.h"

namespace orvane {

namespace {

const char kChallengeHeader[] = "Proxy-Authenticate";

String md5Hex(const String& text)
{
    return Md5::digest(text.c_str(), true);
}

String parameter(const NameValueList& pairs, const char* name)
{
    String value = pairs.get(name);
    value.replaceAll("\"", "");
    return value;
}

} // namespace

ProxyAuthHeaders::Scheme ProxyAuthHeaders::choose(const NameValueList& headers)
{
    for (const NameValuePair& header : headers) {
        if (!header.name.equalsIgnoreCase(kChallengeHeader))
            continue;
        String value = header.value;
        value.toLower();
        if (value.startsWith("ntlm"))
            return Ntlm;
        if (value.startsWith("basic"))
            return Basic;
        if (value.startsWith("digest"))
            return Digest;
    }
    return None;
}

String ProxyAuthHeaders::firstChallenge(const NameValueList& headers)
{
    return headers.get(kChallengeHeader);
}

String ProxyAuthHeaders::basic(const char* user, const char* password)
{
    String credentials = String(user ? user : "") + ":" + (password ? password : "");
    return String("Basic ") + base64Encode(credentials.c_str());
}

String ProxyAuthHeaders::ntlmNegotiate(const char* domain)
{
    NtlmNegotiateMessage negotiate;
    negotiate.build(domain, domain);
    return String("NTLM ") + negotiate.toBase64();
}

bool ProxyAuthHeaders::ntlmAuthenticate(const String& challengeHeader, const char* user,
                                        const char* password, String& value)
{
    StringArray pieces;
    challengeHeader.split(' ', pieces, true);
    if (pieces.count() < 2)
        return false;
    NtlmChallengeMessage challenge;
    challenge.fromBase64(pieces[1]);
    NtlmAuthenticateMessage answer;
    if (!answer.build(challenge, user, password))
        return false;
    value = String("NTLM ") + answer.toBase64();
    return true;
}

ProxyAuthHeaders::DigestChallenge ProxyAuthHeaders::parseDigest(const String& headerValue)
{
    int space = headerValue.find(' ');
    String text = space < 0 ? headerValue : headerValue.substring(space + 1);
    NameValueList pairs;
    text.parsePairs(',', '=', pairs, true);
    DigestChallenge c;
    c.realm = parameter(pairs, "realm");
    c.qop = parameter(pairs, "qop");
    c.qop.toLower();
    c.nonce = parameter(pairs, "nonce");
    c.opaque = parameter(pairs, "opaque");
    c.algorithm = parameter(pairs, "algorithm");
    c.algorithm.toUpper();
    return c;
}

String ProxyAuthHeaders::digest(const DigestChallenge& c, const char* userText,
                                const char* passwordText, const char* method, const char* uri,
                                const ByteArray* body, const char* cnonce)
{
    const String user(userText ? userText : "");
    const String password(passwordText ? passwordText : "");
    const String nc(DigestNonceCount);

    String a1;
    if (c.algorithm.isEmpty() || c.algorithm == "MD5")
        a1 = user + ":" + c.realm + ":" + password;
    else if (c.algorithm == "MD5-SESS")
        a1 = md5Hex(user + ":" + c.realm + ":" + password) + ":" + c.nonce + ":" + cnonce;

    String a2;
    if (c.qop.isEmpty() || c.qop == "auth") {
        a2 = String(method) + ":" + uri;
    } else if (c.qop == "auth-int") {
        // The entity body is bytes: it is hashed whole, zero bytes included.
        Md5 bodyDigest;
        if (body && body->count() > 0)
            bodyDigest.update(body->data(), body->count());
        a2 = String(method) + ":" + uri + ":" + bodyDigest.hexDigest();
    }

    String response;
    if (c.qop.isEmpty())
        response = md5Hex(md5Hex(a1) + ":" + c.nonce + ":" + md5Hex(a2));
    else if (c.qop == "auth" || c.qop == "auth-int")
        response = md5Hex(md5Hex(a1) + ":" + c.nonce + ":" + nc + ":" + cnonce + ":" + c.qop + ":" +
                          md5Hex(a2));

    String value("Digest ");
    value += "username=\"" + user;
    value += "\", realm=\"" + c.realm;
    value += "\", nonce=\"" + c.nonce;
    value += "\", uri=\"" + String(uri);
    value += "\", qop=\"" + c.qop;
    value += "\", nc=" + nc;
    value += ", cnonce=\"" + String(cnonce);
    value += "\", response=\"" + response;
    value += "\", opaque=\"" + c.opaque + "\"";
    return value;
}

} // namespace orvane
