#pragma once

#include "foundation/Containers.h"
#include "modules/video/VideoImage.h"

namespace orvane {

// The sending side of a session's pictures: what the peer holds of them, and the packet for
// the next one. The first picture, and a picture of another size, goes as a key frame; after
// that the runs that changed go as a delta frame, or "no frame" when nothing changed enough
// (or there is no picture). A delta too long for its length field goes as a key frame.
// One thread at a time.
class PictureSender {
public:
    PictureSender();

    // The packet for the picture, valid until the next call. The picture's unchanged pixels
    // take the values the peer holds, so that it shows what the peer will see.
    const ByteArray& packetFor(VideoImage& picture);

private:
    VideoImage reference_;
    RunList runs_;
    ByteArray packet_;
};

} // namespace orvane
