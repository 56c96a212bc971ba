#include "core/Message.h"

#include "foundation/Clock.h"
#include "foundation/XmlNode.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace orvane {

Message::FormatException::~FormatException() = default;

namespace {

// Each of the frame's arrays grows by this much beyond what it needs.
constexpr int ArrayGrowBy = 100;
// A reader that once took a large frame gives the room back when the next one starts, so
// an idle connection does not keep a megabyte.
constexpr int KeptIncomingCapacity = 64 * 1024;

} // namespace

Message::Message(int timeout)
    : timeoutMs(timeout),
      compressionBuffer_(ArrayGrowBy),
      outgoing_(ArrayGrowBy),
      incoming_(ArrayGrowBy)
{
    incoming_.setCapacity(HeaderSize);
}

Message::Message(const Socket& socket, int timeout) : Message(socket.handle, timeout) {}

Message::Message(SocketHandle socket, int timeout) : Message(timeout)
{
    socket_ = socket;
}

Message::~Message() = default;

// ---- building -------------------------------------------------------------------------------

namespace {

// Every outgoing frame is a Message of its own, built on whichever thread has something to
// send, and received frames are read from the event queue's copies: zlib's state is kept
// per thread instead of per object, so it is made once, not for every body.
FrameDeflater& threadDeflater()
{
    thread_local FrameDeflater deflater;
    return deflater;
}

FrameInflater& threadInflater()
{
    thread_local FrameInflater inflater;
    return inflater;
}

} // namespace

bool Message::build(uint8_t frameType, uint64_t recipient, uint64_t recipientConn, uint64_t sender,
                    uint64_t senderConn, const void* data, int length)
{
    if (!data || length <= 0)
        return false;
    if (length > INT_MAX - HeaderSize - ArrayGrowBy)
        throw MemoryException();

    const WireBody wire =
        threadDeflater().compress(data, length, compressionEnabled, compressionThreshold, compressionBuffer_);
    const uint8_t* body = wire.data;
    const int bodyLength = wire.length;
    const bool deflated = wire.compressed;

    type = frameType;
    recipientId = recipient;
    recipientConnection = recipientConn;
    senderId = sender;
    senderConnection = senderConn;
    compressed_ = deflated;

    outgoing_.setSize(HeaderSize + bodyLength);
    uint8_t* out = outgoing_.data();
    out[0] = Magic;
    out[1] = frameType;
    out[2] = deflated ? 1 : 0;
    putBigEndian(out + 3, recipient, 5);
    putBigEndian(out + 8, recipientConn, 2);
    putBigEndian(out + 10, sender, 5);
    putBigEndian(out + 15, senderConn, 2);
    putBigEndian(out + 17, static_cast<uint32_t>(bodyLength), 4);
    std::memcpy(out + HeaderSize, body, static_cast<size_t>(bodyLength));
    return true;
}

bool Message::build(uint8_t frameType, uint64_t recipient, uint64_t recipientConn, uint64_t sender,
                    uint64_t senderConn, const char* text)
{
    if (!text)
        return false;
    size_t length = std::strlen(text);
    if (length > static_cast<size_t>(INT_MAX))
        throw MemoryException();
    return build(frameType, recipient, recipientConn, sender, senderConn, text, static_cast<int>(length));
}

bool Message::build(uint8_t frameType, uint64_t recipient, uint64_t recipientConn, uint64_t sender,
                    uint64_t senderConn, const XmlNode& node)
{
    String text = node.toCompactString(true);
    return build(frameType, recipient, recipientConn, sender, senderConn, text.data(), text.length());
}

void Message::write(SocketHandle socket) const
{
    if (outgoing_.count() > 0)
        sendAll(socket, outgoing_.data(), outgoing_.count());
}

// ---- reading --------------------------------------------------------------------------------

void Message::resetIncoming()
{
    if (incoming_.capacity() > KeptIncomingCapacity)
        incoming_.setCapacity(HeaderSize);
    incoming_.setSize(0);
    bodyBytesRead_ = 0;
}

int Message::receiveBefore(uint8_t* buffer, int length)
{
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            int64_t left = deadline_ - monotonicMillis();
            wait = left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, INT_MAX));
        }
        // Even with the deadline gone, bytes that are already there are taken.
        int n = source_ ? source_->receive(buffer, length, wait) : receive(socket_, buffer, length, wait);
        if (n > 0)
            return n;
        if (timeoutMs >= 0 && monotonicMillis() >= deadline_)
            throw TimeoutException();
    }
}

void Message::decodeHeader()
{
    const uint8_t* h = incoming_.data();
    type = h[1];
    compressed_ = h[2] != 0;
    recipientId = getBigEndian(h + 3, 5);
    recipientConnection = getBigEndian(h + 8, 2);
    senderId = getBigEndian(h + 10, 5);
    senderConnection = getBigEndian(h + 15, 2);
    const uint64_t length = getBigEndian(h + 17, 4);
    // Refused before anything is sized from it: the length is the peer's word alone.
    if (length > static_cast<uint64_t>(maxBodyLength) || length > static_cast<uint64_t>(INT_MAX - HeaderSize - ArrayGrowBy)) {
        resetIncoming();
        state_ = StateIdle;
        throw FormatException();
    }
    bodyLength_ = static_cast<int>(length);
}

void Message::read()
{
    deadline_ = monotonicMillis() + timeoutMs;
    if (!source_ && socket_ == NoSocket)
        throw SocketException();
    if (state_ == StateComplete) {
        resetIncoming();
        state_ = StateIdle;
    }
    if (state_ == StateIdle)
        state_ = StateHeader;

    if (state_ == StateHeader) {
        deadline_ = monotonicMillis() + timeoutMs;
        // One byte at a time: the header never takes a byte of what follows it.
        while (incoming_.count() < HeaderSize) {
            uint8_t byte;
            receiveBefore(&byte, 1);
            incoming_.add(byte);
        }
        if (incoming_[0] != Magic) {
            resetIncoming();
            state_ = StateIdle;
            throw FormatException();
        }
        decodeHeader();
        bodyBytesRead_ = 0;
        state_ = StateBody;
    }

    if (state_ == StateBody) {
        incoming_.setSize(HeaderSize + bodyLength_);
        while (bodyBytesRead_ < bodyLength_) {
            bodyBytesRead_ += receiveBefore(incoming_.data() + HeaderSize + bodyBytesRead_,
                                            bodyLength_ - bodyBytesRead_);
        }
        state_ = StateComplete;
    }
}

// ---- the body -------------------------------------------------------------------------------

bool Message::getBody(ByteArray& out) const
{
    if (state_ != StateComplete) {
        out.setSize(0);
        return false;
    }
    const uint8_t* body = incoming_.data() + HeaderSize;
    if (!compressed_) {
        out.setSize(0);
        out.write(0, body, bodyLength_);
        return true;
    }
    return threadInflater().inflate(body, bodyLength_, maxBodyLength, out);
}

bool Message::getBody(String& out) const
{
    ByteArray bytes(ArrayGrowBy);
    bool ok = getBody(bytes);
    if (bytes.count() > 0)
        out.assign(reinterpret_cast<const char*>(bytes.data()), bytes.count());
    else
        out.clear();
    return ok;
}

bool Message::getBody(XmlNode& node) const
{
    node = XmlNode();
    node.name.clear();
    node.value.clear();
    String text;
    if (!getBody(text))
        return false;
    return node.parse(text.c_str());
}

} // namespace orvane
