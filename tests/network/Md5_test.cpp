#include "network/Md5.h"

#include "foundation/Conversions.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>

#include <string>

using namespace orvane;
using orvane::testing::hexOf;

namespace {

struct Vector {
    const char* text;
    const char* hex;
};

// The test suite of RFC 1321, appendix A.5.
const Vector kSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

} // namespace

TEST(Md5, Rfc1321SuiteInBothTextForms)
{
    for (const Vector& v : kSuite) {
        SCOPED_TRACE(v.text);
        EXPECT_STREQ(Md5::digest(v.text, true).c_str(), v.hex);
        String b64 = Md5::digest(v.text, false);
        EXPECT_EQ(b64.length(), 24);
        EXPECT_EQ(b64.at(22), '=');
        EXPECT_EQ(hexOf(base64Decode(b64.c_str())), v.hex);
    }
}

TEST(Md5, PiecewiseUpdatesAcrossBlockBoundariesMatchOneUpdate)
{
    // 80 bytes: every split point crosses or meets the 64-byte block edge differently.
    const char* text = kSuite[6].text;
    for (int split = 0; split <= 80; ++split) {
        Md5 md5;
        md5.update(text, split);
        md5.update(text + split, 80 - split);
        ASSERT_STREQ(md5.hexDigest().c_str(), kSuite[6].hex) << "split at " << split;
    }
    // Lengths around the padding edge (55, 56, 63, 64 bytes) against one-byte updates.
    for (int n : {55, 56, 57, 63, 64, 65, 119, 120}) {
        std::string bytes(n, 'x');
        Md5 whole, bytewise;
        whole.update(bytes.data(), n);
        for (char c : bytes)
            bytewise.update(&c, 1);
        EXPECT_EQ(whole.hexDigest(), bytewise.hexDigest()) << n;
    }
    std::string million(1000000, 'a');
    Md5 md5;
    md5.update(million.data(), int(million.size()));
    EXPECT_STREQ(md5.hexDigest().c_str(), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Md5, NothingChangesTheDigestOnceFinished)
{
    Md5 md5;
    md5.update("abc", -1);
    md5.finish();
    String first = md5.hexDigest();
    md5.finish();
    md5.update("more", -1);
    EXPECT_EQ(md5.hexDigest(), first);
    EXPECT_STREQ(first.c_str(), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5.base64Digest(), Md5::digest("abc", false));
}

TEST(Md5, BinaryBytesWithZerosCountByLength)
{
    const unsigned char bytes[] = {'a', 0, 'b'};
    Md5 withZero, text;
    withZero.update(bytes, 3);
    text.update("a", -1);
    EXPECT_NE(withZero.hexDigest(), text.hexDigest());
    EXPECT_EQ(text.hexDigest(), Md5::digest("a", true));
}
