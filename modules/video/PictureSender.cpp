#include "modules/video/PictureSender.h"

#include "modules/video/VideoPacket.h"

namespace orvane {

PictureSender::PictureSender() : packet_(1000)
{
    packet_.setCapacity(1000);
}

const ByteArray& PictureSender::packetFor(VideoImage& picture)
{
    if (picture.isEmpty()) {
        VideoPacket::writeNoFrame(packet_);
        return packet_;
    }
    bool key = picture.width() != reference_.width() || picture.height() != reference_.height();
    if (!key) {
        VideoImage::diffFrames(reference_, picture, runs_);
        reference_.applyRuns(runs_);
        packet_.setSize(0);
        const int length = VideoImage::encodeRuns(runs_, packet_, VideoPacket::DeltaFrameHeaderSize);
        if (length == 0) {
            VideoPacket::writeNoFrame(packet_);
        } else if (length > VideoPacket::MaxDeltaPayload) {
            // Too many changes for the delta's length field: the whole picture goes instead.
            key = true;
        } else {
            VideoPacket::writeDeltaFrameHeader(packet_, length);
        }
    }
    if (key) {
        runs_.setSize(0);
        reference_ = picture;
        packet_.setSize(0);
        VideoImage::encodeKeyFrame(picture.pixels(), picture.width(), picture.height(), packet_,
                                   VideoPacket::KeyFrameHeaderSize);
        VideoPacket::writeKeyFrameHeader(packet_, picture.width(), picture.height());
    }
    return packet_;
}

} // namespace orvane
