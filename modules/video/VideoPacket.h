#pragma once

#include "foundation/Containers.h"

#include <cstdint>

namespace orvane {

// One packet of the video exchange between two session threads; every packet is one frame
// of the peer channel. Byte 0 is the type; numbers are big-endian, pixels 3 bytes R, G, B.
//
//   0 FrameRequest  00 'T' 'a' 'v' 'e' 'l' 'o' 'r'                         8 bytes
//   1 KeyFrame      01 width(2) height(2) width*height pixels               5 + 3*w*h bytes
//   2 DeltaFrame    02 n(3) then n bytes of runs                            4 + n bytes
//   3 NoFrame       03 'T' 'a' 'v' 'e' 'l' 'o' 'r'                         8 bytes
//
// A run is start pixel index (3), pixel count k (2), then k pixels; runs lie back to back
// and fill the payload exactly.
//
// The peer decides every number in a packet, so parse checks all of them against the
// packet's own length, and a delta's runs against the picture they are meant for, before
// anything is allocated or written: a packet that fails is refused whole. The receiver
// looks only at byte 0 of the two signal packets; their filler is not checked.
class VideoPacket {
public:
    enum Type : uint8_t { FrameRequest = 0, KeyFrame = 1, DeltaFrame = 2, NoFrame = 3 };

    enum class Verdict {
        Valid,    // type and fields below describe it
        Ignored,  // empty, or of a type this side does not know: skipped
        Malformed // lengths do not add up: refused whole
    };

    static constexpr int SignalSize = 8;
    static constexpr int KeyFrameHeaderSize = 5;
    static constexpr int DeltaFrameHeaderSize = 4;
    static constexpr int RunHeaderSize = 5;
    static constexpr int BytesPerPixel = 3;
    static constexpr int MaxRunPixels = 65534;
    static constexpr int MaxDeltaPayload = 0xFFFFFF;
    static constexpr int MaxSide = 0xFFFF;

    // Each replaces the packet's contents with one whole packet.
    static void writeFrameRequest(ByteArray& packet);
    static void writeNoFrame(ByteArray& packet);
    // The header of a frame whose body the caller has already placed behind it (the codec
    // encodes straight into the packet at KeyFrameHeaderSize or DeltaFrameHeaderSize): the
    // packet grows to hold the header when it is shorter. width and height lie within
    // 1 .. MaxSide; the payload length within 0 .. MaxDeltaPayload.
    static void writeKeyFrameHeader(ByteArray& packet, int width, int height);
    static void writeDeltaFrameHeader(ByteArray& packet, int payloadLength);

    // Reads the packet at data. pictureSize is the pixel count of the picture a delta is
    // to change: every run must lie inside it. 0 (no picture yet) checks the runs against
    // the packet only, since such a delta changes nothing. A key frame must have a width
    // and height of at least 1 and exactly the pixels they announce; a delta exactly the
    // payload its header announces, made of whole runs of 1 .. MaxRunPixels pixels.
    Verdict parse(const uint8_t* data, int length, int pictureSize);

    Type type() const { return type_; }
    // A key frame's size.
    int width() const { return width_; }
    int height() const { return height_; }
    // A key frame's pixel bytes or a delta's run bytes, inside the parsed packet.
    const uint8_t* body() const { return body_; }
    int bodyLength() const { return bodyLength_; }
    // A delta's number of runs.
    int runCount() const { return runCount_; }

private:
    Verdict parseKeyFrame(const uint8_t* data, int length);
    Verdict parseDeltaFrame(const uint8_t* data, int length, int pictureSize);

    Type type_ = FrameRequest;
    int width_ = 0;
    int height_ = 0;
    const uint8_t* body_ = nullptr;
    int bodyLength_ = 0;
    int runCount_ = 0;
};

} // namespace orvane
