#include "modules/video/VideoImage.h"

#include <algorithm>
#include <cstring>

namespace orvane {

namespace {

uint32_t readLe16(const uint8_t* p) { return p[0] | (p[1] << 8); }

uint32_t readLe32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Pixels from 3-byte red, green, blue triples (the wire's and a toolkit image's form).
void readRgbPixels(const uint8_t* rgb, uint32_t* out, int n)
{
    for (int i = 0; i < n; ++i, rgb += 3)
        out[i] = (static_cast<uint32_t>(rgb[0]) << 16) | (rgb[1] << 8) | rgb[2];
}

// Bytes in one stored capture row: rows are padded to a multiple of 4 bytes.
int64_t captureStride(int width, int bitCount)
{
    return (static_cast<int64_t>(width) * bitCount + 31) / 32 * 4;
}

bool changed(uint32_t a, uint32_t b, int threshold)
{
    int dr = static_cast<int>((a >> 16) & 0xFF) - static_cast<int>((b >> 16) & 0xFF);
    int dg = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
    int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
    return dr > threshold || dr < -threshold || dg > threshold || dg < -threshold
        || db > threshold || db < -threshold;
}

// Checks a run list against a picture of pixelCount pixels: every run has its start, a
// count of at least 1 that stays inside the picture, and all its pixel values.
bool runsFit(const int32_t* runs, int count, int pixelCount)
{
    if (count > 0 && !runs)
        return false;
    int i = 0;
    while (i < count) {
        if (count - i < 2)
            return false;
        int32_t start = runs[i];
        int32_t n = runs[i + 1];
        if (start < 0 || n < 1 || n > pixelCount - start || n > count - i - 2)
            return false;
        i += 2 + n;
    }
    return true;
}

// Column sums of the shrink: one destination row in the making.
struct ColumnSums {
    int red, green, blue, number;
};

} // namespace

VideoImage::VideoImage(const VideoImage& other) { copy(&other); }

VideoImage& VideoImage::operator=(const VideoImage& other)
{
    copy(&other);
    return *this;
}

void VideoImage::copy(const VideoImage* other)
{
    if (!other || other == this)
        return;
    if (other->isEmpty()) {
        clear();
        return;
    }
    setPixels(other->pixels(), other->width_, other->height_);
}

void VideoImage::setPixels(const uint32_t* pixels, int width, int height)
{
    if (!pixels || width < 0 || height < 0)
        return;
    if (width > 0 && height > INT32_MAX / width)
        throw MemoryException();
    setSize(width, height);
    if (width_ > 0 && height_ > 0)
        std::memmove(pixels_.data(), pixels, sizeof(uint32_t) * static_cast<size_t>(width) * height);
}

void VideoImage::clear()
{
    width_ = 0;
    height_ = 0;
}

void VideoImage::setSize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    int n = width * height;
    pixels_.setSize(n);
    if (n > 0)
        std::memset(pixels_.data(), 0, sizeof(uint32_t) * static_cast<size_t>(n));
    width_ = width;
    height_ = height;
}

bool VideoImage::loadFromBitmap(const uint8_t* rgb, int width, int height)
{
    if (!rgb || width <= 0 || height <= 0 || width > MaxSide || height > MaxSide) {
        clear();
        return false;
    }
    setSize(width, height);
    readRgbPixels(rgb, pixels_.data(), width * height);
    return true;
}

bool VideoImage::setFromCaptureDib(const uint8_t* dib, size_t length)
{
    if (!dib || length < static_cast<size_t>(CaptureHeaderSize))
        return false;
    uint32_t headerSize = readLe32(dib);
    int32_t width = static_cast<int32_t>(readLe32(dib + 4));
    int32_t height = static_cast<int32_t>(readLe32(dib + 8));
    int bitCount = static_cast<int>(readLe16(dib + 14));
    uint32_t compression = readLe32(dib + 16);
    if (headerSize < static_cast<uint32_t>(CaptureHeaderSize) || headerSize > length)
        return false;
    // Compressed and colour-table formats would be misread as colour values: a source
    // that delivers them converts them to one of the RGB forms first.
    if (compression != 0 || (bitCount != 16 && bitCount != 24 && bitCount != 32))
        return false;
    if (width <= 0 || height <= 0 || width > MaxSide || height > MaxSide)
        return false;
    if (captureStride(width, bitCount) * height > static_cast<int64_t>(length - headerSize))
        return false;
    setSize(width, height);
    convertCaptureDib(dib + headerSize, bitCount, pixels_.data(), width, height);
    flipVertical(pixels_.data(), width, height);
    return true;
}

bool VideoImage::convertCaptureDib(const uint8_t* bits, int bitCount, uint32_t* pixels, int width,
                                   int height)
{
    if (!bits || !pixels || width <= 0 || height <= 0)
        return false;
    int64_t stride = captureStride(width, bitCount);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bits + stride * y;
        uint32_t* out = pixels + static_cast<size_t>(width) * y;
        switch (bitCount) {
        case 16:
            // 5-5-5: a 5-bit value v becomes 8v + 7, so black reads 7 and white 255.
            for (int x = 0; x < width; ++x) {
                uint32_t w = readLe16(row + 2 * x);
                uint32_t r = ((w >> 10) & 0x1F) * 8 + 7;
                uint32_t g = ((w >> 5) & 0x1F) * 8 + 7;
                uint32_t b = (w & 0x1F) * 8 + 7;
                out[x] = (r << 16) | (g << 8) | b;
            }
            break;
        case 24:
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = row + 3 * x;
                out[x] = (static_cast<uint32_t>(p[2]) << 16) | (p[1] << 8) | p[0];
            }
            break;
        case 32:
            for (int x = 0; x < width; ++x)
                out[x] = readLe32(row + 4 * x);
            break;
        default:
            return false;
        }
    }
    return true;
}

void VideoImage::flipVertical(uint32_t* pixels, int width, int height)
{
    if (!pixels || width <= 0 || height <= 0)
        return;
    uint32_t* top = pixels;
    uint32_t* bottom = pixels + static_cast<size_t>(width) * (height - 1);
    for (; top < bottom; top += width, bottom -= width)
        std::swap_ranges(top, top + width, bottom);
}

void VideoImage::drawHorizontalLine(uint32_t* pixels, int width, int height, int x1, int x2,
                                    int y, uint32_t colour)
{
    if (!pixels || y < 0 || y >= height || width <= 0)
        return;
    if (x2 < x1)
        std::swap(x1, x2);
    x1 = std::max(x1, 0);
    x2 = std::min(x2, width - 1);
    for (int x = x1; x <= x2; ++x)
        pixels[static_cast<size_t>(y) * width + x] = colour;
}

void VideoImage::drawVerticalLine(uint32_t* pixels, int width, int height, int y1, int y2, int x,
                                  uint32_t colour)
{
    if (!pixels || x < 0 || x >= width || height <= 0)
        return;
    if (y2 < y1)
        std::swap(y1, y2);
    y1 = std::max(y1, 0);
    y2 = std::min(y2, height - 1);
    for (int y = y1; y <= y2; ++y)
        pixels[static_cast<size_t>(y) * width + x] = colour;
}

void VideoImage::drawCornerBrackets(VideoImage& image)
{
    int w = image.width_;
    int h = image.height_;
    if (image.isEmpty())
        return;
    uint32_t* p = image.pixels_.data();
    int d = w / 10;
    int b = h / 10;
    const uint32_t c = BracketColour;
    drawHorizontalLine(p, w, h, d, 2 * d, b, c);
    drawHorizontalLine(p, w, h, d, 2 * d, h - b, c);
    drawHorizontalLine(p, w, h, w - d, w - 2 * d, b, c);
    drawHorizontalLine(p, w, h, w - d, w - 2 * d, h - b, c);
    drawVerticalLine(p, w, h, b, 2 * b, d, c);
    drawVerticalLine(p, w, h, b, 2 * b, w - d, c);
    drawVerticalLine(p, w, h, h - b, h - 2 * b, d, c);
    drawVerticalLine(p, w, h, h - b, h - 2 * b, w - d, c);
}

void VideoImage::resizeImage(int width, int height)
{
    if (width < 0 || height < 0 || isEmpty())
        return;
    if (width == 0 || height == 0) {
        clear();
        return;
    }
    if (width == width_ && height == height_)
        return;
    if (height > INT32_MAX / width)
        throw MemoryException();
    scratch_.setSize(width * height);
    scaleImage(pixels_.data(), width_, height_, scratch_.data(), width, height);
    setSize(width, height);
    std::memcpy(pixels_.data(), scratch_.data(), sizeof(uint32_t) * static_cast<size_t>(width) * height);
}

void VideoImage::scaleImage(const uint32_t* source, int sw, int sh, uint32_t* destination, int dw,
                            int dh)
{
    if (!source || !destination || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    if (sw == dw && sh == dh) {
        std::memcpy(destination, source, sizeof(uint32_t) * static_cast<size_t>(sw) * sh);
        return;
    }
    if (dw > sw) {
        // Stretch: each destination pixel repeats one source pixel. The column term starts
        // from the heights, as the row term does; with a source much narrower than the
        // destination it would step past the row's end, so the column stops at the last.
        int row = 0;
        int rowError = sh - dh;
        for (int y = 0; y < dh; ++y) {
            const uint32_t* in = source + static_cast<size_t>(row) * sw;
            uint32_t* out = destination + static_cast<size_t>(y) * dw;
            int j = 0;
            int error = 2 * sh - dh - 2;
            for (int x = 0; x < dw; ++x) {
                out[x] = in[j];
                if (error >= 0) {
                    if (j < sw - 1)
                        ++j;
                    error += 2 * sw - 2 * dw;
                } else {
                    error += 2 * sw - 2;
                }
            }
            if (rowError >= 0) {
                if (row < sh - 1)
                    ++row;
                rowError += 2 * sh - 2 * dh;
            } else {
                rowError += 2 * sh - 2;
            }
        }
        return;
    }

    // Shrink: each destination pixel is the average of the source pixels that map to it.
    // The column of each source pixel is the same for every row, so it is worked out once.
    Array<ColumnSums> sums;
    sums.setSize(dw);
    Array<int> columnOf;
    columnOf.setSize(sw);
    {
        int k = 0;
        int error = 2 * dh - sh - 2;
        for (int x = 0; x < sw; ++x) {
            columnOf[x] = k;
            if (error >= 0) {
                // Sources much taller than wide would step past the last column.
                if (k < dw - 1)
                    ++k;
                error += 2 * dw - 2 * sw;
            } else {
                error += 2 * dw - 2;
            }
        }
    }
    auto writeRow = [&](int y) {
        uint32_t* out = destination + static_cast<size_t>(y) * dw;
        uint32_t previous = 0;
        for (int k = 0; k < dw; ++k) {
            const ColumnSums& s = sums[k];
            // A column no source pixel reached repeats its left neighbour.
            if (s.number > 0)
                previous = static_cast<uint32_t>(s.red / s.number) * 65536
                    + static_cast<uint32_t>(s.green / s.number) * 256
                    + static_cast<uint32_t>(s.blue / s.number);
            out[k] = previous;
        }
    };
    auto startRow = [&]() {
        for (int k = 0; k < dw; ++k)
            sums[k] = ColumnSums{0, 0, 0, 0};
    };

    int i = 0;
    int rowError = dh - sh;
    int written = 0;
    startRow();
    for (int y = 0; y < sh && i < dh; ++y) {
        const uint32_t* in = source + static_cast<size_t>(y) * sw;
        for (int x = 0; x < sw; ++x) {
            ColumnSums& s = sums[columnOf[x]];
            uint32_t p = in[x];
            s.red += (p >> 16) & 0xFF;
            s.green += (p >> 8) & 0xFF;
            s.blue += p & 0xFF;
            ++s.number;
        }
        bool last = y == sh - 1;
        if (rowError >= 0) {
            writeRow(i);
            written = ++i;
            startRow();
            rowError += 2 * dh - 2 * sh;
        } else {
            rowError += 2 * dh - 2;
            if (last) {
                writeRow(i);
                written = i + 1;
            }
        }
    }
    // A source less tall than the destination yields fewer rows: the last one repeats.
    for (int y = written; y < dh; ++y) {
        uint32_t* out = destination + static_cast<size_t>(y) * dw;
        if (written > 0)
            std::memcpy(out, destination + static_cast<size_t>(written - 1) * dw,
                        sizeof(uint32_t) * static_cast<size_t>(dw));
        else
            std::fill(out, out + dw, 0u);
    }
}

void VideoImage::diffFrames(const VideoImage& reference, VideoImage& current, RunList& runs,
                            int threshold)
{
    runs.setSize(0);
    int n = std::min(current.pixelCount(), reference.pixelCount());
    if (current.isEmpty() || reference.isEmpty() || n <= 0)
        return;
    uint32_t* cur = current.pixels_.data();
    const uint32_t* ref = reference.pixels_.data();
    // Room for the most the list can take (every pixel in runs of two, each with its start
    // and count) before the first run: the list grows by single pixels while runs merge, and
    // an array without a growth step would copy itself for each of them.
    const int most = 2 * n + 2;
    if (runs.capacity() < most)
        runs.setCapacity(most);

    int previousStart = -1;
    int previousEnd = -1;
    int previousCountAt = -1; // index of the previous run's count in the list
    int p = 0;
    while (p < n) {
        if (!changed(cur[p], ref[p], threshold)) {
            cur[p] = ref[p];
            ++p;
            continue;
        }
        int start = p++;
        while (p < n && p - start < MaxRunLength) {
            if (changed(cur[p], ref[p], threshold)) {
                ++p;
                continue;
            }
            // The first unchanged pixel behind the changed ones closes the run.
            cur[p] = ref[p];
            ++p;
            break;
        }
        int end = p;
        if (end - start == 1 && start > 0) {
            // A lone changed last pixel: the run takes its unchanged neighbour in front,
            // which the peer already holds, so that it keeps the two-pixel minimum and
            // the change still reaches the peer.
            --start;
        }
        if (previousStart >= 0 && start - previousEnd < 3 && end - previousStart < MaxRunLength
            && start >= previousEnd) {
            // Near the previous run: that run grows over the gap (whose pixels already
            // hold the reference's values) to this run's end.
            for (int q = previousEnd; q < end; ++q)
                runs.add(static_cast<int32_t>(cur[q]));
            runs[previousCountAt] = end - previousStart;
            previousEnd = end;
            continue;
        }
        int at = runs.count();
        runs.setSize(at + 2 + (end - start));
        int32_t* out = runs.data() + at;
        out[0] = start;
        out[1] = end - start;
        std::memcpy(out + 2, cur + start, sizeof(uint32_t) * static_cast<size_t>(end - start));
        previousStart = start;
        previousEnd = end;
        previousCountAt = at + 1;
    }
}

bool VideoImage::applyRuns(const int32_t* runs, int count)
{
    if (isEmpty())
        return false;
    if (!runsFit(runs, count, pixelCount()))
        return false;
    uint32_t* out = pixels_.data();
    for (int i = 0; i < count; i += 2 + runs[i + 1])
        std::memcpy(out + runs[i], runs + i + 2, sizeof(uint32_t) * static_cast<size_t>(runs[i + 1]));
    return true;
}

bool VideoImage::applyRunsMasked(const int32_t* runs, int count, uint32_t mask)
{
    if (isEmpty())
        return false;
    if (!runsFit(runs, count, pixelCount()))
        return false;
    uint32_t* out = pixels_.data();
    for (int i = 0; i < count; i += 2 + runs[i + 1]) {
        uint32_t* p = out + runs[i];
        for (int k = 0; k < runs[i + 1]; ++k)
            p[k] |= mask;
    }
    return true;
}

int VideoImage::encodeRuns(const RunList& runs, ByteArray& out, int offset)
{
    const int32_t* r = runs.data();
    int count = runs.count();
    if (offset < 0)
        offset = 0;
    int64_t length = 0;
    int i = 0;
    while (i + 2 <= count && r[i + 1] >= 0 && r[i + 1] <= count - i - 2) {
        length += 5 + 3 * static_cast<int64_t>(r[i + 1]);
        i += 2 + r[i + 1];
    }
    int usable = i; // a list cut short is written up to its last whole run
    if (length > INT32_MAX - offset)
        throw MemoryException();
    out.setSize(offset + static_cast<int>(length));
    uint8_t* o = out.data() + offset;
    for (i = 0; i < usable;) {
        uint32_t start = static_cast<uint32_t>(r[i]);
        int n = r[i + 1];
        o[0] = static_cast<uint8_t>(start >> 16);
        o[1] = static_cast<uint8_t>(start >> 8);
        o[2] = static_cast<uint8_t>(start);
        o[3] = static_cast<uint8_t>(n >> 8);
        o[4] = static_cast<uint8_t>(n);
        o += 5;
        const int32_t* px = r + i + 2;
        for (int k = 0; k < n; ++k, o += 3) {
            uint32_t v = static_cast<uint32_t>(px[k]);
            o[0] = static_cast<uint8_t>(v >> 16);
            o[1] = static_cast<uint8_t>(v >> 8);
            o[2] = static_cast<uint8_t>(v);
        }
        i += 2 + n;
    }
    return static_cast<int>(length);
}

bool VideoImage::decodeRuns(const uint8_t* bytes, int length, RunList& runs, int pixelCount)
{
    runs.setSize(0);
    if (length <= 0)
        return true;
    if (!bytes)
        return false;
    int pos = 0;
    while (pos < length) {
        if (length - pos < 5) {
            runs.setSize(0);
            return false;
        }
        const uint8_t* b = bytes + pos;
        int start = (b[0] << 16) | (b[1] << 8) | b[2];
        int n = (b[3] << 8) | b[4];
        pos += 5;
        if (n < 1 || start >= pixelCount || n > pixelCount - start || n > (length - pos) / 3) {
            runs.setSize(0);
            return false;
        }
        int at = runs.count();
        runs.setSize(at + 2 + n);
        int32_t* out = runs.data() + at;
        out[0] = start;
        out[1] = n;
        b = bytes + pos;
        for (int k = 0; k < n; ++k, b += 3)
            out[2 + k] = (b[0] << 16) | (b[1] << 8) | b[2];
        pos += 3 * n;
    }
    return true;
}

int VideoImage::encodeKeyFrame(const uint32_t* pixels, int width, int height, ByteArray& out,
                               int offset)
{
    if (offset < 0)
        offset = 0;
    if (!pixels || width <= 0 || height <= 0) {
        out.setSize(offset);
        return 0;
    }
    int64_t length = 3 * static_cast<int64_t>(width) * height;
    if (length > INT32_MAX - offset)
        throw MemoryException();
    out.setSize(offset + static_cast<int>(length));
    uint8_t* o = out.data() + offset;
    int64_t n = static_cast<int64_t>(width) * height;
    for (int64_t i = 0; i < n; ++i, o += 3) {
        uint32_t v = pixels[i];
        o[0] = static_cast<uint8_t>(v >> 16);
        o[1] = static_cast<uint8_t>(v >> 8);
        o[2] = static_cast<uint8_t>(v);
    }
    return static_cast<int>(length);
}

bool VideoImage::decodeKeyFrame(const uint8_t* bytes, int length, int width, int height)
{
    if (!bytes || width <= 0 || height <= 0 || length < 0)
        return false;
    if (3 * static_cast<int64_t>(width) * height != length)
        return false;
    setSize(width, height);
    readRgbPixels(bytes, pixels_.data(), width * height);
    return true;
}

} // namespace orvane
