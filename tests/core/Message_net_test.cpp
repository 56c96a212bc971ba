// The frame reader on real loopback connections: frames that arrive in pieces, with pauses
// longer than the reader's time-out between them, a peer that goes away mid-frame, and
// large frames that take many receives.

#include "core/Message.h"

#include "tests/foundation/LoopbackSockets.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;
using orvane::testing::closeWithReset;
using orvane::testing::ConnectedPair;
using orvane::testing::connectedPair;
using orvane::testing::Stopwatch;

namespace {

using Bytes = std::vector<uint8_t>;

// Type 2 from user 34 to user 12 with the body "hello world", written out by hand.
const Bytes helloFrame = {'#', 2, 0, 0, 0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 34, 0, 0, 0, 0, 0, 11,
                          'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'};

void sendBytes(SocketHandle s, const Bytes& bytes, size_t from, size_t to)
{
    ASSERT_EQ(sendAll(s, bytes.data() + from, static_cast<int>(to - from)), static_cast<int>(to - from));
}

std::string bodyOf(const Message& m)
{
    String s;
    EXPECT_TRUE(m.getBody(s));
    return std::string(s.c_str(), static_cast<size_t>(s.length()));
}

} // namespace

TEST(MessageNet, AHeaderSplitByATimeOutYieldsTheSameFrame)
{
    ConnectedPair pair = connectedPair();
    Message reader(pair.server.get(), 100);

    sendBytes(pair.client, helloFrame, 0, 7);
    Stopwatch watch;
    EXPECT_THROW(reader.read(), TimeoutException);
    EXPECT_GE(watch.elapsed(), 90);
    EXPECT_EQ(reader.getState(), Message::StateHeader);
    EXPECT_EQ(reader.getIncoming().count(), 7);

    // Nothing more in the next round either: the seven bytes stay.
    EXPECT_THROW(reader.read(), TimeoutException);
    EXPECT_EQ(reader.getIncoming().count(), 7);

    sendBytes(pair.client, helloFrame, 7, helloFrame.size());
    reader.read();
    EXPECT_TRUE(reader.isComplete());
    EXPECT_EQ(reader.type, 2);
    EXPECT_EQ(reader.recipientId, 12u);
    EXPECT_EQ(reader.senderId, 34u);
    EXPECT_EQ(bodyOf(reader), "hello world");
}

TEST(MessageNet, ABodySplitByATimeOutIsCompletedByTheNextRead)
{
    ConnectedPair pair = connectedPair();
    Message reader(pair.server.get(), 100);

    sendBytes(pair.client, helloFrame, 0, 25);
    EXPECT_THROW(reader.read(), TimeoutException);
    EXPECT_EQ(reader.getState(), Message::StateBody);
    sendBytes(pair.client, helloFrame, 25, helloFrame.size());
    reader.read();
    EXPECT_EQ(bodyOf(reader), "hello world");

    // The next read starts a new frame; an idle link times out without harm.
    EXPECT_THROW(reader.read(), TimeoutException);
    sendBytes(pair.client, helloFrame, 0, helloFrame.size());
    reader.read();
    EXPECT_EQ(bodyOf(reader), "hello world");
}

TEST(MessageNet, PiecesWithShortPausesMakeOneRead)
{
    ConnectedPair pair = connectedPair();
    Message reader(pair.server.get(), 2000);
    const SocketHandle client = pair.client.get();
    std::thread writer([client] {
        // A pause inside the header and one inside the body, each well within the time-out.
        for (auto [from, to] : {std::pair<size_t, size_t>{0, 3}, {3, 20}, {20, 26}, {26, helloFrame.size()}}) {
            sendAll(client, helloFrame.data() + from, static_cast<int>(to - from));
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    });
    reader.read();
    writer.join();
    EXPECT_EQ(bodyOf(reader), "hello world");
}

TEST(MessageNet, ABadFirstByteConsumesTwentyOneBytesOnTheWire)
{
    ConnectedPair pair = connectedPair();
    Message reader(pair.server.get(), 1000);
    Bytes wire(21, 'G'); // as if an HTTP request arrived instead of a frame
    wire.insert(wire.end(), helloFrame.begin(), helloFrame.end());
    sendBytes(pair.client, wire, 0, wire.size());

    EXPECT_THROW(reader.read(), Message::FormatException);
    reader.read();
    EXPECT_EQ(bodyOf(reader), "hello world");
}

TEST(MessageNet, APeerThatGoesAwayMidFrameIsTheSocketLayersFailure)
{
    {
        ConnectedPair pair = connectedPair();
        Message reader(pair.server.get(), 1000);
        sendBytes(pair.client, helloFrame, 0, 10);
        pair.client.reset();
        EXPECT_THROW(reader.read(), NoConnectionException);
    }
    {
        ConnectedPair pair = connectedPair();
        Message reader(pair.server.get(), 100);
        sendBytes(pair.client, helloFrame, 0, 25);
        EXPECT_THROW(reader.read(), TimeoutException);
        closeWithReset(pair.client);
        EXPECT_THROW(reader.read(), SocketException);
    }
}

TEST(MessageNet, LargeFramesTakeManyReceivesAndKeepTheirBytes)
{
    ConnectedPair pair = connectedPair();
    // Noise does not compress, so all of it crosses the wire.
    Bytes noise(900 * 1024);
    uint32_t s = 0x9e3779b9;
    for (uint8_t& b : noise) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        b = static_cast<uint8_t>(s);
    }
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "<contact id=\"" + std::to_string(i) + "\"/>";

    Message noisy, compressible;
    noisy.build(3, 5, 0, 6, 0, noise.data(), static_cast<int>(noise.size()));
    compressible.build(2, 5, 0, 6, 0, text.c_str());
    ASSERT_EQ(noisy.outgoingData()[2], 0);
    ASSERT_EQ(compressible.outgoingData()[2], 1);

    const SocketHandle client = pair.client.get();
    std::thread writer([&] {
        noisy.write(client);
        compressible.write(client);
    });
    Message reader(pair.server.get(), 5000);
    reader.read();
    ByteArray body;
    EXPECT_TRUE(reader.getBody(body));
    EXPECT_TRUE(Bytes(body.begin(), body.end()) == noise);
    reader.read();
    EXPECT_EQ(bodyOf(reader), text);
    writer.join();
}

TEST(MessageNet, AnOversizedLengthOnTheWireIsRefusedWithoutWaitingForTheBody)
{
    ConnectedPair pair = connectedPair();
    Message reader(pair.server.get(), 10000);
    // 16 MiB announced, nothing behind it.
    const Bytes header = {'#', 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0x01, 0x00, 0x00, 0x00};
    sendBytes(pair.client, header, 0, header.size());
    Stopwatch watch;
    EXPECT_THROW(reader.read(), Message::FormatException);
    EXPECT_LT(watch.elapsed(), 5000); // not the 10 s a wait for the body would take
    EXPECT_LE(reader.getIncoming().capacity(), Message::HeaderSize + 100);
}
