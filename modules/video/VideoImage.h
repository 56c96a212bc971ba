#pragma once

#include "foundation/Containers.h"

#include <cstddef>
#include <cstdint>

namespace orvane {

// A run list: runs back to back, each its start (index of its first pixel, counted row by
// row from the top-left pixel), its count n, then its n pixel values. A run's pixels are
// consecutive in the pixel array, so a run may wrap from one row's end to the next row.
using RunList = Array<int32_t>;

// The video module's picture: pixels 0x00RRGGBB row by row from the top-left, left to
// right. The top byte carries no meaning: every comparison and encoder reads the three
// colour bytes only. A new image is empty (0 by 0); an image is empty when its width or its
// height is 0. Copying takes the pixels, width and height.
//
// Wire forms (numbers big-endian, a pixel as three bytes red, green, blue):
//   key-frame pixels: width x height pixels in pixel order, 3 * width * height bytes;
//   delta runs:       per run its start (3 bytes), its count (2 bytes), count pixels.
// Everything read from a peer is checked against the picture and the bytes before anything
// is allocated or written, and a frame that fails any check is refused whole.
//
// Storage is kept between frames and grows only when a larger size comes; growing throws
// MemoryException when memory runs out. Not thread-safe: one owner at a time.
class VideoImage {
public:
    // A pixel is changed when one colour byte differs from the reference by more than this.
    static constexpr int DiffThreshold = 7;
    // The longest run the run builder emits (0xFFFE: a two-byte count never reaches 0xFFFF).
    static constexpr int MaxRunLength = 0xFFFE;
    // The longest count a received run may carry (the two-byte field's whole range).
    static constexpr int MaxReceivedRunLength = 0xFFFF;
    // Largest side a capture bitmap or a key frame may have; keeps sizes inside int.
    static constexpr int MaxSide = 8192;
    // Size of the header at the start of a packed capture bitmap.
    static constexpr int CaptureHeaderSize = 40;
    // The colour of the corner brackets (yellow).
    static constexpr uint32_t BracketColour = 0xE5E500;

    VideoImage() = default;
    VideoImage(const VideoImage& other);
    VideoImage& operator=(const VideoImage& other);

    // Takes the other's pixels, width and height; NULL changes nothing.
    void copy(const VideoImage* other);
    // Takes width x height pixels from the pointer. NULL or a negative size changes nothing.
    void setPixels(const uint32_t* pixels, int width, int height);
    // The picture from 3-byte red, green, blue pixels, top row first without row padding
    // (the layout of a toolkit image's data). NULL, a size that is not positive or above
    // MaxSide leaves the image empty and answers false.
    bool loadFromBitmap(const uint8_t* rgb, int width, int height);
    // The pixels of a packed capture bitmap of length bytes: a 40-byte little-endian header
    // (header size, width, height, planes, bit count, compression, ...) and the rows, bottom
    // row first, each padded to a multiple of 4 bytes, from the offset the header's size
    // field gives. Uncompressed 16 (5-5-5), 24 and 32 bits a pixel are read; anything else
    // (other depths, compressed formats, negative or oversized dimensions, too few bytes)
    // is refused: false, the image unchanged. On a new size the image takes it first.
    bool setFromCaptureDib(const uint8_t* dib, size_t length);
    // Fills pixels (width x height) from capture bitmap rows of the given depth, rows in the
    // order they are stored; false for a depth it does not read. The caller has checked that
    // bits holds the padded rows.
    static bool convertCaptureDib(const uint8_t* bits, int bitCount, uint32_t* pixels, int width,
                                  int height);
    // Reverses the row order in place; nothing for NULL or a zero size.
    static void flipVertical(uint32_t* pixels, int width, int height);
    // Pixels x1 to x2 (either order, both included, clipped) of row y take the colour;
    // nothing when y lies outside the picture.
    static void drawHorizontalLine(uint32_t* pixels, int width, int height, int x1, int x2, int y,
                                   uint32_t colour);
    // Rows y1 to y2 (either order, both included, clipped) of column x take the colour;
    // nothing when x lies outside the picture.
    static void drawVerticalLine(uint32_t* pixels, int width, int height, int y1, int y2, int x,
                                 uint32_t colour);
    // Four yellow corner brackets, a tenth of the size in from each corner.
    static void drawCornerBrackets(VideoImage& image);
    // Scales the picture to width by height (box average when shrinking, pixel replication
    // when stretching). Nothing for a negative size or an empty image; 0 empties it.
    void resizeImage(int width, int height);
    // Scales source pixels (sw x sh) into destination pixels (dw x dh) with integer error
    // terms; nothing for NULL or a zero size. Never reads outside the source nor writes
    // outside the destination.
    static void scaleImage(const uint32_t* source, int sw, int sh, uint32_t* destination, int dw,
                           int dh);
    // Fills runs (emptied first) with the pixels of current that changed against reference,
    // each run closed by the first unchanged pixel behind its changed ones, at most
    // MaxRunLength long, near runs merged. Unchanged pixels of current take the reference's
    // values, so that what is sent and what the reference holds stay equal. current must not
    // be larger than reference.
    static void diffFrames(const VideoImage& reference, VideoImage& current, RunList& runs,
                           int threshold = DiffThreshold);
    // Writes the runs' pixels into the picture. Nothing for an empty image; a list whose
    // runs do not all lie inside the picture (or that is cut short) is refused whole: false,
    // nothing written.
    bool applyRuns(const int32_t* runs, int count);
    bool applyRuns(const RunList& runs) { return applyRuns(runs.data(), runs.count()); }
    // ORs the mask into the picture's pixels over each run's range; the runs' own pixel
    // values are not used. Checked and refused as applyRuns.
    bool applyRunsMasked(const int32_t* runs, int count, uint32_t mask);
    bool applyRunsMasked(const RunList& runs, uint32_t mask)
    {
        return applyRunsMasked(runs.data(), runs.count(), mask);
    }
    // Writes the runs as delta-run bytes into out from offset on (out's count becomes
    // offset + the length) and answers the length; 0 for an empty list.
    static int encodeRuns(const RunList& runs, ByteArray& out, int offset = 0);
    // Reads delta-run bytes into runs (emptied first). Every run must have a count of at
    // least 1, lie within pixelCount pixels and have its pixels inside the length;
    // otherwise false with runs empty.
    static bool decodeRuns(const uint8_t* bytes, int length, RunList& runs, int pixelCount);
    // Writes width x height pixels as key-frame bytes into out from offset on (out's count
    // becomes offset + the length) and answers the length.
    static int encodeKeyFrame(const uint32_t* pixels, int width, int height, ByteArray& out,
                              int offset = 0);
    // The picture at width x height from key-frame bytes. The size must be positive and
    // length exactly 3 * width * height; otherwise false, the image unchanged.
    bool decodeKeyFrame(const uint8_t* bytes, int length, int width, int height);

    // Empties the image (0 by 0); the storage is kept.
    void clear();
    bool isEmpty() const { return width_ == 0 || height_ == 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    int pixelCount() const { return width_ * height_; }
    uint32_t* pixels() { return pixels_.data(); }
    const uint32_t* pixels() const { return pixels_.data(); }

private:
    // Takes the size; a size that differs sets every pixel to 0.
    void setSize(int width, int height);

    Array<uint32_t> pixels_;
    int width_ = 0;
    int height_ = 0;
    // Working storage for scaling; its contents carry no meaning between operations.
    Array<uint32_t> scratch_;
};

} // namespace orvane
