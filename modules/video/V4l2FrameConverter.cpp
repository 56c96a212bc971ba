#include "modules/video/V4l2FrameConverter.h"

#include "modules/video/CaptureSource.h"

#include <libv4l-plugin.h>
#include <libv4lconvert.h>

#include <cerrno>
#include <cstring>

namespace orvane {

namespace {

// The device operations of a converter without a device: it answers that it captures
// video and knows nothing else, which is all conversion needs.
int detachedIoctl(void*, int, unsigned long int request, void* arg)
{
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memset(cap, 0, sizeof *cap);
        std::memcpy(cap->driver, "detached", 9);
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE;
        cap->device_caps = V4L2_CAP_VIDEO_CAPTURE;
        return 0;
    }
    errno = ENOTTY;
    return -1;
}

ssize_t detachedRead(void*, int, void*, size_t)
{
    errno = EINVAL;
    return -1;
}

ssize_t detachedWrite(void*, int, const void*, size_t)
{
    errno = EINVAL;
    return -1;
}

libv4l_dev_ops detachedOps()
{
    libv4l_dev_ops ops{}; // the fields the library reserves stay NULL, as it asks
    ops.ioctl = detachedIoctl;
    ops.read = detachedRead;
    ops.write = detachedWrite;
    return ops;
}

const libv4l_dev_ops kDetachedOps = detachedOps();

// Rows of BGR pixels (blue, green, red: the byte order of a 24-bit capture bitmap), top row
// first, lineBytes apart, into a packed 24-bit capture bitmap.
void packBgrRows(const uint8_t* bgr, int width, int height, int lineBytes, ByteArray& dib)
{
    uint8_t* rows = prepareCaptureDib(dib, width, height, 24);
    int rowBytes = captureRowBytes(width, 24);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = rows + static_cast<size_t>(rowBytes) * (height - 1 - y);
        std::memcpy(out, bgr + static_cast<size_t>(lineBytes) * y, static_cast<size_t>(width) * 3);
        std::memset(out + width * 3, 0, static_cast<size_t>(rowBytes - width * 3));
    }
}

} // namespace

V4l2FrameConverter::V4l2FrameConverter()
    : data_(v4lconvert_create_with_dev_ops(-1, nullptr, &kDetachedOps))
{
}

V4l2FrameConverter::V4l2FrameConverter(int fd) : data_(v4lconvert_create(fd))
{
    // A device the converter cannot query still has its frames converted, without the
    // device's own corrections.
    if (!data_)
        data_ = v4lconvert_create_with_dev_ops(-1, nullptr, &kDetachedOps);
}

V4l2FrameConverter::~V4l2FrameConverter()
{
    if (data_)
        v4lconvert_destroy(data_);
}

const char* V4l2FrameConverter::lastError() const
{
    if (*ownError_)
        return ownError_;
    if (!data_)
        return "no converter";
    const char* text = v4lconvert_get_error_message(data_);
    return text ? text : "";
}

bool V4l2FrameConverter::toCaptureDib(const V4l2FrameFormat& format, const uint8_t* bytes,
                                      size_t length, ByteArray& dib)
{
    ownError_ = "";
    if (!bytes || format.width <= 0 || format.height <= 0 || format.width > MaxSide
        || format.height > MaxSide || length > MaxFrameBytes) {
        ownError_ = "frame size out of range";
        return false;
    }
    const int64_t bgrLine = static_cast<int64_t>(format.width) * 3;
    if (format.fourcc == V4L2_PIX_FMT_BGR24) {
        int64_t line = format.bytesPerLine > 0 ? format.bytesPerLine : bgrLine;
        if (line < bgrLine || line * (format.height - 1) + bgrLine > static_cast<int64_t>(length)) {
            ownError_ = "short frame";
            return false;
        }
        packBgrRows(bytes, format.width, format.height, static_cast<int>(line), dib);
        return true;
    }
    if (!data_) {
        ownError_ = "no converter";
        return false;
    }
    v4l2_format source{};
    source.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    source.fmt.pix.width = static_cast<uint32_t>(format.width);
    source.fmt.pix.height = static_cast<uint32_t>(format.height);
    source.fmt.pix.pixelformat = format.fourcc;
    source.fmt.pix.bytesperline = static_cast<uint32_t>(format.bytesPerLine);
    source.fmt.pix.sizeimage = format.sizeImage ? format.sizeImage : static_cast<uint32_t>(length);
    source.fmt.pix.field = V4L2_FIELD_NONE;
    v4l2_format target = source;
    target.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    target.fmt.pix.bytesperline = static_cast<uint32_t>(bgrLine);
    target.fmt.pix.sizeimage = static_cast<uint32_t>(bgrLine * format.height);
    bgr_.setSize(static_cast<int>(target.fmt.pix.sizeimage));
    int n = v4lconvert_convert(data_, &source, &target, const_cast<uint8_t*>(bytes),
                               static_cast<int>(length), bgr_.data(), bgr_.count());
    if (n < bgrLine * format.height)
        return false;
    packBgrRows(bgr_.data(), format.width, format.height, static_cast<int>(bgrLine), dib);
    return true;
}

} // namespace orvane
