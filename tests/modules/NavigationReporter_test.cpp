#include "modules/webjoin/NavigationReporter.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

using Outcome = NavigationReporter::Outcome;

TEST(NavigationReporter, ReportsTheUsersPagesAndOnlyShowsThePeers)
{
    NavigationReporter reporter;
    EXPECT_EQ(reporter.pageArrived("about:blank"), Outcome::Ignore);
    EXPECT_EQ(reporter.pageArrived("http://a/"), Outcome::ShowAndSend);
    reporter.peerNavigationStarted();
    EXPECT_EQ(reporter.pageArrived("http://b/"), Outcome::ShowOnly);
    // The peer's page has loaded: a link the user follows next is theirs.
    EXPECT_EQ(reporter.pageArrived("http://c/"), Outcome::ShowAndSend);
}

TEST(NavigationReporter, TheBlankPageLeavesThePeersMarkAsItWas)
{
    // A window the peer's record opened: its first page, about:blank, arrives after the
    // peer's navigation has begun; the peer's page must still only be shown.
    NavigationReporter reporter;
    reporter.peerNavigationStarted();
    EXPECT_EQ(reporter.pageArrived("about:blank"), Outcome::Ignore);
    EXPECT_TRUE(reporter.fromPeer());
    EXPECT_EQ(reporter.pageArrived("http://a/"), Outcome::ShowOnly);
    EXPECT_FALSE(reporter.fromPeer());
    // Without the mark the blank page leaves it off.
    EXPECT_EQ(reporter.pageArrived("about:blank"), Outcome::Ignore);
    EXPECT_EQ(reporter.pageArrived("http://b/"), Outcome::ShowAndSend);
}

TEST(NavigationReporter, APeerNavigationThatNeverCompletesDoesNotSilenceTheUser)
{
    struct Case {
        const char* name;
        void (*end)(NavigationReporter&);
    } cases[] = {
        {"the user navigates", [](NavigationReporter& r) { r.userNavigationStarted(); }},
        {"the navigation fails", [](NavigationReporter& r) { r.navigationFailed(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NavigationReporter reporter;
        reporter.peerNavigationStarted();
        c.end(reporter);
        EXPECT_EQ(reporter.pageArrived("http://mine/"), Outcome::ShowAndSend);
    }
}

} // namespace
} // namespace orvane
