#include "core/channels/Packet.h"

#include "foundation/Clock.h"
#include "foundation/XmlNode.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace orvane {

Packet::FormatException::~FormatException() = default;

namespace {

constexpr int ArrayGrowBy = 100;
// A reader that once took a large frame gives the room back when the frame is done, so an
// idle channel does not keep megabytes.
constexpr int KeptIncomingCapacity = 64 * 1024;

} // namespace

Packet::Packet(int timeout)
    : timeoutMs(timeout), compressionBuffer_(ArrayGrowBy), outgoing_(ArrayGrowBy), incoming_(ArrayGrowBy)
{
    incoming_.setCapacity(HeaderSize);
}

Packet::Packet(SocketHandle socket, int timeout) : Packet(timeout)
{
    socket_ = socket;
}

Packet::~Packet() = default;

// ---- writing --------------------------------------------------------------------------------

void Packet::write(const void* data, int length)
{
    if (!data || length <= 0)
        return;
    if (socket_ == NoSocket)
        throw SocketException();
    if (length > INT_MAX - HeaderSize - ArrayGrowBy)
        throw MemoryException();
    const WireBody wire = deflater_.compress(data, length, compressionEnabled, compressionThreshold, compressionBuffer_);
    outgoing_.setSize(HeaderSize + wire.length);
    uint8_t* out = outgoing_.data();
    out[0] = Magic;
    putBigEndian(out + 1, static_cast<uint32_t>(wire.length), 4);
    out[5] = wire.compressed ? 1 : 0;
    std::memcpy(out + HeaderSize, wire.data, static_cast<size_t>(wire.length));
    sendAll(socket_, outgoing_.data(), outgoing_.count());
}

void Packet::write(const char* text)
{
    if (!text)
        return;
    const size_t length = std::strlen(text);
    if (length > static_cast<size_t>(INT_MAX))
        throw MemoryException();
    write(text, static_cast<int>(length));
}

void Packet::write(const XmlNode& node)
{
    const String text = node.toCompactString(true);
    write(text.data(), text.length());
}

// ---- reading --------------------------------------------------------------------------------

void Packet::resetIncoming()
{
    if (incoming_.capacity() > KeptIncomingCapacity)
        incoming_.setCapacity(HeaderSize);
    incoming_.setSize(0);
    bodyBytesRead_ = 0;
}

int Packet::receiveBefore(uint8_t* buffer, int length)
{
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const int64_t left = deadline_ - monotonicMillis();
            wait = left <= 0 ? 0 : static_cast<int>(std::min<int64_t>(left, INT_MAX));
        }
        // Bytes that are already there are taken even once the deadline has passed.
        const int n = source_ ? source_->receive(buffer, length, wait) : receive(socket_, buffer, length, wait);
        if (n > 0)
            return n;
        if (timeoutMs >= 0 && monotonicMillis() >= deadline_)
            throw TimeoutException();
    }
}

void Packet::read(ByteArray& out)
{
    deadline_ = monotonicMillis() + timeoutMs;
    if (!source_ && socket_ == NoSocket)
        throw SocketException();
    out.setSize(0);

    // One byte at a time: the header never takes a byte of what follows it.
    while (incoming_.count() < HeaderSize) {
        uint8_t byte;
        receiveBefore(&byte, 1);
        incoming_.add(byte);
    }
    const uint8_t* header = incoming_.data();
    const uint64_t announced = getBigEndian(header + 1, 4);
    if (header[0] != Magic || announced > static_cast<uint64_t>(maxBodyLength)) {
        resetIncoming();
        throw FormatException();
    }
    bodyLength_ = static_cast<int>(announced);
    compressed_ = header[5] != 0;
    if (bodyLength_ == 0) {
        resetIncoming();
        return;
    }

    incoming_.setSize(HeaderSize + bodyLength_);
    while (bodyBytesRead_ < bodyLength_)
        bodyBytesRead_ += receiveBefore(incoming_.data() + HeaderSize + bodyBytesRead_, bodyLength_ - bodyBytesRead_);

    const uint8_t* body = incoming_.data() + HeaderSize;
    if (compressed_)
        inflater_.inflate(body, bodyLength_, maxBodyLength, out);
    else
        out.write(0, body, bodyLength_);
    resetIncoming();
}

void Packet::read(String& out)
{
    ByteArray bytes(ArrayGrowBy);
    read(bytes);
    if (bytes.count() > 0)
        out.assign(reinterpret_cast<const char*>(bytes.data()), bytes.count());
    else
        out.clear();
}

bool Packet::read(XmlNode& node)
{
    node = XmlNode();
    node.name.clear();
    node.value.clear();
    String text;
    read(text);
    return node.parse(text.c_str());
}

} // namespace orvane
