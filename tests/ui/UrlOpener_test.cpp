#include "tests/foundation/TempDirectory.h"
#include "ui/kit/UrlOpener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A stand-in `xdg-open` first on PATH that writes how many arguments it got and each one on
// its own line, then renames the record into place so that a reader never sees half of it.
class FakeOpener : public ::testing::Test {
protected:
    FakeOpener() : path_("PATH", (dir / "bin:" + std::getenv("PATH")).c_str())
    {
        ::mkdir((dir / "bin").c_str(), 0700);
        std::ofstream script(dir / "bin/xdg-open");
        script << "#!/bin/sh\n"
               << "out='" << dir.path() << "/args'\n"
               << "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"$out.tmp\"\n"
               << "mv \"$out.tmp\" \"$out\"\n";
        script.close();
        ::chmod((dir / "bin/xdg-open").c_str(), 0700);
    }

    // What the opener recorded, once it has; empty when it never ran.
    std::string record(std::chrono::milliseconds limit = std::chrono::seconds(10)) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(dir / "args");
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return {};
    }

    TempDirectory dir;
    ScopedEnv path_;
};

} // namespace

TEST_F(FakeOpener, TheUrlReachesTheOpenerAsOneArgumentWhateverItHolds)
{
    const std::string url = "http://127.0.0.1/a b;touch pwned$(id)`x` && \"q\"|'r'";
    ASSERT_TRUE(spawnXdgOpen(url));
    EXPECT_EQ(record(), "1\n" + url + "\n");
}

TEST_F(FakeOpener, AUrlThatLooksLikeAnOptionOrIsEmptyIsRefusedWithoutRunningTheOpener)
{
    EXPECT_FALSE(spawnXdgOpen("--help"));
    EXPECT_FALSE(spawnXdgOpen(""));
    EXPECT_EQ(record(std::chrono::milliseconds(300)), "");
}

TEST(UrlOpener, NoOpenerOnThePathIsReportedAsFailure)
{
    TempDirectory empty;
    ScopedEnv path("PATH", empty.path().c_str());
    EXPECT_FALSE(spawnXdgOpen("http://127.0.0.1/"));
}

TEST(UrlOpener, ADoubleTakesTheOpenersPlaceUntilTheOldOneIsPutBack)
{
    std::string seen;
    UrlOpenerFunction previous = setUrlOpener([&](const std::string& url) {
        seen = url;
        return true;
    });
    EXPECT_TRUE(openUrl("http://127.0.0.1/x"));
    EXPECT_EQ(seen, "http://127.0.0.1/x");
    setUrlOpener(previous);
}
