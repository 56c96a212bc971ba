// Feeds arbitrary bytes as a sequence of video packets to the peer's picture, as a session
// thread takes them: every packet is taken or refused whole, nothing is read or written
// outside the packet or the picture, and the picture never outgrows the largest packet.
//
// Input: a stream of [flags][length hi][length lo][bytes...] records; flags bit 0 switches
// the highlight, so the fuzzer reaches the held-runs path.
#include "modules/video/RemotePicture.h"
#include "modules/video/VideoPacket.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RemotePicture picture;
    size_t largest = 0;
    size_t at = 0;
    while (size - at >= 3) {
        const bool highlight = data[at] & 1;
        size_t length = static_cast<size_t>(data[at + 1]) << 8 | data[at + 2];
        at += 3;
        if (length > size - at)
            length = size - at;
        if (length > largest)
            largest = length;
        const RemotePicture::Taken taken = picture.take(data + at, static_cast<int>(length), highlight);
        const VideoImage& image = picture.image();
        if (taken == RemotePicture::Taken::Picture &&
            (image.isEmpty() || static_cast<size_t>(image.pixelCount()) * VideoPacket::BytesPerPixel > largest))
            std::abort();
        at += length;
    }
    return 0;
}
