#include "modules/video/CaptureSource.h"

#include "modules/video/FileCaptureSource.h"
#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/V4l2CaptureSource.h"
#include "modules/video/VideoImage.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace orvane {

CaptureSource::~CaptureSource() = default;

int captureRowBytes(int width, int bitCount) { return (width * bitCount + 31) / 32 * 4; }

uint8_t* prepareCaptureDib(ByteArray& dib, int width, int height, int bitCount)
{
    int rowBytes = captureRowBytes(width, bitCount);
    int imageSize = rowBytes * height;
    dib.setSize(VideoImage::CaptureHeaderSize + imageSize);
    uint8_t* h = dib.data();
    std::memset(h, 0, VideoImage::CaptureHeaderSize);
    auto put32 = [&](int at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            h[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, VideoImage::CaptureHeaderSize);
    put32(4, static_cast<uint32_t>(width));
    put32(8, static_cast<uint32_t>(height));
    h[12] = 1; // planes
    h[14] = static_cast<uint8_t>(bitCount);
    put32(20, static_cast<uint32_t>(imageSize));
    return h + VideoImage::CaptureHeaderSize;
}

namespace {

bool startsWith(const std::string& s, const char* prefix)
{
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// "WxHxBPP" with each part a positive decimal number.
bool readSyntheticSize(const std::string& text, int& width, int& height, int& bitCount)
{
    char tail = 0;
    if (std::sscanf(text.c_str(), "%dx%dx%d%c", &width, &height, &bitCount, &tail) != 3)
        return false;
    return width > 0 && height > 0 && width <= VideoImage::MaxSide && height <= VideoImage::MaxSide
        && (bitCount == 16 || bitCount == 24 || bitCount == 32);
}

} // namespace

std::unique_ptr<CaptureSource> createCaptureSource(const char* setting)
{
    std::string s = setting ? setting : "";
    if (s.empty()) {
        std::string device = V4l2CaptureSource::firstDevice();
        if (device.empty())
            return nullptr;
        return std::make_unique<V4l2CaptureSource>(device);
    }
    if (s == "none")
        return nullptr;
    if (startsWith(s, "synthetic:")) {
        int width = 0, height = 0, bitCount = 0;
        if (!readSyntheticSize(s.substr(10), width, height, bitCount)) {
            std::fprintf(stderr, "video: unreadable capture source setting \"%s\": no camera\n", s.c_str());
            return nullptr;
        }
        return std::make_unique<SyntheticCaptureSource>(width, height, bitCount);
    }
    if (startsWith(s, "file:") && s.size() > 5)
        return std::make_unique<FileCaptureSource>(s.substr(5));
    if (startsWith(s, "v4l2:") && s.size() > 5)
        return std::make_unique<V4l2CaptureSource>(s.substr(5));
    std::fprintf(stderr, "video: unreadable capture source setting \"%s\": no camera\n", s.c_str());
    return nullptr;
}

std::unique_ptr<CaptureSource> captureSourceFromEnvironment()
{
    return createCaptureSource(std::getenv("ORVANE_VIDEO_SOURCE"));
}

} // namespace orvane
