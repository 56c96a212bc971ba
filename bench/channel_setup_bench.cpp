// Channel set-up time per path: two headless clients (release build) in homes of the NAT
// lab, the stand-in server in its wan; alice opens a channel to bob, it is closed again, and
// that is repeated. Each benchmark reports the median and the 95th percentile of the time
// from the open command to the channel being ready, in milliseconds. Runs as root (the lab
// is made of network namespaces).
#include "tests/core/PeerLab.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int Opens = 20;

struct Arrangement {
    std::vector<std::string> homes;
    bool aliceManual;
    bool bobManual;
};

// Opens and closes `Opens` channels of the kind; the set-up times in milliseconds.
std::vector<double> openRepeatedly(PeerLab& peers, const std::string& kind)
{
    std::vector<double> times;
    for (int i = 0; i < Opens; ++i) {
        const size_t aliceFrom = peers.alice->log.size();
        const size_t bobFrom = peers.bob->log.size();
        const auto start = std::chrono::steady_clock::now();
        peers.alice->command("open " + kind + " probe " + peers.bobId);
        const int mine = channelNumber(*peers.alice, "channel ", aliceFrom);
        const auto ready = std::chrono::steady_clock::now();
        if (mine < 0)
            return {};
        times.push_back(std::chrono::duration<double, std::milli>(ready - start).count());
        const int theirs = channelNumber(*peers.bob, "channel ", bobFrom, 10000);
        peers.alice->command("channel-close " + std::to_string(mine));
        if (theirs > 0)
            peers.bob->log.waitFor("channel " + std::to_string(theirs) + " closed", 10000, bobFrom);
    }
    return times;
}

void setUpTime(benchmark::State& state, const Arrangement& arrangement, const std::string& kind)
{
    for (auto _ : state) {
        PeerLab peers;
        peers.build(arrangement.homes);
        if (!peers.lab || !peers.lab->started()) {
            state.SkipWithError("the NAT lab could not be built");
            return;
        }
        peers.signIn(arrangement.aliceManual ? peers.manualSettings("alice") : "",
                     arrangement.bobManual ? peers.manualSettings("bob") : "");
        std::vector<double> times = openRepeatedly(peers, kind);
        if (times.size() != static_cast<size_t>(Opens)) {
            state.SkipWithError("an open failed");
            return;
        }
        std::sort(times.begin(), times.end());
        state.counters["p50_ms"] = times[times.size() / 2];
        // The smallest time that at least 95 % of the opens did not exceed.
        state.counters["p95_ms"] = times[(times.size() * 95 + 99) / 100 - 1];
        state.counters["max_ms"] = times.back();
    }
}

const Arrangement OneLan{{"alice=cone", "bob=lan:alice"}, false, false};
const Arrangement ForwardedPeer{{"alice=cone", "bob=forward:4000"}, false, true};
const Arrangement ForwardedOpener{{"alice=forward:4000", "bob=cone"}, true, false};
const Arrangement BothCone{{"alice=cone", "bob=cone"}, false, false};
const Arrangement BothSymmetric{{"alice=symmetric", "bob=symmetric"}, false, false};

} // namespace

BENCHMARK_CAPTURE(setUpTime, tcp_one_lan_direct_local, OneLan, "tcp")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(setUpTime, udp_one_lan_direct, OneLan, "udp")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(setUpTime, tcp_forwarded_direct_external, ForwardedPeer, "tcp")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(setUpTime, tcp_connect_back, ForwardedOpener, "tcp")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(setUpTime, udp_cone_probing, BothCone, "udp")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(setUpTime, tcp_symmetric_relay, BothSymmetric, "tcp")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(setUpTime, udp_symmetric_relay, BothSymmetric, "udp")->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
