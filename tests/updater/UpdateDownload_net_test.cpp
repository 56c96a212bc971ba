// The update program's download against nginx on loopback, and a stand-in that cuts the
// body short: what the listener hears and what is left on disk.

#include "tests/foundation/TempDirectory.h"
#include "tests/network/NginxServer.h"
#include "tests/support/RawLoopback.h"
#include "tests/updater/UpdateFixtures.h"
#include "updater/UpdateDownload.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace orvane {
namespace {

using testing::NginxServer;
using testing::readBytes;
using testing::TempDirectory;
using testing::writeBytes;
using testing::fileExists;
using testing::newProgram;
using testing::OldProgram;
using testing::waitForFile;

struct Heard : UpdateDownload::Listener {
    std::optional<int64_t> length;
    std::vector<int64_t> chunks;
    std::optional<UpdateDownload::Failure> failure;
    bool done = false;
    void onBegin(int64_t n) override { length = n; }
    void onProgress(int64_t n) override { chunks.push_back(n); }
    void onFailed(UpdateDownload::Failure f) override { failure = f; }
    void onDone() override { done = true; }
};

class UpdateDownloadTest : public ::testing::Test {
protected:
    UpdateDownloadTest()
        // SSI output carries no Content-Length.
        : nginx_("location /nolength/ { ssi on; default_type text/html; }\n")
    {
        nginx_.putFile("orvane", newProgram());
        ::mkdir((nginx_.documentRoot() + "/nolength").c_str(), 0755);
        nginx_.putFile("nolength/orvane", newProgram());
        writeBytes(target_, OldProgram, 0755);
    }

    Heard run(const std::string& url, const std::string& target, int64_t maxSize = UpdateDownload::DefaultMaxFileSize)
    {
        Heard heard;
        UpdateDownload download(url, target, heard);
        download.setMaxFileSize(maxSize);
        download.run();
        return heard;
    }

    void expectOldTargetUntouched()
    {
        EXPECT_EQ(readBytes(target_), OldProgram);
        EXPECT_FALSE(fileExists(target_ + ".tmp")) << "no temporary file left behind";
        EXPECT_FALSE(fileExists(target_ + ".ran")) << "nothing was started";
    }

    NginxServer nginx_;
    TempDirectory folder_;
    std::string target_ = folder_ / "orvane";
};

TEST_F(UpdateDownloadTest, ReplacesTheTargetInChunksAndStartsIt)
{
    ASSERT_TRUE(nginx_.ok());
    const Heard heard = run(nginx_.url("/orvane"), target_);
    EXPECT_FALSE(heard.failure.has_value());
    EXPECT_EQ(heard.length, 12000);
    EXPECT_EQ(heard.chunks, (std::vector<int64_t>{5000, 5000, 2000}));
    EXPECT_TRUE(heard.done);
    EXPECT_EQ(readBytes(target_), newProgram());
    EXPECT_FALSE(fileExists(target_ + ".tmp"));
    ASSERT_TRUE(waitForFile(target_ + ".ran")) << "the new program was started";
    EXPECT_EQ(readBytes(target_ + ".ran"), "new\n");
}

TEST_F(UpdateDownloadTest, ABadAnswerLeavesTheTargetAsItWas)
{
    ASSERT_TRUE(nginx_.ok());
    struct Case {
        const char* what;
        std::string url;
        int64_t maxSize;
    };
    const Case cases[] = {
        {"404", nginx_.url("/missing"), UpdateDownload::DefaultMaxFileSize},
        {"no Content-Length although there is a body", nginx_.url("/nolength/orvane"),
         UpdateDownload::DefaultMaxFileSize},
        {"beyond the size cap", nginx_.url("/orvane"), 11999},
        {"nobody listening", "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/orvane",
         UpdateDownload::DefaultMaxFileSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Heard heard = run(c.url, target_, c.maxSize);
        EXPECT_EQ(heard.failure, UpdateDownload::Failure::CannotDownload);
        EXPECT_FALSE(heard.done);
        expectOldTargetUntouched();
    }
}

TEST_F(UpdateDownloadTest, ABodyCutShortLeavesTheTargetAsItWas)
{
    uint16_t port = 0;
    const int listener = testing::listenOnLoopback(port);
    ASSERT_GE(listener, 0);
    std::thread peer([listener] {
        const int connection = ::accept(listener, nullptr, nullptr);
        char request[4096];
        (void)::read(connection, request, sizeof request);
        std::string answer = "HTTP/1.0 200 OK\r\nContent-Length: 12000\r\n\r\n";
        answer += newProgram().substr(0, 7000);
        (void)::write(connection, answer.data(), answer.size());
        ::close(connection);
    });
    const Heard heard = run("http://127.0.0.1:" + std::to_string(port) + "/orvane", target_);
    peer.join();
    ::close(listener);
    EXPECT_EQ(heard.failure, UpdateDownload::Failure::CannotDownload);
    expectOldTargetUntouched();
}

TEST_F(UpdateDownloadTest, AFolderThatCannotBeWrittenIsReportedAtOnce)
{
    ASSERT_TRUE(nginx_.ok());
    writeBytes(folder_ / "plain-file", "x");
    // Root writes into read-only folders, so the folders here cannot hold files for anyone.
    const std::string targets[] = {folder_ / "missing-folder/orvane", folder_ / "plain-file/orvane"};
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        const auto started = std::chrono::steady_clock::now();
        const Heard heard = run(nginx_.url("/orvane"), target);
        EXPECT_EQ(heard.failure, UpdateDownload::Failure::CannotCreate);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(UpdateDownload::CreateRetrySeconds));
    }
    expectOldTargetUntouched();
}

TEST_F(UpdateDownloadTest, AStopBeforeTheFirstChunkSaysNothingAndLeavesTheTarget)
{
    ASSERT_TRUE(nginx_.ok());
    Heard heard;
    UpdateDownload download(nginx_.url("/orvane"), target_, heard);
    download.requestStop();
    download.run();
    EXPECT_FALSE(heard.failure.has_value());
    EXPECT_FALSE(heard.done);
    EXPECT_TRUE(heard.chunks.empty());
    expectOldTargetUntouched();
}

} // namespace
} // namespace orvane
