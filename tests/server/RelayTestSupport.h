#pragma once

// Helpers for the channel relay's tests: the frames a client sends (a command of the server
// link, the join frame of the TCP relay, a relay datagram) laid out here byte by byte from
// their layouts, apart from the server's own frame code; the fields of the replies; and a
// UDP socket on loopback.

#include "ServerTestSupport.h"
#include "tests/support/RawLoopback.h"

#include "foundation/XmlNode.h"

#include <zlib.h>

#include <chrono>
#include <map>
#include <string>

namespace orvane::testing {

inline void putBig(Bytes& out, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline Bytes deflated(const std::string& text)
{
    uLongf length = compressBound(static_cast<uLong>(text.size()));
    Bytes out(length);
    EXPECT_EQ(compress2(out.data(), &length, reinterpret_cast<const Bytef*>(text.data()),
                        static_cast<uLong>(text.size()), 9),
              Z_OK);
    out.resize(length);
    return out;
}

inline std::string inflated(const uint8_t* data, size_t length)
{
    std::string out(1 << 20, '\0');
    uLongf produced = out.size();
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(&out[0]), &produced, data, static_cast<uLong>(length)), Z_OK);
    out.resize(produced);
    return out;
}

// A type-10 frame of the server link from `sender` to the server (recipient 0): '#', the
// type, the compressed flag, recipient (40 bits) and its connection (16), sender (40) and
// its connection (16), the body's length (32), the body.
inline Bytes commandFrame(uint64_t sender, const std::string& body, bool compressed = false)
{
    const Bytes wire = compressed ? deflated(body) : text(body);
    Bytes frame{'#', 10, static_cast<uint8_t>(compressed ? 1 : 0)};
    putBig(frame, 0, 5);
    putBig(frame, 0, 2);
    putBig(frame, sender, 5);
    putBig(frame, 0, 2);
    putBig(frame, wire.size(), 4);
    return frame + wire;
}

// One frame of the server link as a client takes it apart.
struct LinkFrame {
    int type = -1;
    uint64_t recipient = 0;
    std::string body;
};

inline LinkFrame linkFrame(const Bytes& bytes)
{
    LinkFrame frame;
    if (bytes.size() < 21)
        return frame;
    frame.type = bytes[1];
    for (int i = 3; i < 8; ++i)
        frame.recipient = (frame.recipient << 8) | bytes[i];
    if (bytes[2])
        frame.body = inflated(bytes.data() + 21, bytes.size() - 21);
    else
        frame.body.assign(bytes.begin() + 21, bytes.end());
    return frame;
}

// The attributes (leaf children) of an XML body, by name.
inline std::map<std::string, std::string> fieldsOf(const std::string& body)
{
    XmlNode node;
    EXPECT_TRUE(node.parse(body.c_str())) << body;
    std::map<std::string, std::string> fields;
    for (const XmlNode* child : node.children)
        fields[child->name.c_str()] = child->value.c_str();
    return fields;
}

// The join frame of the TCP relay: '&', the body's length (32 bits), the compressed flag,
// the body.
inline Bytes packetFrame(const std::string& body, bool compressed = false)
{
    const Bytes wire = compressed ? deflated(body) : text(body);
    Bytes frame{'&'};
    putBig(frame, wire.size(), 4);
    frame.push_back(compressed ? 1 : 0);
    return frame + wire;
}

inline Bytes joinFrame(int64_t sessionId, bool compressed = false)
{
    return packetFrame("<message command=\"JOIN_TCP_CHANNEL\" session_id=\"" + std::to_string(sessionId) + "\"/>",
                       compressed);
}

// The relay's uncompressed answer to a join.
inline Bytes joinAnswer(const char* response)
{
    return packetFrame(std::string("<message response=\"") + response + "\"/>");
}

// A relay datagram: '~', type, two zero bytes, the recipient's connection id (32 bits), the
// relay session (32), the sender's user id (64), the recipient's (64), the payload.
inline Bytes relayDatagram(uint32_t sessionId, uint64_t sender, uint64_t recipient, const std::string& payload)
{
    Bytes d{'~', 7, 0, 0};
    putBig(d, 0x01020304, 4);
    putBig(d, sessionId, 4);
    putBig(d, sender, 8);
    putBig(d, recipient, 8);
    return d + text(payload);
}

// A UDP socket on 127.0.0.1 at a port the system picks.
class UdpPeer {
public:
    UdpPeer()
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopbackAddress(0);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
    ~UdpPeer() { ::close(fd_); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    void sendTo(uint16_t port, const Bytes& datagram)
    {
        sockaddr_in a = loopbackAddress(port);
        EXPECT_EQ(::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
                  static_cast<ssize_t>(datagram.size()));
    }
    // The next datagram, or false when none came in time.
    bool receive(Bytes& out, int timeoutMs = 3000)
    {
        if (!readableBefore(fd_, std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)))
            return false;
        out.resize(65536);
        const ssize_t n = ::recv(fd_, out.data(), out.size(), 0);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return n >= 0;
    }

private:
    int fd_ = -1;
};

} // namespace orvane::testing
