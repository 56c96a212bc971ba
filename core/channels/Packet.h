#pragma once

#include "core/FrameCodec.h"
#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

class XmlNode;

// The frame of every TCP link between two peers: the channel set-up records, then every
// unit a module sends through its channel. A 6-byte header, then the body:
//
//   0  '&'      1  body length as it stands on the wire (32 bits, big-endian)
//   5  compressed (non-zero: the body is a zlib stream)      6  body
//
// It carries no addressing: a peer link joins exactly two programs. Writing sends one frame
// in one send; reading collects one frame across as many calls as it takes, each bounded by
// the time-out, and keeps a partial frame across a time-out.
//
// The peer decides every length the reader sees, so the reader refuses a body longer than
// maxBodyLength before it allocates anything, and inflation stops at the same bound.
class Packet {
public:
    ORVANE_EXCEPTION(FormatException, Exception);
    using Source = FrameSource;

    static constexpr int HeaderSize = 6;
    static constexpr uint8_t Magic = '&';
    // The largest body a peer link carries, on the wire and inflated.
    static constexpr int DefaultMaxBodyLength = 16 * 1024 * 1024;
    static constexpr int DefaultCompressionThreshold = 300;

    explicit Packet(int timeoutMs);
    // A frame on the socket's handle; the socket stays the caller's to close.
    Packet(SocketHandle socket, int timeoutMs);
    virtual ~Packet();
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;

    void setSocket(SocketHandle socket) { socket_ = socket; }
    SocketHandle getSocket() const { return socket_; }
    // A source to read instead of the socket (NULL: the socket again). Not owned.
    void setSource(Source* source) { source_ = source; }

    // One frame in one send of all its bytes; NULL data or a length <= 0 sends nothing. No
    // socket: SocketException; the socket layer's exceptions pass through.
    void write(const void* data, int length);
    // The same with a zero-terminated text (NULL or "" sends nothing).
    void write(const char* text);
    // The same with the node's compact form, empty elements self-closing.
    void write(const XmlNode& node);

    // Reads one frame and gives its body, inflated when flagged; a header with length 0 is
    // a frame with an empty body. A time-out (TimeoutException) keeps the partial frame for
    // the next call. A header that does not begin with '&', or that announces a body longer
    // than maxBodyLength, is a FormatException after exactly 6 bytes were taken. A
    // compressed body that does not inflate within maxBodyLength gives an empty body. A
    // closed or failing connection raises the socket layer's exception unchanged.
    void read(ByteArray& out);
    void read(String& out);
    // Empties the node, reads one frame and parses its text into it; false when the text
    // did not parse (what was read stays).
    bool read(XmlNode& node);

    // The frame laid out by the last write, header and body.
    const ByteArray& getOutgoing() const { return outgoing_; }
    bool isCompressed() const { return compressed_; }
    int getBodyLength() const { return bodyLength_; }

    bool compressionEnabled = true;
    int compressionThreshold = DefaultCompressionThreshold;
    // Reader time-out in milliseconds; negative waits without limit.
    int timeoutMs;
    int maxBodyLength = DefaultMaxBodyLength;

private:
    void resetIncoming();
    int receiveBefore(uint8_t* buffer, int length);

    SocketHandle socket_ = NoSocket;
    Source* source_ = nullptr;
    ByteArray compressionBuffer_;
    // zlib's state, kept for the connection's life rather than made for every body.
    FrameDeflater deflater_;
    FrameInflater inflater_;
    ByteArray outgoing_;
    ByteArray incoming_;
    int bodyBytesRead_ = 0;
    int64_t deadline_ = 0;
    bool compressed_ = false;
    int bodyLength_ = 0;
};

} // namespace orvane
