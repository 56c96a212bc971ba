// The bytes both frames put on the wire for bodies that compress, against fixtures recorded
// from the frames as first written (a fresh compress2 call at zlib's default level for every
// body): peers and servers of any age must see the same bytes, and one frame object that
// compresses and inflates body after body must leave nothing of one body in the next.
//
// The fixtures are tests/core/fixtures/wire/<frame>-<body>.bin, each one whole frame.
// ORVANE_RECORD_WIRE_FIXTURES=1 writes them anew instead of comparing.

#include "core/Message.h"
#include "core/channels/Packet.h"
#include "tests/foundation/LoopbackSockets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Bodies like the ones the program sends, made here so that they never change.
std::string textBody()
{
    // A module message of the kind the server link carries: XML, repetitive.
    std::string text = "<message module_id=\"Webjoin\"><data>";
    for (int i = 0; i < 24; ++i)
        text += "&lt;data command=&quot;NAVIGATE&quot; url=&quot;http://127.0.0.1:18431/page" + std::to_string(i) +
                ".html&quot; session_id=&quot;1001_" + std::to_string(i % 3) + "&quot;/&gt;";
    return text + "</data></message>";
}

uint32_t nextRandom(uint32_t& seed)
{
    seed = seed * 1664525 + 1013904223;
    return seed >> 8;
}

std::string keyFrameBody()
{
    // A video key frame of 120 x 90: type, size, then three bytes a pixel of soft bars with
    // camera noise.
    std::string frame = {'\x01', '\x00', '\x78', '\x00', '\x5a'};
    uint32_t seed = 99;
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x)
            for (int c = 0; c < 3; ++c)
                frame += static_cast<char>((x / 15 * 37 + c * 60 + y) % 256 + nextRandom(seed) % 3);
    return frame;
}

std::string deltaFrameBody()
{
    // A delta frame's change runs: a start index, a count, then the pixels of a moving edge.
    std::string frame = {'\x02', '\x00', '\x00', '\x00'};
    uint32_t seed = 5;
    for (int run = 0; run < 30; ++run) {
        const int start = run * 120 + 40;
        frame += {static_cast<char>(start >> 16), static_cast<char>(start >> 8), static_cast<char>(start), '\x00',
                  '\x18'};
        for (int i = 0; i < 24 * 3; ++i)
            frame += static_cast<char>(200 + nextRandom(seed) % 9);
    }
    return frame;
}

std::string noiseBody(int length)
{
    std::string noise;
    uint32_t seed = 7;
    for (int i = 0; i < length; ++i)
        noise += static_cast<char>(nextRandom(seed));
    return noise;
}

const std::vector<std::pair<std::string, std::string>>& bodies()
{
    static const std::vector<std::pair<std::string, std::string>> all = {
        {"text", textBody()},
        {"key-frame", keyFrameBody()},
        {"delta-frame", deltaFrameBody()},
        {"threshold", std::string(300, 'a')},  // the shortest body that is compressed
        {"below", std::string(299, 'a')},      // one byte short: never compressed
        {"noise", noiseBody(4000)},           // does not get shorter: sent as it is
    };
    return all;
}

std::string fixturePath(const std::string& name)
{
    return std::string(ORVANE_WIRE_FIXTURES) + "/" + name + ".bin";
}

bool recording()
{
    const char* record = std::getenv("ORVANE_RECORD_WIRE_FIXTURES");
    return record && std::string(record) == "1";
}

// Compares the frame with its fixture (or records it).
void expectFixture(const std::string& name, const std::string& frame)
{
    if (recording()) {
        std::ofstream(fixturePath(name), std::ios::binary) << frame;
        return;
    }
    std::ifstream in(fixturePath(name), std::ios::binary);
    ASSERT_TRUE(in) << "no fixture " << fixturePath(name);
    const std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(frame.size(), expected.size()) << name;
    EXPECT_TRUE(frame == expected) << name << ": the bytes on the wire changed";
}

std::string packetBytes(Packet& packet, const std::string& body)
{
    packet.write(body.data(), static_cast<int>(body.size()));
    const ByteArray& out = packet.getOutgoing();
    return std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(out.count()));
}

std::string messageBytes(const std::string& body)
{
    Message message(250);
    EXPECT_TRUE(message.build(2, 3003, 0, 1001, 0, body.data(), static_cast<int>(body.size())));
    return std::string(reinterpret_cast<const char*>(message.outgoingData()),
                       static_cast<size_t>(message.outgoingLength()));
}

} // namespace

TEST(CompressedFrames, EveryBodyGoesOutAsTheRecordedBytesWhateverCameBeforeIt)
{
    // The frames pile up on the far side unread: a few tens of kilobytes.
    ConnectedPair pair = connectedPair();
    Packet packet(pair.client.get(), 250);
    // Twice round, the second time backwards: each body follows every other once.
    std::vector<std::pair<std::string, std::string>> order = bodies();
    order.insert(order.end(), bodies().rbegin(), bodies().rend());
    for (const auto& [name, body] : order) {
        SCOPED_TRACE(name);
        expectFixture("packet-" + name, packetBytes(packet, body));
        expectFixture("message-" + name, messageBytes(body));
    }
    // What the fixtures hold: compressed exactly where that was the rule.
    if (!recording()) {
        for (const auto& [name, body] : bodies()) {
            std::ifstream in(fixturePath("packet-" + name), std::ios::binary);
            char header[6] = {};
            in.read(header, sizeof header);
            const bool compressed = name != "below" && name != "noise";
            EXPECT_EQ(header[5], compressed ? 1 : 0) << name;
        }
    }
}

TEST(CompressedFrames, OneReaderInflatesTheRecordedFramesOneAfterAnother)
{
    if (recording())
        GTEST_SKIP() << "recording";
    std::string stream;
    std::vector<std::string> expected;
    for (int round = 0; round < 2; ++round)
        for (const auto& [name, body] : bodies()) {
            std::ifstream in(fixturePath("packet-" + name), std::ios::binary);
            stream.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            expected.push_back(body);
        }
    // Cut into arrivals of an awkward size, as a socket may deliver them.
    ByteBufferSource source(stream.data(), static_cast<int>(stream.size()), 1377);
    Packet packet(250);
    packet.setSource(&source);
    for (const std::string& body : expected) {
        ByteArray out;
        packet.read(out);
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(out.count())) == body);
    }
    EXPECT_EQ(source.remaining(), 0);

    // The server link's reader likewise.
    std::string messages;
    for (int round = 0; round < 2; ++round)
        for (const auto& [name, body] : bodies()) {
            std::ifstream in(fixturePath("message-" + name), std::ios::binary);
            messages.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    ByteBufferSource messageSource(messages.data(), static_cast<int>(messages.size()), 977);
    Message reader(250);
    reader.setSource(&messageSource);
    for (const std::string& body : expected) {
        reader.read();
        ASSERT_TRUE(reader.isComplete());
        ByteArray out;
        ASSERT_TRUE(reader.getBody(out));
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(out.data()), static_cast<size_t>(out.count())) == body);
    }
    EXPECT_EQ(messageSource.remaining(), 0);
}
