#include "modules/video/FileCaptureSource.h"

#include "modules/video/VideoImage.h"

#include <cstdio>
#include <memory>

namespace orvane {

namespace {

uint32_t le32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool readWholeFile(const std::string& path, ByteArray& out)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        return false;
    if (std::fseek(file.get(), 0, SEEK_END) != 0)
        return false;
    long size = std::ftell(file.get());
    if (size <= 0 || size > FileCaptureSource::MaxFileBytes || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return false;
    out.setSize(static_cast<int>(size));
    return std::fread(out.data(), 1, static_cast<size_t>(size), file.get()) == static_cast<size_t>(size);
}

} // namespace

FileCaptureSource::FileCaptureSource(std::string path) : path_(std::move(path)) {}

bool FileCaptureSource::open()
{
    frame_.setSize(0);
    ByteArray file;
    if (!readWholeFile(path_, file))
        return false;
    const int fileHeader = 14;
    if (file.count() >= fileHeader + VideoImage::CaptureHeaderSize && file[0] == 'B' && file[1] == 'M') {
        // A bitmap file: the bitmap header follows the file header, the rows lie at the
        // offset the file header gives; the frame is the header with the rows behind it.
        uint32_t rowsAt = le32(file.data() + 10);
        uint32_t headerSize = le32(file.data() + fileHeader);
        uint32_t total = static_cast<uint32_t>(file.count());
        if (headerSize < static_cast<uint32_t>(VideoImage::CaptureHeaderSize) || headerSize > total - fileHeader
            || rowsAt < fileHeader + headerSize || rowsAt > total)
            return false;
        frame_.write(0, file.data() + fileHeader, static_cast<int>(headerSize));
        frame_.write(static_cast<int>(headerSize), file.data() + rowsAt, static_cast<int>(total - rowsAt));
    } else {
        frame_ = file;
    }
    VideoImage check;
    if (!check.setFromCaptureDib(frame_.data(), static_cast<size_t>(frame_.count()))) {
        frame_.setSize(0);
        return false;
    }
    return true;
}

bool FileCaptureSource::grab(ByteArray& dib)
{
    if (frame_.isEmpty())
        return false;
    dib = frame_;
    return true;
}

void FileCaptureSource::close() { frame_.release(); }

} // namespace orvane
