#include "modules/video/SyntheticCaptureSource.h"
#include "modules/video/VideoThread.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace orvane {
namespace {

constexpr int kWaitMs = 10000;

VideoThread::SourceFactory synthetic(int width, int height)
{
    return [=] { return std::make_unique<SyntheticCaptureSource>(width, height, 24); };
}

VideoImage marked()
{
    const uint32_t pixels[] = {1, 2, 3, 4};
    VideoImage image;
    image.setPixels(pixels, 2, 2);
    return image;
}

TEST(VideoThread, GetFrameBeforeAnyFrameLeavesTheImageAlone)
{
    VideoThread thread(synthetic(320, 240));
    VideoImage image = marked();
    thread.getFrame(&image, 120, 90);
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.pixels()[3], 4u);
    thread.getFrame(nullptr, 120, 90);
}

TEST(VideoThread, HandsSessionsTheCameraFrameScaledToTheSendSize)
{
    VideoThread thread(synthetic(320, 240));
    thread.init();
    thread.start();
    ASSERT_TRUE(thread.waitForFrame(kWaitMs));
    EXPECT_TRUE(thread.isActive());

    VideoImage image;
    thread.getFrame(&image, 120, 90);
    ASSERT_EQ(image.width(), 120);
    ASSERT_EQ(image.height(), 90);
    EXPECT_EQ(image.pixels()[0] & 0xFFFFFF, 0xC0C0C0u);          // first bar
    EXPECT_EQ(image.pixels()[120 * 90 - 1] & 0xFFFFFF, 0x101010u); // last bar

    thread.getFrame(&image, 0, 0);
    EXPECT_EQ(image.width(), 320);
    EXPECT_EQ(image.height(), 240);

    thread.stop(true);
    EXPECT_FALSE(thread.isActive());
    // The camera is free again for the next capture thread.
    CFrameGrabber next;
    EXPECT_TRUE(next.Create(std::make_unique<SyntheticCaptureSource>(8, 8, 24)));
}

TEST(VideoThread, WithoutACameraTheThreadEndsQuietlyAndNoFrameComes)
{
    std::vector<std::string> reports;
    VideoThread thread([] { return std::unique_ptr<CaptureSource>(); });
    thread.setErrorReport([&](const char* text) { reports.push_back(text); });
    thread.init();
    thread.start();
    EXPECT_FALSE(thread.waitForFrame(kWaitMs));
    thread.stop(true);
    EXPECT_FALSE(thread.isActive());
    EXPECT_TRUE(reports.empty());
    VideoImage image = marked();
    thread.getFrame(&image, 120, 90);
    EXPECT_EQ(image.width(), 2);
}

// A source that fails while the loop runs.
class FailingSource : public CaptureSource {
public:
    bool open() override { return true; }
    bool grab(ByteArray&) override { throw MemoryException(); }
    void close() override {}
};

TEST(VideoThread, AFailureInTheLoopIsReportedAndReleasesTheCamera)
{
    std::mutex lock;
    std::vector<std::string> reports;
    VideoThread thread([] { return std::make_unique<FailingSource>(); });
    thread.setErrorReport([&](const char* text) {
        std::lock_guard<std::mutex> guard(lock);
        reports.push_back(text);
    });
    thread.init();
    thread.start();
    EXPECT_FALSE(thread.waitForFrame(kWaitMs));
    thread.stop(true);
    EXPECT_EQ(reports, std::vector<std::string>{"Error in VideoThread !"});
    CFrameGrabber next;
    EXPECT_TRUE(next.Create(std::make_unique<SyntheticCaptureSource>(8, 8, 24)));
}

} // namespace
} // namespace orvane
