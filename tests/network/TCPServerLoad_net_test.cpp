#include "../foundation/ThreadTestSupport.h"
#include "LoadTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace orvane;
using namespace orvane::testing;

TEST(TCPServerLoad, ConcurrentClientsLoseNothingAndTheServerStopsCleanly)
{
    constexpr int Clients = 100, Cycles = 100;
    const LoadResult r = runEchoLoad(Clients, Cycles);
    std::printf("load: %d clients x %d cycles: %d ok, %d failed in %lld ms, %.0f connections/s\n",
                Clients, Cycles, r.cycles, r.failures, static_cast<long long>(r.elapsedMs),
                r.connectionsPerSecond());
    EXPECT_EQ(r.failures, 0);
    EXPECT_EQ(r.cycles, Clients * Cycles);
    EXPECT_EQ(r.handled, Clients * Cycles);
}

TEST(TCPServerLoad, StopWithAHundredBusyHandlers)
{
    const BusyStopResult r = runBusyStop(100, 50);
    std::printf("stop with %d busy handlers: %lld ms\n", r.busy, static_cast<long long>(r.stopMs));
    EXPECT_EQ(r.busy, 100);
    EXPECT_EQ(r.ended, 100);
    EXPECT_EQ(r.workersLeft, 0);
    EXPECT_LT(r.stopMs, 2000);
}
