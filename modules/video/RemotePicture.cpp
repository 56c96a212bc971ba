#include "modules/video/RemotePicture.h"

#include "modules/video/VideoPacket.h"

namespace orvane {

RemotePicture::RemotePicture() : runs_(1000), incoming_(1000)
{
    runs_.setCapacity(1000);
    incoming_.setCapacity(1000);
}

RemotePicture::Taken RemotePicture::take(const uint8_t* bytes, int length, bool highlight, uint32_t mask)
{
    VideoPacket packet;
    switch (packet.parse(bytes, length, image_.pixelCount())) {
    case VideoPacket::Verdict::Ignored:
        return Taken::Ignored;
    case VideoPacket::Verdict::Malformed:
        return Taken::Refused;
    case VideoPacket::Verdict::Valid:
        break;
    }
    switch (packet.type()) {
    case VideoPacket::FrameRequest:
        return Taken::Request;
    case VideoPacket::NoFrame:
        return Taken::NoFrame;
    case VideoPacket::KeyFrame:
        if (!image_.decodeKeyFrame(packet.body(), packet.bodyLength(), packet.width(), packet.height()))
            return Taken::Refused;
        runs_.setSize(0);
        return Taken::Picture;
    case VideoPacket::DeltaFrame:
        break;
    }
    return takeDelta(packet.body(), packet.bodyLength(), highlight, mask);
}

RemotePicture::Taken RemotePicture::takeDelta(const uint8_t* runs, int length, bool highlight, uint32_t mask)
{
    // Before the first key frame there is nothing to change, and no runs are held (a key
    // frame empties them); parse has checked these against the packet.
    if (image_.isEmpty())
        return Taken::Answer;
    if (!VideoImage::decodeRuns(runs, length, incoming_, image_.pixelCount()))
        return Taken::Refused;
    // The runs still held are the last delta's: with the highlight on they carry the true
    // colours of the places now showing the mask. They were checked against this picture.
    if (highlight)
        image_.applyRuns(runs_);
    runs_.swap(incoming_);
    if (highlight)
        image_.applyRunsMasked(runs_, mask);
    else
        image_.applyRuns(runs_);
    return Taken::Picture;
}

} // namespace orvane
