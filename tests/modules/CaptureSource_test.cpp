#include "modules/video/CFrameGrabber.h"
#include "modules/video/CaptureSource.h"
#include "modules/video/FileCaptureSource.h"
#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/V4l2CaptureSource.h"
#include "modules/video/V4l2FrameConverter.h"
#include "modules/video/VideoImage.h"

#include "tests/support/Hex.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace orvane {
namespace {

using testing::bytesOfHex;

std::vector<uint32_t> colours(const VideoImage& image)
{
    std::vector<uint32_t> out(image.pixels(), image.pixels() + image.pixelCount());
    for (uint32_t& p : out)
        p &= 0xFFFFFF;
    return out;
}

VideoImage pictureOf(const ByteArray& dib)
{
    VideoImage image;
    EXPECT_TRUE(image.setFromCaptureDib(dib.data(), static_cast<size_t>(dib.count())));
    return image;
}

TEST(CaptureSource, TheSettingChoosesTheSource)
{
    struct Case {
        const char* setting;
        const char* kind;
    } cases[] = {
        {"none", nullptr},
        {"synthetic:320x240x24", "synthetic"},
        {"synthetic:160x120x16", "synthetic"},
        {"synthetic:176x144x32", "synthetic"},
        {"synthetic:320x240x8", nullptr},
        {"synthetic:0x240x24", nullptr},
        {"synthetic:320x240x24x", nullptr},
        {"synthetic:", nullptr},
        {"file:/tmp/picture.bmp", "file"},
        {"file:", nullptr},
        {"v4l2:/dev/video7", "v4l2"},
        {"camera", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        std::unique_ptr<CaptureSource> source = createCaptureSource(c.setting);
        std::string kind = !source                                              ? ""
            : dynamic_cast<SyntheticCaptureSource*>(source.get())              ? "synthetic"
            : dynamic_cast<FileCaptureSource*>(source.get())                   ? "file"
            : dynamic_cast<V4l2CaptureSource*>(source.get())                   ? "v4l2"
                                                                               : "other";
        EXPECT_EQ(kind, c.kind ? c.kind : "");
    }
    // Without a setting the first V4L2 device, and without one no camera.
    std::unique_ptr<CaptureSource> fallback = createCaptureSource(nullptr);
    EXPECT_EQ(fallback != nullptr, !V4l2CaptureSource::firstDevice().empty());

    ::setenv("ORVANE_VIDEO_SOURCE", "synthetic:64x48x24", 1);
    std::unique_ptr<CaptureSource> fromEnvironment = captureSourceFromEnvironment();
    ::unsetenv("ORVANE_VIDEO_SOURCE");
    EXPECT_NE(dynamic_cast<SyntheticCaptureSource*>(fromEnvironment.get()), nullptr);
}

TEST(CaptureSource, TheTestPatternArrivesBottomRowFirstAndMoves)
{
    for (int bitCount : {16, 24, 32}) {
        SCOPED_TRACE(bitCount);
        SyntheticCaptureSource source(90, 60, bitCount);
        ASSERT_TRUE(source.open());
        ByteArray dib;
        ASSERT_TRUE(source.grab(dib));
        VideoImage first = pictureOf(dib);
        ASSERT_TRUE(source.grab(dib));
        VideoImage second = pictureOf(dib);
        ASSERT_EQ(first.width(), 90);
        ASSERT_EQ(first.height(), 60);
        // 16 bits keep 5 bits a colour, read back as 8v + 7.
        const uint32_t grey = bitCount == 16 ? 0xC7C7C7 : 0xC0C0C0;
        const uint32_t dark = bitCount == 16 ? 0x171717 : 0x101010;
        EXPECT_EQ(first.pixels()[0] & 0xFFFFFF, grey);
        EXPECT_EQ(first.pixels()[90 * 60 - 1] & 0xFFFFFF, dark);
        // The 15-pixel white square starts at column 0, row 20, then at column 3.
        EXPECT_EQ(first.pixels()[20 * 90 + 0] & 0xFFFFFF, 0xFFFFFFu);
        EXPECT_EQ(first.pixels()[19 * 90 + 0] & 0xFFFFFF, grey);
        EXPECT_EQ(first.pixels()[35 * 90 + 0] & 0xFFFFFF, grey);
        EXPECT_EQ(second.pixels()[20 * 90 + 0] & 0xFFFFFF, grey);
        EXPECT_EQ(second.pixels()[20 * 90 + 3] & 0xFFFFFF, 0xFFFFFFu);
        EXPECT_EQ(second.pixels()[34 * 90 + 17] & 0xFFFFFF, 0xFFFFFFu);
        EXPECT_EQ(source.frameCount(), 2);
    }
}

class FileSourceTest : public ::testing::Test {
protected:
    std::string write(const char* name, const std::vector<uint8_t>& bytes)
    {
        std::string path = ::testing::TempDir() + "video_capture_" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
        paths_.push_back(path);
        return path;
    }
    void TearDown() override
    {
        for (const std::string& p : paths_)
            std::remove(p.c_str());
    }
    std::vector<std::string> paths_;
};

// 2 by 2, 24 bits: rows of 6 bytes and 2 padding, bottom row (red, green) first.
const char* kBmpHeader = "28000000 02000000 02000000 0100 1800 00000000 10000000 130b0000 130b0000 00000000 00000000";
const char* kBmpRows = "0000ff 00ff00 0000" "ff0000 ffffff 0000";
const std::vector<uint32_t> kBmpPicture = {0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00};

TEST_F(FileSourceTest, ShowsABitmapFileOrAPackedBitmapOnEveryGrab)
{
    struct Case {
        const char* name;
        std::string hex;
    } cases[] = {
        {"plain.bmp", std::string("424d 46000000 00000000 36000000 ") + kBmpHeader + kBmpRows},
        {"gap.bmp", std::string("424d 4a000000 00000000 3a000000 ") + kBmpHeader + "eeeeeeee" + kBmpRows},
        {"packed.dib", std::string(kBmpHeader) + kBmpRows},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileCaptureSource source(write(c.name, bytesOfHex(c.hex.c_str())));
        ASSERT_TRUE(source.open());
        ByteArray dib;
        for (int grab = 0; grab < 2; ++grab) {
            ASSERT_TRUE(source.grab(dib));
            EXPECT_EQ(colours(pictureOf(dib)), kBmpPicture);
        }
    }
}

TEST_F(FileSourceTest, RefusesFilesItCannotShow)
{
    std::string header8 = "28000000 02000000 02000000 0100 0800 00000000 00000000 00000000 00000000 00000000 00000000";
    struct Case {
        const char* name;
        std::string hex;
    } cases[] = {
        {"cut.bmp", std::string("424d 46000000 00000000 36000000 ") + kBmpHeader + "0000ff 00ff00 0000 ff0000"},
        {"offset-beyond.bmp", std::string("424d 46000000 00000000 ff000000 ") + kBmpHeader + kBmpRows},
        {"palette.bmp", std::string("424d 46000000 00000000 36000000 ") + header8 + "0001 0000 0203 0000"},
        {"text.txt", "68656c6c6f"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FileCaptureSource source(write(c.name, bytesOfHex(c.hex.c_str())));
        EXPECT_FALSE(source.open());
        ByteArray dib;
        EXPECT_FALSE(source.grab(dib));
    }
    FileCaptureSource missing(::testing::TempDir() + "video_capture_missing.bmp");
    EXPECT_FALSE(missing.open());
}

TEST(V4l2CaptureSource, AMissingDeviceOrAFileThatIsNoCameraDoesNotOpen)
{
    for (const char* device : {"/dev/video-missing", "/dev/null"}) {
        SCOPED_TRACE(device);
        V4l2CaptureSource source(device);
        EXPECT_FALSE(source.open());
        ByteArray dib;
        EXPECT_FALSE(source.grab(dib));
    }
}

// Sample frames as a camera delivers them, converted without a device.
TEST(V4l2FrameConverter, ConvertsCameraFormatsToTheCaptureBitmap)
{
    struct Case {
        const char* name;
        V4l2FrameFormat format;
        const char* hex;
        std::vector<uint32_t> picture;
    } cases[] = {
        // Y U Y V with neutral chroma: grey at each Y.
        {"YUYV", {V4L2_PIX_FMT_YUYV, 4, 2, 8, 16}, "10803280 64806480 00800080 ff80ff80",
         {0x101010, 0x323232, 0x646464, 0x646464, 0x000000, 0x000000, 0xFFFFFF, 0xFFFFFF}},
        // Red, green, blue order: must not be read as the bitmap's blue, green, red.
        {"RGB24", {V4L2_PIX_FMT_RGB24, 2, 2, 6, 12}, "ff0000 00ff00 0000ff 102030",
         {0xFF0000, 0x00FF00, 0x0000FF, 0x102030}},
        // Already in the bitmap's order, lines padded to 8 bytes.
        {"BGR24", {V4L2_PIX_FMT_BGR24, 2, 2, 8, 16}, "0000ff 00ff00 eeee 302010 ffffff eeee",
         {0xFF0000, 0x00FF00, 0x102030, 0xFFFFFF}},
    };
    V4l2FrameConverter converter;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> frame = bytesOfHex(c.hex);
        ByteArray dib;
        ASSERT_TRUE(converter.toCaptureDib(c.format, frame.data(), frame.size(), dib)) << converter.lastError();
        VideoImage image = pictureOf(dib);
        EXPECT_EQ(image.width(), c.format.width);
        EXPECT_EQ(colours(image), c.picture);
    }
}

TEST(V4l2FrameConverter, RefusesFramesItCannotConvert)
{
    struct Case {
        const char* name;
        V4l2FrameFormat format;
        size_t length;
    } cases[] = {
        {"unknown format", {v4l2_fourcc('X', 'X', 'X', 'X'), 4, 2, 8, 16}, 16},
        {"YUYV cut short", {V4L2_PIX_FMT_YUYV, 4, 2, 8, 16}, 10},
        {"BGR24 cut short", {V4L2_PIX_FMT_BGR24, 4, 2, 12, 24}, 23},
        {"BGR24 lines shorter than the pixels", {V4L2_PIX_FMT_BGR24, 4, 2, 6, 24}, 24},
        {"zero width", {V4L2_PIX_FMT_YUYV, 0, 2, 0, 16}, 16},
        {"larger than any camera", {V4L2_PIX_FMT_BGR24, 100000, 1, 300000, 32}, 32},
    };
    std::vector<uint8_t> frame(64, 0x80);
    V4l2FrameConverter converter;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ByteArray dib;
        EXPECT_FALSE(converter.toCaptureDib(c.format, frame.data(), c.length, dib));
        EXPECT_STRNE(converter.lastError(), "");
    }
}

class GrabberTest : public ::testing::Test {
protected:
    uint32_t now = 1000;
    CFrameGrabber::Clock clock() { return [this] { return now; }; }
};

TEST_F(GrabberTest, AsksForAFrameAtMostEvery20Milliseconds)
{
    auto owned = std::make_unique<SyntheticCaptureSource>(32, 24, 24);
    SyntheticCaptureSource* source = owned.get();
    CFrameGrabber grabber;
    grabber.setClock(clock());
    ASSERT_TRUE(grabber.Create(std::move(owned)));

    const ByteArray* first = grabber.GrabFrame();
    ASSERT_NE(first, nullptr);
    now += 20;
    EXPECT_EQ(grabber.GrabFrame(), first);
    EXPECT_EQ(source->frameCount(), 1);
    now += 1;
    EXPECT_NE(grabber.GrabFrame(), nullptr);
    EXPECT_EQ(source->frameCount(), 2);
    // The tick wraps at 32 bits: 21 ms across the wrap is a new frame.
    now = 0xFFFFFFF0u;
    grabber.GrabFrame();
    now = 5;
    grabber.GrabFrame();
    EXPECT_EQ(source->frameCount(), 4);
    now = 10;
    grabber.GrabFrame();
    EXPECT_EQ(source->frameCount(), 4);
}

TEST_F(GrabberTest, OnlyOneGrabberHoldsTheCamera)
{
    CFrameGrabber first, second;
    EXPECT_FALSE(first.Create(nullptr));
    EXPECT_FALSE(first.Create(std::make_unique<FileCaptureSource>("/nonexistent/picture.bmp")));
    ASSERT_TRUE(first.Create(std::make_unique<SyntheticCaptureSource>(32, 24, 24)));
    EXPECT_FALSE(first.Create(std::make_unique<SyntheticCaptureSource>(32, 24, 24)));
    EXPECT_FALSE(second.Create(std::make_unique<SyntheticCaptureSource>(32, 24, 24)));
    first.Destroy();
    EXPECT_EQ(first.GrabFrame(), nullptr);
    EXPECT_TRUE(second.Create(std::make_unique<SyntheticCaptureSource>(32, 24, 24)));
}

} // namespace
} // namespace orvane
