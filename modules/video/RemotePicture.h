#pragma once

#include "modules/video/VideoImage.h"

#include <cstdint>

namespace orvane {

// The peer's picture as the packets from the peer build it, and what each packet asks of
// the session. Every packet is checked whole against its own length and the picture before
// anything of it is written (see VideoPacket); a refused packet leaves the picture as it
// was.
//
// With the highlight on, each delta ORs the mask into the places it changes instead of
// writing its colours; those colours are written when the next delta comes, so the places
// a delta changed show marked for one picture.
class RemotePicture {
public:
    enum class Taken {
        Request,   // the peer asks for a frame
        Picture,   // a key frame or delta changed the picture
        Answer,    // a delta that had no picture to change: an answer all the same
        NoFrame,   // the peer had nothing to send
        Ignored,   // empty, or a type this side does not know
        Refused    // lengths that do not add up: nothing of it was used
    };

    static constexpr uint32_t DefaultHighlightMask = 0xF000;

    RemotePicture();

    Taken take(const uint8_t* bytes, int length, bool highlight, uint32_t mask = DefaultHighlightMask);

    const VideoImage& image() const { return image_; }

private:
    Taken takeDelta(const uint8_t* runs, int length, bool highlight, uint32_t mask);

    VideoImage image_;
    // The last delta's runs, kept for the highlight; the next delta's until it is checked.
    RunList runs_;
    RunList incoming_;
};

} // namespace orvane
