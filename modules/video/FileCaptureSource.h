#pragma once

#include "modules/video/CaptureSource.h"

#include <string>

namespace orvane {

// A camera that shows one picture: a bitmap file (BMP: the 14-byte file header beginning
// "BM", then the bitmap) or a packed capture bitmap as a source would hand it. Read whole
// at open and checked to be an uncompressed 16, 24 or 32-bit bitmap VideoImage reads; every
// grab hands the same frame. Files above MaxFileBytes are refused.
class FileCaptureSource : public CaptureSource {
public:
    static constexpr long MaxFileBytes = 64L * 1024 * 1024;

    explicit FileCaptureSource(std::string path);

    bool open() override;
    bool grab(ByteArray& dib) override;
    void close() override;

private:
    std::string path_;
    ByteArray frame_;
};

} // namespace orvane
