// The relay's sessions on a clock the test sets: ids, the bounds on how many, the joins of
// the TCP relay, the routes of the UDP relay and the times after which sessions end.

#include "server/RelaySessions.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

using namespace orvane;

namespace {

constexpr uint64_t Alice = 1, Bob = 2, Carol = 3;

sockaddr_in from(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(0x7F000001);
    a.sin_port = htons(port);
    return a;
}

RelayRoute datagram(int32_t id, uint64_t sender, uint16_t port)
{
    RelayRoute route;
    route.sessionId = id;
    route.senderId = sender;
    route.from = from(port);
    return route;
}

class RelaySessionsTest : public ::testing::Test {
protected:
    RelaySessionsTest()
    {
        limits.maxSessions = 5;
        limits.maxSessionsPerUser = 3;
        limits.joinTimeoutMs = 1000;
        limits.udpIdleTimeoutMs = 5000;
    }

    int32_t open(RelayProtocol protocol, int64_t now = 0)
    {
        int32_t id = 0;
        EXPECT_EQ(sessions().open(Alice, protocol, Alice, Bob, now, id), RelaySessions::Opened);
        return id;
    }
    RelaySessions& sessions()
    {
        if (!sessions_)
            sessions_.reset(new RelaySessions(limits));
        return *sessions_;
    }
    std::vector<RelaySessions::Ended> expire(int64_t now)
    {
        std::vector<RelaySessions::Ended> ended;
        sessions().expire(now, ended);
        return ended;
    }

    RelaySessions::Limits limits;
    std::unique_ptr<RelaySessions> sessions_;
};

TEST_F(RelaySessionsTest, IdsArePositiveDistinctAndNotInSequence)
{
    limits.maxSessions = 200;
    limits.maxSessionsPerUser = 200;
    std::set<int32_t> ids;
    int32_t previous = 0;
    int steps = 0;
    for (int i = 0; i < 200; ++i) {
        const int32_t id = open(RelayProtocol::Tcp);
        EXPECT_GT(id, 0);
        ids.insert(id);
        // A counter would step by a small constant; random ids almost never sit close.
        if (previous && std::abs(static_cast<int64_t>(id) - previous) < 1000)
            ++steps;
        previous = id;
    }
    EXPECT_EQ(ids.size(), 200u);
    EXPECT_LT(steps, 3);
}

TEST_F(RelaySessionsTest, OpeningIsBoundedPerRequesterAndInAll)
{
    int32_t id = 0;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(sessions().open(Alice, RelayProtocol::Udp, Alice, Bob, 0, id), RelaySessions::Opened);
    EXPECT_EQ(sessions().open(Alice, RelayProtocol::Tcp, Alice, Carol, 0, id), RelaySessions::TooManyForUser);
    // The bound is on who opened them, not on who takes part.
    ASSERT_EQ(sessions().open(Bob, RelayProtocol::Tcp, Bob, Alice, 0, id), RelaySessions::Opened);
    ASSERT_EQ(sessions().open(Carol, RelayProtocol::Tcp, Carol, Alice, 0, id), RelaySessions::Opened);
    EXPECT_EQ(sessions().open(Carol, RelayProtocol::Tcp, Carol, Bob, 0, id), RelaySessions::TooMany);
    EXPECT_EQ(sessions().count(), 5);

    // A session that ends gives its room back, to its requester and to everybody.
    sessions().close(id);
    EXPECT_EQ(sessions().countOpenedBy(Carol), 0);
    EXPECT_EQ(sessions().open(Carol, RelayProtocol::Tcp, Carol, Bob, 0, id), RelaySessions::Opened);
}

TEST_F(RelaySessionsTest, ATcpSessionTakesTwoSidesAndNoMore)
{
    const int32_t tcp = open(RelayProtocol::Tcp);
    const int32_t udp = open(RelayProtocol::Udp);
    EXPECT_EQ(sessions().joinTcp(tcp), RelaySessions::JoinedFirst);
    EXPECT_EQ(sessions().joinTcp(tcp), RelaySessions::JoinedSecond);
    EXPECT_EQ(sessions().joinTcp(tcp), RelaySessions::BothJoined);
    EXPECT_EQ(sessions().joinTcp(udp), RelaySessions::NotTcp);
    EXPECT_EQ(sessions().joinTcp(tcp ^ 1), RelaySessions::NoSuchSession);
    sessions().close(tcp);
    EXPECT_EQ(sessions().joinTcp(tcp), RelaySessions::NoSuchSession);
}

TEST_F(RelaySessionsTest, DatagramsGoToTheOtherParticipantOnceItWasHeardFrom)
{
    const int32_t id = open(RelayProtocol::Udp);
    const int32_t tcp = open(RelayProtocol::Tcp);
    RelayRoute routes[] = {
        datagram(id, Alice, 4000),    // bob not heard yet
        datagram(id, Bob, 5000),      // to alice at 4000
        datagram(id, Alice, 4000),    // to bob at 5000
        datagram(id, Carol, 6000),    // not a participant
        datagram(id ^ 1, Alice, 4000), // no such session
        datagram(tcp, Alice, 4000),   // not a UDP session
        datagram(id, Alice, 4001),    // alice moved: to bob still
        datagram(id, Bob, 5000),      // to alice at her new port
    };
    sessions().route(routes, 8, 10);
    const RelayRoute::Outcome expected[] = {RelayRoute::PartnerNotHeard, RelayRoute::Forward,
                                            RelayRoute::Forward,         RelayRoute::NotAParticipant,
                                            RelayRoute::UnknownSession,  RelayRoute::UnknownSession,
                                            RelayRoute::Forward,         RelayRoute::Forward};
    const uint16_t to[] = {0, 4000, 5000, 0, 0, 0, 5000, 4001};
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(routes[i].outcome, expected[i]);
        if (expected[i] == RelayRoute::Forward) {
            EXPECT_EQ(ntohs(routes[i].to.sin_port), to[i]);
            EXPECT_EQ(routes[i].to.sin_addr.s_addr, htonl(0x7F000001));
        }
    }
}

TEST_F(RelaySessionsTest, SessionsWhoseSidesDoNotAllComeExpire)
{
    limits.maxSessionsPerUser = 5;
    const int32_t nobody = open(RelayProtocol::Tcp, 0);
    const int32_t oneSide = open(RelayProtocol::Tcp, 0);
    const int32_t paired = open(RelayProtocol::Tcp, 0);
    const int32_t udpOne = open(RelayProtocol::Udp, 0);
    const int32_t udpBoth = open(RelayProtocol::Udp, 0);
    sessions().joinTcp(oneSide);
    sessions().joinTcp(paired);
    sessions().joinTcp(paired);
    RelayRoute routes[] = {datagram(udpOne, Bob, 1), datagram(udpBoth, Alice, 2), datagram(udpBoth, Bob, 3)};
    sessions().route(routes, 3, 500);

    EXPECT_TRUE(expire(999).empty());
    std::map<int32_t, int> ended;
    for (const RelaySessions::Ended& e : expire(1000))
        ended[e.id] = e.sidesSeen;
    EXPECT_EQ(ended, (std::map<int32_t, int>{{nobody, 0}, {oneSide, 1}, {udpOne, 1}}));
    // A joined TCP pair lives as long as its connections, however long.
    EXPECT_TRUE(expire(1000000).size() == 1); // only the UDP pair, idle by now
    EXPECT_EQ(sessions().count(), 1);
    EXPECT_EQ(sessions().joinTcp(paired), RelaySessions::BothJoined);
}

TEST_F(RelaySessionsTest, AUdpSessionEndsOnlyWhenIdle)
{
    const int32_t id = open(RelayProtocol::Udp, 0);
    RelayRoute routes[] = {datagram(id, Alice, 2), datagram(id, Bob, 3)};
    sessions().route(routes, 2, 100);
    // Each datagram puts the end off by the idle time.
    for (int64_t now = 1000; now <= 20000; now += 1000) {
        RelayRoute one = datagram(id, Alice, 2);
        sessions().route(&one, 1, now);
        ASSERT_TRUE(expire(now + 4999).empty()) << now;
    }
    const std::vector<RelaySessions::Ended> ended = expire(25000);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_EQ(ended[0].id, id);
    EXPECT_EQ(ended[0].protocol, RelayProtocol::Udp);
    EXPECT_EQ(ended[0].sidesSeen, 2);
    RelayRoute late = datagram(id, Alice, 2);
    sessions().route(&late, 1, 25001);
    EXPECT_EQ(late.outcome, RelayRoute::UnknownSession);
}

} // namespace
