#include "voice/BitInputStream.h"
#include "voice/BitOutputStream.h"
#include "voice/ByteArrayInputStream.h"
#include "voice/ByteArrayOutputStream.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvane;

namespace {

std::vector<uint8_t> bytesOf(const ByteArray& a)
{
    return std::vector<uint8_t>(a.begin(), a.end());
}

} // namespace

TEST(BitOutputStream, TheFirstBitWrittenIsBitZeroOfTheFirstByte)
{
    ByteArray out;
    ByteArrayOutputStream bytes(out);
    BitOutputStream bits(&bytes);
    // 1,0,0,0, 0,0,0,0 then 0,1,1,0, 1,0,1,1 then 1,1,1: the last byte padded with 0.
    for (int b : {1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1})
        bits.writeBit(b);
    EXPECT_EQ(bytesOf(out), (std::vector<uint8_t>{0x01, 0xD6}));
    bits.flush();
    EXPECT_EQ(bytesOf(out), (std::vector<uint8_t>{0x01, 0xD6, 0x07}));
    bits.flush();
    EXPECT_EQ(out.count(), 3) << "an empty flush writes nothing";
}

TEST(BitOutputStream, AnyNonZeroValueIsAOneAndCloseFlushesAndDetaches)
{
    ByteArray out;
    ByteArrayOutputStream bytes(out);
    BitOutputStream bits(&bytes);
    bits.writeBit(-5);
    bits.writeBit(0);
    bits.writeBit(2);
    bits.close();
    EXPECT_EQ(bytesOf(out), (std::vector<uint8_t>{0x05}));
    for (int i = 0; i < 8; ++i)
        bits.writeBit(1);
    EXPECT_EQ(out.count(), 1) << "a closed stream has no target";
}

TEST(BitInputStream, ReadsLeastSignificantBitFirstAndCountsWhatIsLeft)
{
    const uint8_t data[] = {0xC9, 0x02};
    ByteArrayInputStream source(data, 2);
    BitInputStream bits(&source);
    EXPECT_EQ(bits.bitsAvailable(), 16);
    std::vector<int> read;
    for (int i = 0; i < 3; ++i)
        read.push_back(bits.readBit());
    EXPECT_EQ(read, (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(bits.bitsAvailable(), 13);
    for (int i = 0; i < 5; ++i)
        read.push_back(bits.readBit());
    EXPECT_EQ(read, (std::vector<int>{1, 0, 0, 1, 0, 0, 1, 1}));
    EXPECT_EQ(bits.bitsAvailable(), 8);
    EXPECT_EQ(bits.readBit(), 0);
    EXPECT_EQ(bits.readBit(), 1);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bits.readBit(), 0);
    EXPECT_EQ(bits.bitsAvailable(), 0);
    EXPECT_EQ(bits.readBit(), -1);
    bits.close();
    EXPECT_EQ(bits.readBit(), -1);
}

TEST(ByteArrayInputStream, ReadsWithinItsBlockOnly)
{
    const uint8_t data[] = {10, 20, 30};
    ByteArrayInputStream in(data, 3);
    uint8_t buffer[8] = {};
    EXPECT_EQ(in.read(buffer, 0), 0);
    EXPECT_EQ(in.read(buffer, 2), 2);
    EXPECT_EQ(buffer[1], 20);
    EXPECT_EQ(in.available(), 1);
    EXPECT_EQ(in.read(buffer, 8), 1);
    EXPECT_EQ(buffer[0], 30);
    EXPECT_EQ(in.read(buffer, 8), -1);
    EXPECT_EQ(in.read(), -1);

    ByteArrayInputStream lines(reinterpret_cast<const uint8_t*>("ab\r\ncd"), 6);
    EXPECT_EQ(lines.read(), 'a');
    lines.close();
    EXPECT_EQ(lines.available(), 0);
    EXPECT_EQ(lines.read(), -1);
}

TEST(ByteArrayInputStream, CarriesTheBaseLineReader)
{
    ByteArrayInputStream lines(reinterpret_cast<const uint8_t*>("ab\r\ncd"), 6);
    EXPECT_STREQ(lines.readLine().c_str(), "ab");
    EXPECT_STREQ(lines.readLine().c_str(), "cd");
}

TEST(ByteArrayOutputStream, AppendsToItsOwnArrayAndFlushEmptiesIt)
{
    ByteArrayOutputStream out;
    out.write(reinterpret_cast<const uint8_t*>("xyz"), 3);
    out.write(uint8_t{'!'});
    out.write(nullptr, 4);
    EXPECT_EQ(bytesOf(out.bytes()), (std::vector<uint8_t>{'x', 'y', 'z', '!'}));
    EXPECT_EQ(out.bytes().capacity(), 3 + ByteArrayOutputStream::GrowBy)
        << "the first write grows to three plus the step";
    out.flush();
    EXPECT_EQ(out.bytes().count(), 0);

    ByteArray target;
    target.add(7);
    ByteArrayOutputStream onto(target);
    onto.write(uint8_t{8});
    onto.flush();
    EXPECT_EQ(bytesOf(target), (std::vector<uint8_t>{7, 8})) << "a caller's array is never emptied";
}
