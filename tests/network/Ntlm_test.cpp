#include "network/Ntlm.h"

#include "foundation/Conversions.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace orvane;
using orvane::testing::hexOf;

namespace {

using Bytes = std::string;

Bytes fromHex(const char* hex)
{
    Bytes out;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        out += char(std::stoi(std::string(hex + i, 2), nullptr, 16));
    return out;
}

void putLittle16(Bytes& b, size_t at, unsigned v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char((v >> 8) & 0xFF);
}

void putLittle32(Bytes& b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

unsigned little16(const uint8_t* p)
{
    return unsigned(p[0] | p[1] << 8);
}

uint32_t little32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

Bytes utf16(const char* ascii)
{
    Bytes out;
    for (const char* p = ascii; *p; ++p) {
        out += *p;
        out += '\0';
    }
    return out;
}

// A type-2 message in its 48-byte form: target name (UTF-16) after the fixed part, the
// server challenge, an empty target information block.
Bytes challengeMessage(const char* targetName, const char* challengeHex)
{
    Bytes name = utf16(targetName);
    Bytes m(48, '\0');
    std::memcpy(&m[0], "NTLMSSP\0", 8);
    putLittle32(m, 8, 2);
    putLittle16(m, 12, unsigned(name.size()));
    putLittle16(m, 14, unsigned(name.size()));
    putLittle32(m, 16, 48);
    putLittle32(m, 20, 0x00008201);  // unicode, NTLM
    Bytes challenge = fromHex(challengeHex);
    std::memcpy(&m[24], challenge.data(), 8);
    putLittle32(m, 44, uint32_t(48 + name.size()));
    return m + name;
}

String base64Of(const Bytes& b)
{
    return base64Encode(b.data(), int(b.size()));
}

// The bytes a string header (length, room, offset) of the message at `at` points to.
std::string field(const uint8_t* message, int at)
{
    return hexOf(message + little32(message + at + 4), int(little16(message + at)));
}

} // namespace

TEST(NtlmNegotiateMessage, UpperCasedDomainInBothSlots)
{
    NtlmNegotiateMessage m;
    m.build("corp", "corp");
    // Signature, type 1, flags 0xb207, the two string headers, then "CORP" twice.
    Bytes expected = fromHex("4e544c4d53535000" "01000000" "07b20000"
                             "0400040020000000" "0400040024000000")
                     + "CORPCORP";
    ASSERT_EQ(m.length(), 40);
    EXPECT_EQ(Bytes(reinterpret_cast<const char*>(m.bytes()), size_t(m.length())), expected);
    EXPECT_EQ(m.toBase64(), base64Of(expected));

    // Only ASCII letters change case.
    m.build("a-b.c", "x_y9");
    ASSERT_EQ(m.length(), 32 + 5 + 4);
    EXPECT_EQ(Bytes(reinterpret_cast<const char*>(m.bytes()) + 32, 9), "A-B.CX_Y9");
}

TEST(NtlmAuthenticateMessage, ResponsesFromAKnownChallenge)
{
    // LM and NT responses computed independently (MD4 and DES of the legacy OpenSSL
    // provider); they agree with the published NTLMv1 example values for these inputs.
    struct Case {
        const char* user;
        const char* password;
        const char* target;
        const char* challenge;
        const char* lm;
        const char* nt;
    } cases[] = {
        {"User", "Password", "Domain", "0123456789abcdef",
         "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13",
         "67c43011f30298a2ad35ece64f16331c44bdbed927841f94"},
        {"user", "SecREt01", "DOMAIN", "0123456789abcdef",
         "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56",
         "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        NtlmChallengeMessage challenge;
        challenge.fromBase64(base64Of(challengeMessage(c.target, c.challenge)).c_str());
        ASSERT_TRUE(challenge.isValid());

        NtlmAuthenticateMessage answer;
        ASSERT_TRUE(answer.build(challenge, c.user, c.password));
        const uint8_t* m = answer.bytes();
        EXPECT_EQ(hexOf(m, 12), "4e544c4d5353500003000000");
        EXPECT_EQ(field(m, 12), c.lm);
        EXPECT_EQ(field(m, 20), c.nt);
        Bytes target = utf16(c.target), user = utf16(c.user);
        EXPECT_EQ(field(m, 28), hexOf(reinterpret_cast<const uint8_t*>(target.data()), int(target.size())));
        EXPECT_EQ(field(m, 36), hexOf(reinterpret_cast<const uint8_t*>(user.data()), int(user.size())));
        EXPECT_EQ(answer.length(), 64 + 48 + int(target.size()) + 2 * int(user.size()));
        EXPECT_EQ(answer.toBase64(), base64Encode(m, answer.length()));
    }
}

TEST(NtlmChallengeMessage, MalformedChallengesNeverReachLibntlm)
{
    const Bytes good = challengeMessage("DOMAIN", "0123456789abcdef");  // 60 bytes
    Bytes wrongSignature = good;
    wrongSignature[6] = 'Q';
    Bytes noTerminator = good;
    noTerminator[7] = ' ';
    Bytes typeOne = good;
    putLittle32(typeOne, 8, 1);
    Bytes typeThree = good;
    putLittle32(typeThree, 8, 3);

    struct Case {
        const char* what;
        Bytes bytes;
    } rejected[] = {
        {"empty", Bytes()},
        {"31 bytes", good.substr(0, 31)},
        {"signature", wrongSignature},
        {"signature terminator", noTerminator},
        {"type 1", typeOne},
        {"type 3", typeThree},
        {"longer than the buffer", good + Bytes(1100, 'x')},
    };
    for (const Case& c : rejected) {
        SCOPED_TRACE(c.what);
        NtlmChallengeMessage challenge;
        challenge.fromBase64(base64Of(c.bytes).c_str());
        EXPECT_FALSE(challenge.isValid());
        NtlmAuthenticateMessage answer;
        EXPECT_FALSE(answer.build(challenge, "user", "pw"));
        EXPECT_EQ(answer.length(), 0);
        EXPECT_EQ(answer.toBase64(), "");
    }
    NtlmChallengeMessage oversized;
    oversized.fromBase64(base64Of(good + Bytes(1100, 'x')).c_str());
    EXPECT_EQ(oversized.length(), -1);
}

TEST(NtlmChallengeMessage, StringsOutsideTheMessageAreNotRead)
{
    const Bytes good = challengeMessage("DOMAIN", "0123456789abcdef");  // 60 bytes
    Bytes nameBeyondEnd = good.substr(0, 56);  // the 12 name bytes at 48 are cut to 8
    Bytes nameOffsetWraps = good;
    putLittle32(nameOffsetWraps, 16, 0xFFFFFFF8u);
    Bytes nameHugeLength = good;
    putLittle16(nameHugeLength, 12, 0xFFFF);
    Bytes infoBeyondEnd = good;
    putLittle16(infoBeyondEnd, 40, 4);
    putLittle32(infoBeyondEnd, 44, 58);
    Bytes shortWithName = good.substr(0, 32);  // the name header points past 32 bytes
    // The short form some servers send with an offset never set: 0xAAAAAAAE.
    Bytes uninitialised = fromHex("4e544c4d535350000200000009000900aeaaaaaa07b20000b714c58ee9c1b01f"
                                  "0000000000003a00");
    uninitialised += "WORKGROUP";

    struct Case {
        const char* what;
        Bytes bytes;
        bool nameKept;
    } cases[] = {
        {"intact", good, true},
        {"name beyond the end", nameBeyondEnd, false},
        {"name offset wraps", nameOffsetWraps, false},
        {"name length", nameHugeLength, false},
        {"target information beyond the end", infoBeyondEnd, true},
        {"32 bytes naming a string after them", shortWithName, false},
        {"offset never set", uninitialised, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NtlmChallengeMessage challenge;
        challenge.fromBase64(base64Of(c.bytes).c_str());
        ASSERT_TRUE(challenge.isValid());
        NtlmAuthenticateMessage answer;
        ASSERT_TRUE(answer.build(challenge, "user", "pw"));
        const uint8_t* m = answer.bytes();
        Bytes domain = utf16("DOMAIN");
        EXPECT_EQ(field(m, 28), c.nameKept ? hexOf(reinterpret_cast<const uint8_t*>(domain.data()), 12) : "");
        EXPECT_EQ(field(m, 36), hexOf(reinterpret_cast<const uint8_t*>("u\0s\0e\0r\0"), 8));
        EXPECT_EQ(answer.length(), 64 + 48 + (c.nameKept ? 12 : 0) + 16);
    }

    // Nothing of a longer earlier challenge shows through a shorter one.
    NtlmChallengeMessage challenge;
    challenge.fromBase64(base64Of(good).c_str());
    Bytes minimal = good.substr(0, 32);
    putLittle16(minimal, 12, 0);
    putLittle16(minimal, 14, 0);
    challenge.fromBase64(base64Of(minimal).c_str());
    EXPECT_TRUE(challenge.isValid());
    EXPECT_EQ(hexOf(challenge.bytes() + 32, 28), std::string(56, '0'));
}

TEST(NtlmMessages, OverlongTextsStayInsideTheBuffers)
{
    std::string longText(3000, 'n');
    NtlmNegotiateMessage negotiate;
    negotiate.build(longText.c_str(), longText.c_str());
    EXPECT_LE(negotiate.length(), NtlmNegotiateMessage::BufferSize - 4);

    Bytes big = challengeMessage(std::string(500, 'd').c_str(), "0011223344556677");
    NtlmChallengeMessage challenge;
    challenge.fromBase64(base64Of(big).c_str());
    ASSERT_TRUE(challenge.isValid());
    NtlmAuthenticateMessage answer;
    ASSERT_TRUE(answer.build(challenge, longText.c_str(), longText.c_str()));
    EXPECT_LE(answer.length(), NtlmAuthenticateMessage::BufferSize - 4);
}
