#pragma once

#include "core/FrameCodec.h"
#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

class XmlNode;

// The frame of the client-server link: a 21-byte header beginning with '#', then the body.
//
//   0  '#'          1  type          2  compressed (non-zero: the body is a zlib stream)
//   3  recipient id, low 40 bits     8  recipient connection (16 bits)
//  10  sender id, low 40 bits       15  sender connection (16 bits)
//  17  body length as it stands on the wire (32 bits)             21  body
//
// Multi-byte fields are big-endian. One object serves both directions: build lays out an
// outgoing frame in one buffer to be written with one send; read collects an incoming
// frame across as many calls as it takes, each bounded by the time-out, so a reader that
// polls its socket loses nothing when a frame arrives in pieces.
//
// A peer decides every length the reader sees, so the reader refuses a body longer than
// maxBodyLength before it allocates anything, and inflating a compressed body stops at the
// same bound.
class Message {
public:
    class FormatException : public Exception {
    public:
        FormatException() = default;
        FormatException(const FormatException&) = default;
        FormatException& operator=(const FormatException&) = default;
        ~FormatException() override;
    };

    // Where a reader takes its bytes from instead of the socket (see FrameSource).
    using Source = FrameSource;

    static constexpr int HeaderSize = 21;
    static constexpr uint8_t Magic = '#';
    // The largest body the server link carries, on the wire and inflated.
    static constexpr int DefaultMaxBodyLength = 1 << 20;
    static constexpr int DefaultTimeoutMs = 250;
    static constexpr int DefaultCompressionThreshold = 300;

    // Reader states.
    enum : uint8_t { StateIdle = 0, StateHeader = 1, StateBody = 2, StateComplete = 3 };

    explicit Message(int timeoutMs = DefaultTimeoutMs);
    // A reader of the socket's handle; the socket stays the caller's to close.
    Message(const Socket& socket, int timeoutMs);
    Message(SocketHandle socket, int timeoutMs);
    Message(const Message&) = default;
    Message& operator=(const Message&) = default;
    virtual ~Message();

    void setSocket(SocketHandle socket) { socket_ = socket; }
    SocketHandle getSocket() const { return socket_; }
    // A source to read instead of the socket (NULL: the socket again). Not owned.
    void setSource(Source* source) { source_ = source; }

    // Lays out one frame in the outgoing buffer: the body compressed when compression is
    // enabled, the length is at least compressionThreshold and zlib makes it shorter.
    // NULL data or a length <= 0 builds nothing and leaves the object as it was (false).
    bool build(uint8_t type, uint64_t recipientId, uint64_t recipientConnection, uint64_t senderId,
               uint64_t senderConnection, const void* data, int length);
    // The same with a zero-terminated text; NULL or "" builds nothing.
    bool build(uint8_t type, uint64_t recipientId, uint64_t recipientConnection, uint64_t senderId,
               uint64_t senderConnection, const char* text);
    // The same with the node's compact form (empty elements self-closing).
    bool build(uint8_t type, uint64_t recipientId, uint64_t recipientConnection, uint64_t senderId,
               uint64_t senderConnection, const XmlNode& node);

    // The built frame, header and body, ready to send.
    const uint8_t* outgoingData() const { return outgoing_.data(); }
    int outgoingLength() const { return outgoing_.count(); }
    // Writes the built frame with one send (the socket layer's exceptions pass through).
    void write(SocketHandle socket) const;

    // Reads until one frame is complete. A time-out (TimeoutException) keeps the partial
    // frame for the next call. A header that does not begin with '#', or that announces a
    // body longer than maxBodyLength, is a FormatException after exactly 21 bytes were
    // taken; nothing resynchronises, the next read takes the next 21 bytes as a header.
    // No socket and no source: SocketException. A closed or failing connection raises the
    // socket layer's exception (or the source's) unchanged.
    void read();

    // The body of the complete incoming frame, inflated when flagged. False, with `out`
    // emptied, when no frame is complete or the body does not inflate within
    // maxBodyLength bytes (a corrupt or oversized compressed body).
    bool getBody(ByteArray& out) const;
    bool getBody(String& out) const;
    // Empties the node (no name, no value, no children) and parses the body into it.
    // False when the body could not be had or did not parse; what the parser read stays.
    bool getBody(XmlNode& node) const;

    uint8_t getState() const { return state_; }
    bool isComplete() const { return state_ == StateComplete; }
    // Of the received header.
    bool isCompressed() const { return compressed_; }
    int getBodyLength() const { return bodyLength_; }
    // The incoming frame as received so far: header, then the body as on the wire.
    const ByteArray& getIncoming() const { return incoming_; }

    // Settings; see the constructor for their defaults.
    bool compressionEnabled = true;
    int compressionThreshold = DefaultCompressionThreshold;
    // Reader time-out in milliseconds; negative waits without limit.
    int timeoutMs;
    // Bound on the body length of a received frame and on its inflated length.
    int maxBodyLength = DefaultMaxBodyLength;

    // The frame's header: of the received frame, or of the last build. Ids travel as their
    // low 40 bits and connection numbers as their low 16 bits.
    uint8_t type = 0;
    uint64_t recipientId = 0;
    uint64_t recipientConnection = 0;
    uint64_t senderId = 0;
    uint64_t senderConnection = 0;

private:
    void resetIncoming();
    void decodeHeader();
    // Up to length bytes before the deadline; TimeoutException once it has passed.
    int receiveBefore(uint8_t* buffer, int length);

    SocketHandle socket_ = NoSocket;
    Source* source_ = nullptr;
    uint8_t state_ = StateIdle;
    ByteArray compressionBuffer_;
    ByteArray outgoing_;
    ByteArray incoming_;
    int bodyBytesRead_ = 0;
    int64_t deadline_ = 0;
    bool compressed_ = false;
    int bodyLength_ = 0;
};

} // namespace orvane
