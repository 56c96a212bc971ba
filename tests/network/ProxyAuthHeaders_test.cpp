#include "network/ProxyAuthHeaders.h"

#include "foundation/Conversions.h"
#include "network/Ntlm.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

using namespace orvane;

namespace {

NameValueList headersOf(std::initializer_list<std::pair<const char*, const char*>> list)
{
    NameValueList headers;
    for (const auto& [name, value] : list)
        headers.add(name, value);
    return headers;
}

// Expected digests below were computed independently (Python's hashlib).
const char* const kUser = "alice";
const char* const kPassword = "s3cret-Pw";

} // namespace

TEST(ProxyAuthHeaders, SchemeFromTheFirstHeaderThatNamesOne)
{
    using S = ProxyAuthHeaders;
    struct Case {
        NameValueList headers;
        S::Scheme scheme;
    } cases[] = {
        {headersOf({{"Proxy-Authenticate", "Negotiate"}}), S::None},
        {headersOf({{"Proxy-Authenticate", "Negotiate"}, {"Proxy-Authenticate", "NTLM"}}), S::Ntlm},
        {headersOf({{"proxy-authenticate", "Basic realm=\"x\""}, {"Proxy-Authenticate", "NTLM"}}), S::Basic},
        {headersOf({{"PROXY-AUTHENTICATE", "DIGEST realm=\"x\", nonce=\"n\""}}), S::Digest},
        {headersOf({{"WWW-Authenticate", "Basic realm=\"x\""}}), S::None},
        {headersOf({{"Proxy-Authenticate", "ntlmssp"}}), S::Ntlm},
        {headersOf({}), S::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(S::choose(c.headers), c.scheme);

    NameValueList two = headersOf({{"Proxy-Authenticate", "Negotiate"}, {"Proxy-Authenticate", "NTLM abc"}});
    EXPECT_EQ(S::firstChallenge(two), "Negotiate");
    EXPECT_EQ(S::firstChallenge(headersOf({})), "");
}

TEST(ProxyAuthHeaders, BasicKeepsTheColonOfAnEmptyPassword)
{
    EXPECT_EQ(ProxyAuthHeaders::basic("user", ""), "Basic dXNlcjo=");
    EXPECT_EQ(ProxyAuthHeaders::basic("Aladdin", "open sesame"), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST(ProxyAuthHeaders, DigestOfTheRfc2617Example)
{
    // The quoted qop list "auth,auth-int" is cut at its comma like every pair: qop auth.
    auto c = ProxyAuthHeaders::parseDigest(
        "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
        "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
    EXPECT_EQ(c.realm, "testrealm@host.com");
    EXPECT_EQ(c.qop, "auth");
    EXPECT_EQ(c.algorithm, "");
    EXPECT_EQ(ProxyAuthHeaders::digest(c, "Mufasa", "Circle Of Life", "GET", "/dir/index.html",
                                       nullptr, "0a4f113b"),
              "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", "
              "qop=\"auth\", nc=00000001, cnonce=\"0a4f113b\", "
              "response=\"6629fae49393a05397450978507c4ef1\", "
              "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"");
}

TEST(ProxyAuthHeaders, DigestForms)
{
    struct Case {
        const char* challenge;
        const char* method;
        const char* uri;
        const char* response;
        const char* qopWritten;
    } cases[] = {
        // Neither qop nor algorithm: the short form, all parameters still written.
        {"Digest realm=\"orvane-test\", nonce=\"abc123nonce\"", "CONNECT", "/",
         "5a546aee1090ac8ff91092a22fdea200", ""},
        // Names and algorithm in any case; MD5-sess.
        {"Digest REALM=orvane-test,Nonce=\"abc123nonce\",QOP=\"AUTH\",algorithm=md5-sess", "GET",
         "/x", "c39aa3f4899f0a632648dc51a05bb3d0", "auth"},
        // An algorithm nobody knows empties A1; a qop nobody knows empties the response.
        {"Digest realm=\"orvane-test\", nonce=\"abc123nonce\", qop=auth, algorithm=SHA-256", "GET",
         "/", "79033a40380173988dafb6738841d9be", "auth"},
        {"Digest realm=\"orvane-test\", nonce=\"abc123nonce\", qop=\"auth-conf\"", "GET", "/", "",
         "auth-conf"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.challenge);
        auto c = ProxyAuthHeaders::parseDigest(k.challenge);
        String expected = String("Digest username=\"alice\", realm=\"orvane-test\", nonce=\"abc123nonce\", uri=\"") +
                          k.uri + "\", qop=\"" + k.qopWritten +
                          "\", nc=00000001, cnonce=\"5d0c2a9e7b13f4680ace92d57b3f1e04\", response=\"" +
                          k.response + "\", opaque=\"\"";
        EXPECT_EQ(ProxyAuthHeaders::digest(c, kUser, kPassword, k.method, k.uri, nullptr), expected);
    }

    // auth-int hashes the entity body whole, zero bytes included.
    auto c = ProxyAuthHeaders::parseDigest("Digest realm=\"orvane-test\", nonce=\"abc123nonce\", qop=\"auth-int\"");
    ByteArray body;
    body.write(0, "a\0b", 3);
    String value = ProxyAuthHeaders::digest(c, kUser, kPassword, "POST", "/f", &body);
    EXPECT_NE(value.find("response=\"17dcbcdb184f09b3aa9af638c046a4ba\""), -1) << value.c_str();
}

TEST(ProxyAuthHeaders, NtlmRounds)
{
    NtlmNegotiateMessage negotiate;
    negotiate.build("CORP", "CORP");
    EXPECT_EQ(ProxyAuthHeaders::ntlmNegotiate("corp"), String("NTLM ") + negotiate.toBase64());

    String value = "unchanged";
    EXPECT_FALSE(ProxyAuthHeaders::ntlmAuthenticate("NTLM", kUser, kPassword, value));
    EXPECT_FALSE(ProxyAuthHeaders::ntlmAuthenticate("Negotiate", kUser, kPassword, value));
    EXPECT_FALSE(ProxyAuthHeaders::ntlmAuthenticate("NTLM bm90IGEgY2hhbGxlbmdl", kUser, kPassword, value));
    EXPECT_EQ(value, "unchanged");

    // A 32-byte type-2 message: signature, type 2, empty target name, flags, challenge.
    const unsigned char challenge[32] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0, 2, 0, 0, 0,
                                         0,   0,   0,   0,   32,  0,   0,   0, 1, 2, 0, 0,
                                         1,   2,   3,   4,   5,   6,   7,   8};
    ASSERT_TRUE(ProxyAuthHeaders::ntlmAuthenticate("NTLM " + base64Encode(challenge, 32), kUser,
                                                   kPassword, value));
    ASSERT_TRUE(value.startsWith("NTLM "));
    ByteArray answer = base64Decode(value.c_str() + 5);
    ASSERT_GE(answer.count(), 64);
    EXPECT_EQ(answer[8], 3);
}
