#include "modules/video/VideoPacket.h"

namespace orvane {

namespace {

// The filler of the two signal packets, after the type byte.
constexpr uint8_t SignalFiller[VideoPacket::SignalSize - 1] = {'T', 'a', 'v', 'e', 'l', 'o', 'r'};

void writeSignal(ByteArray& packet, uint8_t type)
{
    packet.setSize(VideoPacket::SignalSize);
    packet[0] = type;
    for (int i = 1; i < VideoPacket::SignalSize; ++i)
        packet[i] = SignalFiller[i - 1];
}

int read16(const uint8_t* p)
{
    return (p[0] << 8) | p[1];
}

int read24(const uint8_t* p)
{
    return (p[0] << 16) | (p[1] << 8) | p[2];
}

} // namespace

void VideoPacket::writeFrameRequest(ByteArray& packet)
{
    writeSignal(packet, FrameRequest);
}

void VideoPacket::writeNoFrame(ByteArray& packet)
{
    writeSignal(packet, NoFrame);
}

void VideoPacket::writeKeyFrameHeader(ByteArray& packet, int width, int height)
{
    const uint8_t header[KeyFrameHeaderSize] = {
        KeyFrame, static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
        static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height)};
    packet.write(0, header, KeyFrameHeaderSize);
}

void VideoPacket::writeDeltaFrameHeader(ByteArray& packet, int payloadLength)
{
    const uint8_t header[DeltaFrameHeaderSize] = {DeltaFrame, static_cast<uint8_t>(payloadLength >> 16),
                                                  static_cast<uint8_t>(payloadLength >> 8),
                                                  static_cast<uint8_t>(payloadLength)};
    packet.write(0, header, DeltaFrameHeaderSize);
}

VideoPacket::Verdict VideoPacket::parse(const uint8_t* data, int length, int pictureSize)
{
    width_ = height_ = 0;
    body_ = nullptr;
    bodyLength_ = runCount_ = 0;
    if (!data || length <= 0)
        return Verdict::Ignored;
    switch (data[0]) {
    case FrameRequest:
    case NoFrame:
        type_ = static_cast<Type>(data[0]);
        return Verdict::Valid;
    case KeyFrame:
        type_ = KeyFrame;
        return parseKeyFrame(data, length);
    case DeltaFrame:
        type_ = DeltaFrame;
        return parseDeltaFrame(data, length, pictureSize);
    default:
        return Verdict::Ignored;
    }
}

VideoPacket::Verdict VideoPacket::parseKeyFrame(const uint8_t* data, int length)
{
    if (length < KeyFrameHeaderSize)
        return Verdict::Malformed;
    const int width = read16(data + 1);
    const int height = read16(data + 3);
    // Both sides are at most 0xFFFF, so the product needs 64 bits.
    const int64_t pixelBytes = int64_t(BytesPerPixel) * width * height;
    if (width == 0 || height == 0 || pixelBytes != int64_t(length) - KeyFrameHeaderSize)
        return Verdict::Malformed;
    width_ = width;
    height_ = height;
    body_ = data + KeyFrameHeaderSize;
    bodyLength_ = static_cast<int>(pixelBytes);
    return Verdict::Valid;
}

VideoPacket::Verdict VideoPacket::parseDeltaFrame(const uint8_t* data, int length, int pictureSize)
{
    if (length < DeltaFrameHeaderSize)
        return Verdict::Malformed;
    const int payload = read24(data + 1);
    if (payload != length - DeltaFrameHeaderSize)
        return Verdict::Malformed;
    const uint8_t* runs = data + DeltaFrameHeaderSize;
    int runCount = 0;
    for (int at = 0; at < payload; ++runCount) {
        if (payload - at < RunHeaderSize)
            return Verdict::Malformed;
        const int start = read24(runs + at);
        const int count = read16(runs + at + 3);
        if (count < 1 || count > MaxRunPixels)
            return Verdict::Malformed;
        at += RunHeaderSize;
        if ((payload - at) / BytesPerPixel < count)
            return Verdict::Malformed;
        at += count * BytesPerPixel;
        if (pictureSize > 0 && (start >= pictureSize || count > pictureSize - start))
            return Verdict::Malformed;
    }
    body_ = runs;
    bodyLength_ = payload;
    runCount_ = runCount;
    return Verdict::Valid;
}

} // namespace orvane
