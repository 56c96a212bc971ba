#pragma once

// Two headless clients, alice and bob, in homes of the NAT lab with the stand-in server in
// its wan, each listing the other: the arrangement in which the peer-channel tests and the
// channel set-up benchmark open channels.

#include "tests/core/EndToEndSupport.h"
#include "tests/core/HeadlessProcess.h"
#include "tests/support/NatLab.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace orvane::testing {

class PeerLab {
public:
    // The lab, the server in its wan (with its relays unless told otherwise), and two
    // accounts that list each other.
    void build(const std::vector<std::string>& homes, bool withRelay = true)
    {
        lab = std::make_unique<NatLab>(homes);
        ASSERT_TRUE(lab->started());
        const std::string address = lab->serverAddress();
        std::vector<std::string> argv{ORVANE_SERVER_PROGRAM, "--in-memory", "--hash-cost", "1", "--http",
                                      address + ":0", "--message", address + ":0"};
        if (withRelay)
            argv.insert(argv.end(), {"--relay", address + ":0"});
        server = &lab->run(lab->wanNamespace(), argv);
        const int line = server->log.waitUntil([](const std::string& l) { return l.rfind("LISTENING", 0) == 0; },
                                               10000);
        ASSERT_GE(line, 0) << server->errors();
        unsigned a1, a2, a3, a4, port;
        ASSERT_EQ(std::sscanf(server->log.lines()[static_cast<size_t>(line)].c_str(), "LISTENING http=%u.%u.%u.%u:%u",
                              &a1, &a2, &a3, &a4, &port),
                  5);
        url = "http://" + address + ":" + std::to_string(port) + "/orvane";
        NamespaceScope wan;
        ASSERT_TRUE(wan.enterNamed(lab->wanNamespace()));
        aliceId = signUpAt(url, "alice", "pw-alice");
        bobId = signUpAt(url, "bob", "pw-bob");
    }

    // A signed-in client in the home; `settings` goes into its account.ini.
    std::unique_ptr<HeadlessProcess> client(const std::string& name, const std::string& home,
                                            const std::string& settings = "")
    {
        auto process = std::make_unique<HeadlessProcess>(url);
        process->folders.writeAccount(name, "pw-" + name, settings);
        EXPECT_TRUE(process->start({}, lab->launcher(lab->home(home).ns))) << process->log.dump() << process->errors();
        EXPECT_GE(process->expectLine("module probe signed-in"), 0);
        return process;
    }

    // Both clients in their homes, each listing the other.
    void signIn(const std::string& aliceSettings = "", const std::string& bobSettings = "")
    {
        alice = client("alice", "alice", aliceSettings);
        bob = client("bob", "bob", bobSettings);
        ASSERT_TRUE(alice->command("add bob"));
        ASSERT_TRUE(bob->command("add alice"));
        alice->expectLine("notice bob\\nSigned In.");
        bob->expectLine("notice alice\\nSigned In.");
    }

    // The settings of a client reachable at its NAT's forwarded port.
    std::string manualSettings(const std::string& home)
    {
        const NatLabHome& h = lab->home(home);
        const std::string port = std::to_string(h.forwardedPort);
        return "<my_internet_address>" + h.natWanAddress + "</my_internet_address><my_internet_port>" + port +
               "</my_internet_port><bind_port>" + port + "</bind_port>";
    }

    // alice opens a channel of the kind to bob; the path it took must be `path`, and a
    // mebibyte goes each way. The open line, for further checks.
    std::string openAndFill(const std::string& kind, const std::string& path)
    {
        const size_t aliceFrom = alice->log.size();
        const size_t bobFrom = bob->log.size();
        EXPECT_TRUE(alice->command("open " + kind + " probe " + bobId));
        const int mine = channelNumber(*alice, "channel ", aliceFrom);
        if (mine < 0) {
            ADD_FAILURE() << kind << " open failed; alice:\n" << alice->log.dump() << "bob:\n" << bob->log.dump();
            return std::string();
        }
        const int theirs = channelNumber(*bob, "channel ", bobFrom);
        EXPECT_GT(theirs, 0) << bob->log.dump();
        const std::string prefix = "channel " + std::to_string(mine) + " open " + kind + " ";
        const int line = alice->log.waitUntil([&prefix](const std::string& l) { return l.rfind(prefix, 0) == 0; },
                                              1000, aliceFrom);
        const std::string opened = line < 0 ? std::string() : alice->log.lines()[static_cast<size_t>(line)];
        EXPECT_EQ(opened.substr(0, prefix.size() + path.size() + 1), prefix + path + " ") << opened;
        expectTransfer(*alice, mine, *bob, theirs, 1 << 20, 3);
        expectTransfer(*bob, theirs, *alice, mine, 1 << 20, 5);
        lastMine = mine;
        lastTheirs = theirs;
        return opened;
    }

    std::unique_ptr<NatLab> lab;
    PipedProcess* server = nullptr;
    std::string url;
    std::string aliceId;
    std::string bobId;
    std::unique_ptr<HeadlessProcess> alice;
    std::unique_ptr<HeadlessProcess> bob;
    int lastMine = 0;
    int lastTheirs = 0;
};

} // namespace orvane::testing
