// The server link's frame against byte fixtures written out by hand from the frame layout
// (compressed bodies come from an independent zlib front end or are stored blocks written
// by hand), so that the builder and the reader cannot share a misreading.

#include "core/Message.h"

#include "foundation/XmlNode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>
#include <zlib.h>

using namespace orvane;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes outgoingOf(const Message& m)
{
    return Bytes(m.outgoingData(), m.outgoingData() + m.outgoingLength());
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes repeated(uint8_t byte, size_t n)
{
    return Bytes(n, byte);
}

std::string bodyText(const Message& m)
{
    String s;
    EXPECT_TRUE(m.getBody(s));
    return std::string(s.c_str(), static_cast<size_t>(s.length()));
}

Bytes bodyBytes(const Message& m)
{
    ByteArray out;
    EXPECT_TRUE(m.getBody(out));
    return Bytes(out.begin(), out.end());
}

// "A" x 300 through zlib at the default level.
const Bytes deflated300A = {0x78, 0x9c, 0x73, 0x74, 0x1c, 0x05, 0xc4, 0x02, 0x00, 0xcb, 0x9e, 0x4c, 0x2d};
// "x" x 5000 through zlib at the default level: 28 bytes that inflate to 5000.
const Bytes deflated5000x = {0x78, 0x9c, 0xed, 0xc1, 0x31, 0x01, 0x00, 0x00, 0x00, 0xc2,
                             0xa0, 0xda, 0x8b, 0x6f, 0x0a, 0x3f, 0xa0, 0x00, 0x00, 0x00,
                             0x00, 0x80, 0xb7, 0x01, 0x14, 0x16, 0x28, 0x48};
// "hello" as a zlib stream of one stored block: header, block of 5 bytes, Adler-32.
const Bytes storedHello = {0x78, 0x01, 0x01, 0x05, 0x00, 0xfa, 0xff, 'h', 'e', 'l', 'l', 'o',
                           0x06, 0x2c, 0x02, 0x15};

// 300 bytes of xorshift noise, which zlib cannot shorten.
Bytes noise300()
{
    Bytes out;
    uint32_t s = 0x12345678;
    for (int i = 0; i < 300; ++i) {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        out.push_back(static_cast<uint8_t>(s));
    }
    return out;
}

// Reads one frame from the bytes.
Message readOne(const Bytes& wire, int chunk = 0)
{
    ByteBufferSource source(wire.data(), static_cast<int>(wire.size()), chunk);
    Message m;
    m.setSource(&source);
    m.read();
    m.setSource(nullptr);
    return m;
}

} // namespace

TEST(MessageBuild, LaysOutTheHeaderByteForByte)
{
    Message m;
    ASSERT_TRUE(m.build(2, 0x0102030405ull, 0, 7, 0, "<m/>"));
    const Bytes expected = {
        '#', 0x02, 0x00,                    // magic, type, not compressed
        0x01, 0x02, 0x03, 0x04, 0x05,       // recipient id, 40 bits
        0x00, 0x00,                         // recipient connection
        0x00, 0x00, 0x00, 0x00, 0x07,       // sender id
        0x00, 0x00,                         // sender connection
        0x00, 0x00, 0x00, 0x04,             // body length
        '<', 'm', '/', '>',
    };
    EXPECT_EQ(outgoingOf(m), expected);
    EXPECT_EQ(m.type, 2);
    EXPECT_EQ(m.recipientId, 0x0102030405ull);
    EXPECT_EQ(m.senderId, 7u);
}

TEST(MessageBuild, IdsTravelAsTheirLowFortyBitsAndConnectionsAsSixteen)
{
    Message m;
    ASSERT_TRUE(m.build(10, (1ull << 40) + 5, 0x12345, 0xFFFFFFFFFFFFFFFFull, 0xBEEF, "x"));
    const Bytes expected = {
        '#', 10, 0,
        0x00, 0x00, 0x00, 0x00, 0x05,
        0x23, 0x45,
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xBE, 0xEF,
        0x00, 0x00, 0x00, 0x01,
        'x',
    };
    EXPECT_EQ(outgoingOf(m), expected);

    // The reader widens them back with the upper bits zero.
    Message r = readOne(expected);
    EXPECT_EQ(r.recipientId, 5u);
    EXPECT_EQ(r.recipientConnection, 0x2345u);
    EXPECT_EQ(r.senderId, 0xFFFFFFFFFFull);
    EXPECT_EQ(r.senderConnection, 0xBEEFu);
}

TEST(MessageBuild, CompressesFromThreeHundredBytesOnlyWhenThatIsShorter)
{
    Message m;

    // 299 bytes: never compressed.
    const Bytes a299 = repeated('A', 299);
    ASSERT_TRUE(m.build(2, 1, 0, 2, 0, a299.data(), 299));
    EXPECT_EQ(outgoingOf(m),
              concat({{'#', 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0x00, 0x00, 0x01, 0x2B}, a299}));

    // 300 bytes that shrink: zlib's default-level stream, flag 1, the compressed length.
    const Bytes a300 = repeated('A', 300);
    ASSERT_TRUE(m.build(2, 1, 0, 2, 0, a300.data(), 300));
    EXPECT_EQ(outgoingOf(m),
              concat({{'#', 2, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0x00, 0x00, 0x00, 0x0D},
                      deflated300A}));

    // 300 bytes of noise do not shrink: sent as they are, flag 0.
    const Bytes noise = noise300();
    ASSERT_TRUE(m.build(3, 1, 0, 2, 0, noise.data(), 300));
    EXPECT_EQ(outgoingOf(m),
              concat({{'#', 3, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0x00, 0x00, 0x01, 0x2C}, noise}));

    // Compression switched off.
    m.compressionEnabled = false;
    ASSERT_TRUE(m.build(2, 1, 0, 2, 0, a300.data(), 300));
    EXPECT_EQ(m.outgoingLength(), 321);
    EXPECT_EQ(m.outgoingData()[2], 0);
}

TEST(MessageBuild, NothingToSendLeavesTheObjectAsItWas)
{
    Message m;
    ASSERT_TRUE(m.build(2, 11, 0, 22, 0, "first"));
    const Bytes before = outgoingOf(m);

    EXPECT_FALSE(m.build(10, 99, 0, 98, 0, static_cast<const void*>(nullptr), 5));
    EXPECT_FALSE(m.build(10, 99, 0, 98, 0, "abc", 0));
    EXPECT_FALSE(m.build(10, 99, 0, 98, 0, "abc", -1));
    EXPECT_FALSE(m.build(10, 99, 0, 98, 0, ""));
    EXPECT_FALSE(m.build(10, 99, 0, 98, 0, static_cast<const char*>(nullptr)));

    EXPECT_EQ(outgoingOf(m), before);
    EXPECT_EQ(m.type, 2);
    EXPECT_EQ(m.recipientId, 11u);
    EXPECT_EQ(m.senderId, 22u);
}

TEST(MessageBuild, FromAnXmlNodeInItsCompactForm)
{
    XmlNode node("xml");
    node.addChild("command", "ADD_CONTACT");
    node.addChild("contact_name", "a\"b<c");
    Message m;
    ASSERT_TRUE(m.build(10, 0, 0, 1000, 0, node));
    const std::string body = "<xml command=\"ADD_CONTACT\" contact_name=\"a&quot;b&lt;c\"/>";
    Bytes expected = {'#', 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0xE8, 0, 0,
                      0, 0, 0, static_cast<uint8_t>(body.size())};
    expected.insert(expected.end(), body.begin(), body.end());
    EXPECT_EQ(outgoingOf(m), expected);
}

TEST(MessageRead, ReadsHandWrittenFramesAndTheirBodies)
{
    // Plain text body.
    Message plain = readOne({'#', 101, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 'a', 'b', 'c'});
    EXPECT_TRUE(plain.isComplete());
    EXPECT_EQ(plain.type, 101);
    EXPECT_EQ(plain.recipientId, 9u);
    EXPECT_FALSE(plain.isCompressed());
    EXPECT_EQ(bodyText(plain), "abc");

    // A stored-block zlib body; any non-zero flag means compressed.
    Message stored = readOne(concat({{'#', 2, 0x07, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 16}, storedHello}));
    EXPECT_TRUE(stored.isCompressed());
    EXPECT_EQ(stored.getBodyLength(), 16);
    EXPECT_EQ(bodyText(stored), "hello");

    // A body that inflates to far more than four times its size is still decoded whole.
    Message big = readOne(concat({{'#', 2, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 28}, deflated5000x}));
    EXPECT_EQ(bodyBytes(big), repeated('x', 5000));

    // An empty body completes at once.
    Message empty = readOne({'#', 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(empty.isComplete());
    EXPECT_EQ(bodyBytes(empty), Bytes());

    // An XML body, read into a node that is emptied first.
    const std::string xml = "<message module_id=\"voice\" data=\"&lt;v/&gt;\"/>";
    Bytes wire = {'#', 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, static_cast<uint8_t>(xml.size())};
    wire.insert(wire.end(), xml.begin(), xml.end());
    Message withXml = readOne(wire);
    XmlNode node("stale", "value");
    node.addChild("old");
    EXPECT_TRUE(withXml.getBody(node));
    EXPECT_EQ(node.name, "message");
    EXPECT_EQ(node.childOrEmpty("module_id")->value, "voice");
    EXPECT_EQ(node.childOrEmpty("data")->value, "<v/>");
    EXPECT_EQ(node.findChild("old"), -1);
}

TEST(MessageRead, BuiltFramesReadBackInAnyPieces)
{
    const Bytes noise = noise300();
    Message a, b, c;
    a.build(2, 12, 0, 34, 0, "<message module_id=\"x\"/>");
    b.build(3, 56, 0, 78, 0, repeated('q', 4000).data(), 4000);
    c.build(6, 1, 0, 0, 0, noise.data(), 300);
    const Bytes wire = concat({outgoingOf(a), outgoingOf(b), outgoingOf(c)});

    for (int chunk : {0, 1, 7, 22, 1000}) {
        ByteBufferSource source(wire.data(), static_cast<int>(wire.size()), chunk);
        Message r;
        r.setSource(&source);
        r.read();
        EXPECT_EQ(r.type, 2);
        EXPECT_EQ(r.senderId, 34u);
        EXPECT_EQ(bodyText(r), "<message module_id=\"x\"/>");
        r.read();
        EXPECT_EQ(r.type, 3);
        EXPECT_TRUE(r.isCompressed());
        EXPECT_EQ(bodyBytes(r), repeated('q', 4000));
        // A copy is a frame of its own, the event queue keeps one.
        Message copy(r);
        r.read();
        EXPECT_EQ(r.type, 6);
        EXPECT_EQ(bodyBytes(r), noise);
        EXPECT_EQ(bodyBytes(copy), repeated('q', 4000));
        EXPECT_EQ(source.remaining(), 0);
        EXPECT_THROW(r.read(), NoConnectionException);
    }
}

TEST(MessageRead, ABadFirstByteConsumesExactlyTheHeader)
{
    // 21 bytes of a non-frame (with a plausible length in them), then a real frame.
    const Bytes wire = concat({{'$', 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 5},
                               {'#', 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 'o', 'k'}});
    ByteBufferSource source(wire.data(), static_cast<int>(wire.size()), 3);
    Message r;
    r.setSource(&source);
    EXPECT_THROW(r.read(), Message::FormatException);
    EXPECT_EQ(source.remaining(), 23);
    EXPECT_EQ(r.getState(), Message::StateIdle);
    ByteArray scratch;
    EXPECT_FALSE(r.getBody(scratch));
    r.read();
    EXPECT_EQ(bodyText(r), "ok");
}

TEST(MessageRead, LengthsAboveTheCapAreRefusedBeforeAnyAllocation)
{
    struct Case {
        uint8_t length[4];
        int cap;
        bool accepted;
    };
    const Case cases[] = {
        {{0x00, 0x10, 0x00, 0x01}, Message::DefaultMaxBodyLength, false}, // 1 MiB + 1
        {{0x7F, 0xFF, 0xFF, 0xFF}, Message::DefaultMaxBodyLength, false},
        {{0x80, 0x00, 0x00, 0x00}, Message::DefaultMaxBodyLength, false}, // negative as an int
        {{0xFF, 0xFF, 0xFF, 0xFF}, Message::DefaultMaxBodyLength, false},
        {{0x00, 0x00, 0x01, 0x01}, 256, false},
        {{0x00, 0x00, 0x01, 0x00}, 256, true},
        {{0x00, 0x10, 0x00, 0x00}, Message::DefaultMaxBodyLength, true}, // exactly 1 MiB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "cap " << c.cap << " length byte 0 " << int(c.length[0]));
        Bytes wire = {'#', 2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0,
                      c.length[0], c.length[1], c.length[2], c.length[3]};
        const uint32_t length = (uint32_t(c.length[0]) << 24) | (c.length[1] << 16) | (c.length[2] << 8) | c.length[3];
        if (c.accepted)
            wire.resize(wire.size() + length, 'z');
        else
            wire.insert(wire.end(), {'#', 'n', 'e', 'x', 't'});
        ByteBufferSource source(wire.data(), static_cast<int>(wire.size()), 4096);
        Message r;
        r.maxBodyLength = c.cap;
        r.setSource(&source);
        if (c.accepted) {
            r.read();
            EXPECT_EQ(r.getBodyLength(), static_cast<int>(length));
            continue;
        }
        EXPECT_THROW(r.read(), Message::FormatException);
        EXPECT_EQ(source.remaining(), 5); // only the header was taken
        EXPECT_LE(r.getIncoming().capacity(), Message::HeaderSize + 100);
        EXPECT_EQ(r.getState(), Message::StateIdle);
    }
}

TEST(MessageRead, InflatingIsBoundedByTheCap)
{
    const Bytes header = {'#', 2, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 28};
    const Bytes wire = concat({header, deflated5000x});

    // Exactly at the cap inflates; one byte less of room refuses it and leaves no body.
    Message r = readOne(wire);
    r.maxBodyLength = 5000;
    EXPECT_EQ(bodyBytes(r).size(), 5000u);
    r.maxBodyLength = 4999;
    ByteArray out;
    out.write(0, "stale", 5);
    EXPECT_FALSE(r.getBody(out));
    EXPECT_EQ(out.count(), 0);
    String text("stale");
    EXPECT_FALSE(r.getBody(text));
    EXPECT_TRUE(text.isEmpty());

    // A small frame that would inflate to 16 MiB, with the link's default cap.
    const uLong bombSize = 16ul << 20;
    Bytes zeros(bombSize, 0);
    uLongf packedSize = compressBound(bombSize);
    Bytes packed(packedSize);
    ASSERT_EQ(compress2(packed.data(), &packedSize, zeros.data(), bombSize, 9), Z_OK);
    packed.resize(packedSize);
    zeros = Bytes();
    ASSERT_LT(packed.size(), 100000u);
    Bytes bomb = {'#', 2, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0,
                  static_cast<uint8_t>(packed.size() >> 16), static_cast<uint8_t>(packed.size() >> 8),
                  static_cast<uint8_t>(packed.size())};
    bomb.insert(bomb.end(), packed.begin(), packed.end());
    Message b = readOne(bomb);
    EXPECT_TRUE(b.isComplete());
    ByteArray inflated;
    EXPECT_FALSE(b.getBody(inflated));
    EXPECT_EQ(inflated.count(), 0);
    EXPECT_LE(inflated.capacity(), Message::DefaultMaxBodyLength + 1);
}

TEST(MessageRead, ACorruptCompressedBodyGivesAnEmptyBodyButAFrame)
{
    const std::vector<Bytes> bodies = {
        {0x78, 0x9c, 0xff, 0xff, 0xff, 0xff},                                   // bad deflate data
        Bytes(storedHello.begin(), storedHello.end() - 1),                     // truncated checksum
        {0x78, 0x01, 0x01, 0x05, 0x00, 0xfa, 0xff, 'h', 'e', 'l', 'l', 'o', 0, 0, 0, 0}, // bad Adler-32
        {'p', 'l', 'a', 'i', 'n'},                                             // not zlib at all
        {},                                                                    // nothing to inflate
    };
    for (const Bytes& body : bodies) {
        Bytes wire = {'#', 2, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, static_cast<uint8_t>(body.size())};
        wire.insert(wire.end(), body.begin(), body.end());
        Message r = readOne(wire);
        EXPECT_TRUE(r.isComplete());
        XmlNode node("kept");
        EXPECT_FALSE(r.getBody(node));
        EXPECT_TRUE(node.name.isEmpty());
        ByteArray out;
        EXPECT_FALSE(r.getBody(out));
        EXPECT_EQ(out.count(), 0);
    }
    // Bytes after the end of the stream do not matter.
    Bytes trailing = concat({storedHello, {'!', '!'}});
    Bytes wire = {'#', 2, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, static_cast<uint8_t>(trailing.size())};
    wire.insert(wire.end(), trailing.begin(), trailing.end());
    EXPECT_EQ(bodyText(readOne(wire)), "hello");
}

TEST(MessageRead, NeedsASocketOrASource)
{
    Message r;
    EXPECT_THROW(r.read(), SocketException);
    EXPECT_EQ(r.getState(), Message::StateIdle);
    ByteArray out;
    EXPECT_FALSE(r.getBody(out));
}
