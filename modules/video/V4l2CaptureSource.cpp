#include "modules/video/V4l2CaptureSource.h"

#include <libv4l2.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

V4l2CaptureSource::V4l2CaptureSource(std::string device) : device_(std::move(device)) {}

V4l2CaptureSource::~V4l2CaptureSource() { close(); }

std::string V4l2CaptureSource::firstDevice()
{
    for (int i = 0; i < 64; ++i) {
        std::string path = "/dev/video" + std::to_string(i);
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode))
            return path;
    }
    return {};
}

bool V4l2CaptureSource::open()
{
    close();
    fd_ = v4l2_open(device_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return false;
    v4l2_capability cap{};
    if (v4l2_ioctl(fd_, VIDIOC_QUERYCAP, &cap) != 0) {
        close();
        return false;
    }
    uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & (V4L2_CAP_READWRITE | V4L2_CAP_STREAMING))) {
        close();
        return false;
    }
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.width = RequestedWidth;
    fmt.fmt.pix.height = RequestedHeight;
    fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    if (v4l2_ioctl(fd_, VIDIOC_S_FMT, &fmt) != 0) {
        close();
        return false;
    }
    format_.fourcc = fmt.fmt.pix.pixelformat;
    format_.width = static_cast<int>(fmt.fmt.pix.width);
    format_.height = static_cast<int>(fmt.fmt.pix.height);
    format_.bytesPerLine = static_cast<int>(fmt.fmt.pix.bytesperline);
    format_.sizeImage = fmt.fmt.pix.sizeimage;
    if (format_.width <= 0 || format_.height <= 0 || format_.width > V4l2FrameConverter::MaxSide
        || format_.height > V4l2FrameConverter::MaxSide || format_.sizeImage == 0
        || format_.sizeImage > V4l2FrameConverter::MaxFrameBytes) {
        close();
        return false;
    }
    converter_ = std::make_unique<V4l2FrameConverter>(fd_);
    raw_.setSize(static_cast<int>(format_.sizeImage));
    return true;
}

bool V4l2CaptureSource::grab(ByteArray& dib)
{
    if (fd_ < 0)
        return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ReadTimeoutMs) <= 0)
        return false;
    ssize_t n = v4l2_read(fd_, raw_.data(), static_cast<size_t>(raw_.count()));
    if (n <= 0)
        return false;
    return converter_->toCaptureDib(format_, raw_.data(), static_cast<size_t>(n), dib);
}

void V4l2CaptureSource::close()
{
    converter_.reset();
    if (fd_ >= 0) {
        v4l2_close(fd_);
        fd_ = -1;
    }
}

} // namespace orvane
