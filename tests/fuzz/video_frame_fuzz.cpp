// Feeds arbitrary bytes to the video frame decoders as a peer's frames would arrive: byte 0
// picks the decoder, bytes 1-4 give a width and a height, the rest is the frame. A key frame
// or run list either fits the picture and the bytes or is refused whole, leaving the picture
// as it was; runs that decode encode back to the same bytes. The capture bitmap reader gets
// the same bytes as a picture file would give them.
#include "modules/video/VideoImage.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace orvane;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::vector<uint32_t> snapshot(const VideoImage& image)
{
    return {image.pixels(), image.pixels() + image.pixelCount()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5 || size > (1 << 20))
        return 0;
    const int width = (data[1] << 8 | data[2]) % 160;
    const int height = (data[3] << 8 | data[4]) % 160;
    const uint8_t* frame = data + 5;
    const int length = static_cast<int>(size - 5);

    VideoImage image;
    std::vector<uint32_t> start(static_cast<size_t>(width) * height, 0x123456);
    if (!start.empty())
        image.setPixels(start.data(), width, height);

    switch (data[0] % 3) {
    case 0: {
        std::vector<uint32_t> before = snapshot(image);
        if (!image.decodeKeyFrame(frame, length, width, height)) {
            check(snapshot(image) == before);
        } else {
            check(3 * image.pixelCount() == length);
            ByteArray back;
            check(VideoImage::encodeKeyFrame(image.pixels(), width, height, back) == length);
            check(std::memcmp(back.data(), frame, static_cast<size_t>(length)) == 0);
        }
        break;
    }
    case 1: {
        RunList runs;
        std::vector<uint32_t> before = snapshot(image);
        if (!VideoImage::decodeRuns(frame, length, runs, image.pixelCount())) {
            check(runs.isEmpty());
            break;
        }
        ByteArray back;
        check(VideoImage::encodeRuns(runs, back) == length);
        check(length == 0 || std::memcmp(back.data(), frame, static_cast<size_t>(length)) == 0);
        bool applied = image.applyRuns(runs);
        check(applied == !image.isEmpty() || runs.isEmpty());
        image.applyRunsMasked(runs, 0xF000);
        break;
    }
    default: {
        image.setFromCaptureDib(frame, static_cast<size_t>(length));
        if (!image.isEmpty())
            image.resizeImage(120, 90);
        break;
    }
    }
    return 0;
}
