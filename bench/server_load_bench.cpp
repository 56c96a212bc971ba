// The stand-in server under load, measured from outside: the release orvane-server as a
// child process with its accounts in a database made beforehand, driven by the load
// test's clients (one epoll thread) from a loopback address per group of fifty.
//
// SignInBurst/N/COST: N clients sign in at once with password hashes of that cost, see
// their groups come online, each send one module message along the group, and half of them
// leave; the counters give the sign-in times (from connect to the signed-in frame), the
// server's memory, threads and descriptors before, during and after, the CPU it spends
// holding N idle clients, the time one more client takes to sign in while they are there,
// and the deliveries that went wrong (must be 0).
//
// StalledConnections/N: N connections send half a header and stall, spread over 200
// addresses, with the sign-in time-out out of the way; then one client signs in.
//
// WrongPasswordFlood/N: N sign-in forms with a wrong password are sent at once from
// 127.0.0.2, each on its own connection, and while they are in flight a client signs in
// from 127.0.0.1 (the form, then the sign-in frame: two password hashes); the counters give
// that sign-in's time, the same sign-in's time on the idle server, and how the flood fared
// (answered meanwhile, turned away). The server runs with its defaults (hash cost 5, four
// workers), except that the room for unread connections of one address holds all N, so
// that every form reaches the hashes.
//
// There is no peer program: the figures stand against the server's own earlier design, one
// thread and two descriptors per connection.

#include "LoadClients.h"
#include "NetClient.h"
#include "ServerProcess.h"

#include "server/AccountStore.h"
#include "server/OrvaneServer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr int GroupSize = 50;
// Accounts made per database: the largest run, and one more for the lone sign-in.
constexpr int Accounts = 5000 + 1;

// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM").
long statusKb(pid_t pid, const char* field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::atol(line.c_str() + key.size());
    return -1;
}

// User and system time of the process, in clock ticks.
long cpuTicks(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i)
        fields >> skip;
    long user = 0, system = 0;
    fields >> user >> system;
    return user + system;
}

// Forgets the peak resident size, so VmHWM tells the peak of what follows.
void resetPeak(pid_t pid)
{
    std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
}

// A database of accounts in groups, made once per hash cost for every run that needs it.
class Databases {
public:
    ~Databases()
    {
        for (const auto& entry : paths_)
            std::remove(entry.second.c_str());
        if (!dir_.empty())
            ::rmdir(dir_.c_str());
    }
    const std::string& forCost(int cost, std::vector<uint64_t>& ids)
    {
        auto it = paths_.find(cost);
        if (it != paths_.end()) {
            ids = ids_[cost];
            return it->second;
        }
        if (dir_.empty()) {
            char pattern[] = "/dev/shm/orvane-bench-XXXXXX"; // memory: no disk syncs
            dir_ = ::mkdtemp(pattern) ? pattern : "/tmp";
        }
        const std::string path = dir_ + "/accounts-" + std::to_string(cost) + ".db";
        const auto t0 = std::chrono::steady_clock::now();
        {
            AccountStore store(path.c_str(), cost);
            const unsigned threads = std::max(2u, std::thread::hardware_concurrency() / 2);
            ids_[cost] = createGroupAccounts(store, Accounts, GroupSize, static_cast<int>(threads));
        }
        std::fprintf(stderr, "(made %d accounts at hash cost %d in %.1f s)\n", Accounts, cost,
                     std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        ids = ids_[cost];
        return paths_[cost] = path;
    }

private:
    std::string dir_;
    std::map<int, std::string> paths_;
    std::map<int, std::vector<uint64_t>> ids_;
};

Databases* gDatabases = nullptr;

struct Figures {
    pid_t pid;
    void sample(benchmark::State& state, const char* phase)
    {
        const std::string p(phase);
        state.counters["rss_" + p + "_MB"] = static_cast<double>(statusKb(pid, "VmRSS")) / 1024.0;
        state.counters["threads_" + p] = procEntries(pid, "task");
        state.counters["fds_" + p] = procEntries(pid, "fd");
    }
};

void BM_SignInBurst(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    const int cost = static_cast<int>(state.range(1));
    std::vector<uint64_t> ids;
    const std::string database = gDatabases->forCost(cost, ids);
    const std::vector<uint64_t> running(ids.begin(), ids.begin() + clients);
    for (auto _ : state) {
        ServerProcess server;
        if (!server.start({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--database", database, "--hash-cost",
                           std::to_string(cost)})) {
            state.SkipWithError("the server did not start");
            return;
        }
        Figures figures{server.pid()};
        figures.sample(state, "idle");
        resetPeak(server.pid());

        GroupLoad load(server.messagePort(), running, GroupSize);
        const auto t0 = std::chrono::steady_clock::now();
        const bool signedIn = load.signInAll(600000);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        state.counters["rss_peak_MB"] = static_cast<double>(statusKb(server.pid(), "VmHWM")) / 1024.0;
        bool ok = signedIn && load.awaitGroupsOnline(120000) && load.exchangeMessages(120000) && load.settle(120000);
        figures.sample(state, "loaded");

        // The cost of holding the clients while none of them says anything.
        const long before = cpuTicks(server.pid());
        std::this_thread::sleep_for(std::chrono::seconds(2));
        state.counters["idle_cpu_%"] = static_cast<double>(cpuTicks(server.pid()) - before) * 100.0 /
                                       static_cast<double>(2 * sysconf(_SC_CLK_TCK));
        // One more client while they are all there.
        LoadClients lone(server.messagePort());
        lone.add("load" + std::to_string(Accounts - 1), "pw" + std::to_string(Accounts - 1), ids.back(), 0x7F000001u);
        lone.signIn(0);
        lone.pumpUntil([&] { return lone[0].signInMs >= 0; }, 60000);
        state.counters["lone_signin_ms"] = lone[0].signInMs;
        lone.close(0);

        ok = ok && load.leaveHalf(120000) && load.settle(120000);
        const std::vector<std::string> problems = load.problems();
        state.counters["problems"] = static_cast<double>(problems.size()) + (ok ? 0 : 1);
        if (!problems.empty())
            std::fprintf(stderr, "%s\n", problems.front().c_str());
        load.leaveAll();
        // The server has let them all go once its descriptors are back where they were.
        const int idleFds = static_cast<int>(state.counters["fds_idle"]);
        for (int i = 0; i < 600 && procEntries(server.pid(), "fd") > idleFds; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        figures.sample(state, "after");

        const std::vector<double> times = load.signInTimes();
        state.counters["clients"] = clients;
        state.counters["signin_p50_ms"] = percentile(times, 0.5);
        state.counters["signin_p99_ms"] = percentile(times, 0.99);
        state.counters["signin_max_ms"] = times.empty() ? -1 : times.back();
        server.stop();
    }
}

void BM_StalledConnections(benchmark::State& state)
{
    const int stalledCount = static_cast<int>(state.range(0));
    std::vector<uint64_t> ids;
    const std::string database = gDatabases->forCost(1, ids);
    for (auto _ : state) {
        ServerProcess server;
        if (!server.start({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--database", database, "--hash-cost",
                           "1", "--sign-in-timeout", "600000"})) {
            state.SkipWithError("the server did not start");
            return;
        }
        Figures figures{server.pid()};
        figures.sample(state, "idle");
        std::vector<int> stalled;
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < stalledCount; ++i) {
            const int fd = stalledConnection(server.messagePort(), 0x7F020001u + static_cast<uint32_t>(i % 200));
            if (fd >= 0)
                stalled.push_back(fd);
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        LoadClients client(server.messagePort());
        client.add("load0", "pw0", ids[0], 0x7F000001u);
        client.signIn(0);
        client.pumpUntil([&] { return client[0].signInMs >= 0; }, 60000);
        figures.sample(state, "stalled");
        state.counters["stalled"] = static_cast<double>(stalled.size());
        state.counters["signin_ms"] = client[0].signInMs;
        for (int fd : stalled)
            ::close(fd);
        server.stop();
    }
}

// alice's sign-in from 127.0.0.1, the form and then the frame: its time in ms, -1 when it
// failed.
double aliceSignsIn(const ServerProcess& server)
{
    const auto t0 = std::chrono::steady_clock::now();
    try {
        if (loginReply(server.httpPort(), "alice", "secret1").compare(0, 14, "LOGIN SUCCESS\n") != 0)
            return -1;
    } catch (const Exception&) {
        return -1;
    }
    if (timedSignIn(server.messagePort(), aliceSignInFrame()) < 0)
        return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void BM_WrongPasswordFlood(benchmark::State& state)
{
    const int forms = static_cast<int>(state.range(0));
    for (auto _ : state) {
        ServerProcess server;
        if (!server.start({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--in-memory", "--account",
                           "alice:secret1", "--account", "bob:secret2", "--max-waiting-per-address",
                           std::to_string(2 * forms)})) {
            state.SkipWithError("the server did not start");
            return;
        }
        state.counters["idle_signin_ms"] = aliceSignsIn(server);

        FormFlood flood(server.httpPort(), 0x7F000002u, "CMD=LOGIN&user=bob&password=wrong", forms);
        flood.collect();
        const int answeredBefore = flood.answered();
        const double signInMs = aliceSignsIn(server);
        state.SetIterationTime(std::max(signInMs, 0.0) / 1000.0);
        flood.collect();
        state.counters["signin_ms"] = signInMs;
        state.counters["forms_sent"] = flood.sent();
        state.counters["forms_answered_meanwhile"] = flood.answered() - answeredBefore;
        state.counters["forms_turned_away"] = flood.answeredWith(503);
        flood.leave();
        server.stop();
    }
}

BENCHMARK(BM_WrongPasswordFlood)->Arg(200)->Iterations(1)->Repetitions(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignInBurst)
    ->Args({1000, 5})
    ->Args({5000, 5})
    ->Args({5000, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StalledConnections)->Arg(10000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The clients' ends are here and the server inherits the limit for its own.
    if (raiseDescriptorsTo(12100) < 12100) {
        std::fprintf(stderr, "bench_server_load needs 12100 descriptors (ulimit -Hn, or run it as root)\n");
        return 1;
    }
    Databases databases;
    gDatabases = &databases;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gDatabases = nullptr;
    return 0;
}
