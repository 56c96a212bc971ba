#include "foundation/Conversions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace orvane;

TEST(Conversions, Booleans)
{
    EXPECT_EQ(boolToString(true), "yes");
    EXPECT_EQ(boolToString(false), "no");
    for (const char* t : {"YES", "yes", "True", "true", "1"})
        EXPECT_TRUE(parseBool(t)) << t;
    for (const char* t : {"2", "no", "", "on", " yes", "yes ", "11"})
        EXPECT_FALSE(parseBool(t)) << t;
    EXPECT_FALSE(parseBool(nullptr));
}

TEST(Conversions, Integers)
{
    struct Case { const char* text; int32_t value; };
    const Case cases[] = {
        {nullptr, 0}, {"", 0}, {"-12abc", -12}, {"  +7", 7}, {"\t\n42", 42},
        {"abc", 0}, {"-", 0}, {"2147483647", 2147483647}, {"12 34", 12},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseInt(c.text), c.value) << (c.text ? c.text : "NULL");
    EXPECT_EQ(intToString(-2147483647 - 1), "-2147483648");
    EXPECT_EQ(uintToString(0), "0");
    EXPECT_EQ(uintToString(4294967295u), "4294967295");
    EXPECT_EQ(uint64ToString(0), "0");
    EXPECT_EQ(uint64ToString(UINT64_MAX), "18446744073709551615");
}

TEST(Conversions, PortNumbers)
{
    struct Case { const char* text; bool ok; int port; };
    const Case cases[] = {
        {nullptr, true, 0}, {"", true, 0}, {" \t+80x", true, 80}, {"65535", true, 65535},
        {"-0", true, 0}, {"65536", false, 7}, {"-1", false, 7},
        {"4294967376", false, 7}, // would wrap to 80 in 32 bits
    };
    for (const Case& c : cases) {
        int port = 7;
        EXPECT_EQ(parsePortNumber(c.text, port), c.ok) << (c.text ? c.text : "NULL");
        EXPECT_EQ(port, c.port) << (c.text ? c.text : "NULL");
    }
}

TEST(Conversions, ParseUInt64)
{
    struct Case { const char* text; uint64_t value; };
    const Case cases[] = {
        {nullptr, 0}, {"", 0}, {"  123abc", 123}, {"abc", 0}, {"\xA0" "7", 7},
        {"-5", 0}, {"18446744073709551615", UINT64_MAX}, {"18446744073709551616", 0},
        {"\x01\x20\xFF" "99", 99},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseUInt64(c.text), c.value) << (c.text ? c.text : "NULL");
    EXPECT_EQ(parseUInt32("4294967297"), 1u);
}

TEST(Conversions, HexAndPercent)
{
    EXPECT_EQ(byteToHex(0x0a), "0a");
    EXPECT_EQ(byteToHex(0xff), "ff");
    EXPECT_EQ(byteToHex(0), "00");
    EXPECT_EQ(percentEscape(0x2f), "%2f");
    struct Case { char c; int value; };
    const Case cases[] = {{'0', 0}, {'9', 9}, {'a', 10}, {'F', 15}, {'g', -1}, {'G', -1},
                          {'/', -1}, {':', -1}, {'@', -1}, {'`', -1}, {'\0', -1}, {'\xC1', -1}};
    for (const Case& c : cases)
        EXPECT_EQ(hexDigitValue(c.c), c.value) << int(c.c);
}

TEST(Base64, EncodePadding)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(base64Encode(c.in), c.out);
        EXPECT_EQ(base64DecodeToString(c.out), c.in);
    }
    EXPECT_EQ(base64Encode(nullptr), "");
    const uint8_t bytes[] = {0xfb, 0xff, 0x00};
    EXPECT_EQ(base64Encode(bytes, 3), "+/8A");
    char buf[9] = {};
    base64Encode("abcde", 5, buf);
    EXPECT_STREQ(buf, "YWJjZGU=");
}

TEST(Base64, DecodeRules)
{
    struct Case { const char* in; std::string out; };
    const Case cases[] = {
        {"Zm9v YmFy", "foobar"},           // blanks inside are skipped
        {"Zm9v\r\nYmFy", "foobar"},
        {"Zm8=Zm9v", "fo"},                // decoding stops behind a quad ending in '='
        {"Zm9", ""},                       // an incomplete quad gives nothing
        {"Zm9vY", "foo"},
        {"Zm!9v", "foo"},                  // characters outside the alphabet are skipped
        {"\xDAm9v", "foo"},                // only the low seven bits count: 0xDA reads as 'Z'
        {"Zg==", "f"},
        {"Zg=A", "f"},                     // q2 '=' ends the quad's bytes
    };
    for (const Case& c : cases) {
        ByteArray out = base64Decode(c.in);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(out.count())), c.out) << c.in;
    }
    EXPECT_EQ(base64Decode(nullptr).count(), 0);
    String binary = base64DecodeToString("AAEC");
    ASSERT_EQ(binary.length(), 3);
    EXPECT_EQ(binary.at(0), 0);
    EXPECT_EQ(binary.at(2), 2);
}

TEST(Base64, RoundTripAllByteValues)
{
    uint8_t all[256];
    for (int i = 0; i < 256; ++i)
        all[i] = static_cast<uint8_t>(i);
    for (int n = 0; n <= 256; n += 37) {
        String text = base64Encode(all, n);
        EXPECT_EQ(text.length(), base64EncodedLength(n));
        ByteArray back;
        base64Decode(text.c_str(), text.length(), back);
        ASSERT_EQ(back.count(), n);
        if (n > 0) {
            EXPECT_EQ(std::memcmp(back.data(), all, static_cast<size_t>(n)), 0);
        }
    }
}
