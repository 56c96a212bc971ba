// The peer links' frame against fixtures written out by hand from its layout ('&', the body
// length in four bytes, the compressed flag, the body); compressed bodies are checked by
// inflating them with zlib itself.

#include "core/channels/Packet.h"

#include "foundation/XmlNode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <chrono>
#include <deque>
#include <thread>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

using namespace orvane;

namespace {

std::string header(uint32_t length, uint8_t compressed)
{
    std::string h = "&";
    for (int shift = 24; shift >= 0; shift -= 8)
        h += static_cast<char>((length >> shift) & 0xff);
    h += static_cast<char>(compressed);
    return h;
}

// A connected pair of stream sockets: the packet writes on one, the test reads the other.
struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0); }
    ~SocketPair()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    std::string drain()
    {
        std::string out;
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::recv(fds[1], buffer, sizeof buffer, MSG_DONTWAIT);
            if (n <= 0)
                break;
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }
};

std::string written(const void* data, int length, Packet& packet, SocketPair& pair)
{
    packet.setSocket(pair.fds[0]);
    packet.write(data, length);
    return pair.drain();
}

std::string inflated(const std::string& body)
{
    std::string out(1 << 20, '\0');
    uLongf size = out.size();
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
                         body.size()),
              Z_OK);
    out.resize(size);
    return out;
}

// Hands out scripted arrivals; an empty one is a time-out (nothing came in time).
class ScriptedSource : public Packet::Source {
public:
    explicit ScriptedSource(std::deque<std::string> arrivals) : arrivals_(std::move(arrivals)) {}
    int receive(void* buffer, int length, int) override
    {
        if (arrivals_.empty())
            throw NoConnectionException();
        std::string& next = arrivals_.front();
        if (next.empty()) {
            arrivals_.pop_front();
            return 0;
        }
        const int n = std::min(length, static_cast<int>(next.size()));
        std::memcpy(buffer, next.data(), static_cast<size_t>(n));
        next.erase(0, static_cast<size_t>(n));
        if (next.empty())
            arrivals_.pop_front();
        return n;
    }

private:
    std::deque<std::string> arrivals_;
};

std::string readText(Packet& packet)
{
    String text;
    packet.read(text);
    return std::string(text.c_str(), static_cast<size_t>(text.length()));
}

} // namespace

TEST(Packet, WritesOneFrameAndCompressesOnlyWhatGetsShorter)
{
    SocketPair pair;
    Packet packet(250);
    const std::string short299(299, 'a');
    EXPECT_EQ(written(short299.data(), 299, packet, pair), header(299, 0) + short299);

    const std::string long300(300, 'a');
    const std::string frame = written(long300.data(), 300, packet, pair);
    ASSERT_GT(frame.size(), 6u);
    EXPECT_EQ(frame.substr(0, 6), header(static_cast<uint32_t>(frame.size() - 6), 1));
    EXPECT_EQ(inflated(frame.substr(6)), long300);

    // Bytes that do not compress go as they are, however long.
    std::string noise;
    uint32_t seed = 7;
    for (int i = 0; i < 5000; ++i) {
        seed = seed * 1664525 + 1013904223;
        noise += static_cast<char>(seed >> 24);
    }
    EXPECT_EQ(written(noise.data(), 5000, packet, pair), header(5000, 0) + noise);

    // Nothing for nothing; the compact form for a node.
    EXPECT_EQ(written(nullptr, 5, packet, pair), "");
    EXPECT_EQ(written("x", 0, packet, pair), "");
    XmlNode node("packet");
    node.addChild("command", "CONNECT_DIRECT");
    packet.write(node);
    EXPECT_EQ(pair.drain(), header(34, 0) + "<packet command=\"CONNECT_DIRECT\"/>");

    Packet unconnected(250);
    EXPECT_THROW(unconnected.write("x"), SocketException);
}

TEST(Packet, ReadsFramesAcrossArrivalsOfAnySize)
{
    const std::string stream = header(5, 0) + "hello" + header(0, 0) + header(3, 0) + "abc";
    for (int chunk = 1; chunk <= 8; ++chunk) {
        SCOPED_TRACE(chunk);
        ByteBufferSource source(stream.data(), static_cast<int>(stream.size()), chunk);
        Packet packet(250);
        packet.setSource(&source);
        EXPECT_EQ(readText(packet), "hello");
        EXPECT_EQ(readText(packet), "") << "a length of 0 is an empty frame";
        EXPECT_EQ(readText(packet), "abc");
        EXPECT_THROW(readText(packet), NoConnectionException);
    }
}

TEST(Packet, ATimeOutKeepsThePartialFrame)
{
    // The body arrives in two parts with a time-out between them, and so does a header.
    ScriptedSource source({header(10, 0) + "01234", "", "56789" + header(2, 0).substr(0, 3), "",
                           header(2, 0).substr(3) + "ok"});
    Packet packet(0);
    packet.setSource(&source);
    EXPECT_THROW(readText(packet), TimeoutException);
    EXPECT_EQ(readText(packet), "0123456789");
    EXPECT_THROW(readText(packet), TimeoutException);
    EXPECT_EQ(readText(packet), "ok");
}

TEST(Packet, ABadFirstByteCostsSixBytesAndTheNextFrameReadsWell)
{
    const std::string stream = "#12345" + header(2, 0) + "ok";
    ByteBufferSource source(stream.data(), static_cast<int>(stream.size()));
    Packet packet(250);
    packet.setSource(&source);
    EXPECT_THROW(readText(packet), Packet::FormatException);
    EXPECT_EQ(source.remaining(), 8);
    EXPECT_EQ(readText(packet), "ok");
}

TEST(Packet, LengthsBeyondTheCapAreRefusedBeforeAnythingIsAllocated)
{
    const struct {
        const char* name;
        uint32_t length;
        int cap;
        bool refused;
    } cases[] = {
        {"the largest frame", 1000, 1000, false},
        {"one byte more", 1001, 1000, true},
        {"2^31", 0x80000000u, Packet::DefaultMaxBodyLength, true},
        {"all ones", 0xffffffffu, Packet::DefaultMaxBodyLength, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Only the header and a few bytes: a reader that allocated first would wait for more.
        const std::string stream = header(c.length, 0) + std::string(c.refused ? 0 : c.length, 'z');
        ByteBufferSource source(stream.data(), static_cast<int>(stream.size()));
        Packet packet(250);
        packet.maxBodyLength = c.cap;
        packet.setSource(&source);
        if (c.refused) {
            EXPECT_THROW(readText(packet), Packet::FormatException);
        } else {
            EXPECT_EQ(readText(packet).size(), c.length);
        }
    }
}

TEST(Packet, CompressedBodiesInflateWithinTheCap)
{
    // 5000 'x' through zlib.
    const std::string big(5000, 'x');
    std::string deflated(100, '\0');
    uLongf size = deflated.size();
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(deflated.data()), &size, reinterpret_cast<const Bytef*>(big.data()),
                        big.size(), Z_DEFAULT_COMPRESSION),
              Z_OK);
    deflated.resize(size);
    const std::string stream = header(static_cast<uint32_t>(size), 1) + deflated +
                               header(static_cast<uint32_t>(size), 7) + deflated + header(4, 1) + "junk";
    ByteBufferSource source(stream.data(), static_cast<int>(stream.size()));
    Packet packet(250);
    packet.setSource(&source);
    EXPECT_EQ(readText(packet), big);
    // Any non-zero flag means compressed; a cap below the inflated size gives nothing.
    packet.maxBodyLength = 4999;
    EXPECT_EQ(readText(packet), "");
    // A corrupt body is empty, not an error.
    EXPECT_EQ(readText(packet), "");
}

TEST(Packet, ReadsARealSocketAndWaitsWithoutLimitWhenTold)
{
    SocketPair pair;
    Packet reader(pair.fds[1], -1);
    Packet writer(pair.fds[0], 250);
    std::thread late([&writer] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        writer.write("late");
    });
    EXPECT_EQ(readText(reader), "late");
    late.join();
    reader.timeoutMs = 0;
    EXPECT_THROW(readText(reader), TimeoutException);
}
