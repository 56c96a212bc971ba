#pragma once

// A small internet in network namespaces for tests that cross NATs: a wan that holds the
// server's address and homes, each behind a NAT of a chosen kind (scripts/nat-lab, whose
// path the build passes as ORVANE_NAT_LAB_SCRIPT; its header describes the modes and the
// addresses). The lab is built in the constructor and removed in the destructor with
// everything that runs inside it.
//
//     NatLab lab({"alice=cone", "bob=symmetric", "carl=forward:4000", "dora=upnp"});
//     ASSERT_TRUE(lab.started());
//     PipedProcess& server = lab.run(lab.wanNamespace(), {ORVANE_SERVER_PROGRAM, ...});
//     PipedProcess& alice = lab.run(lab.home("alice").ns, {ORVANE_HEADLESS_PROGRAM, ...});
//     alice.writeLine("...");
//     alice.log.waitFor("...");
//
// A test thread may also enter a namespace itself (NamespaceScope), or make a socket in
// one with socketIn and use it from anywhere: a socket stays in the namespace it was
// made in.

#include "tests/foundation/TempDirectory.h"
#include "tests/support/NetNamespace.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/PipedProcess.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

struct NatLabHome {
    std::string name;
    std::string ns; // the client's network namespace
    std::string address; // the client's private address, 192.168.N.x
    std::string nat; // the NAT's name: the home's own, or that of the home whose LAN it joined
    std::string natNamespace;
    std::string natWanAddress; // the address the wan sees the client come from
    std::string natLanAddress; // the client's default gateway; miniupnpd's address in upnp mode
    std::string mode; // the NAT's: cone, symmetric, forward or upnp
    uint16_t forwardedPort = 0; // forward mode: the TCP and UDP port that reaches the client
};

class NatLab {
public:
    // homes: HOME=MODE words as `nat-lab up` takes them ("alice=cone", "bob=lan:alice").
    explicit NatLab(const std::vector<std::string>& homes) : prefix_(uniquePrefix())
    {
        ip_ = findPeerBinary({"/usr/bin/ip", "/bin/ip", "/usr/sbin/ip", "/sbin/ip"}, "iproute2");
        if (ip_.empty())
            return;
        std::vector<std::string> args{"bash", ORVANE_NAT_LAB_SCRIPT, "up", prefix_};
        args.insert(args.end(), homes.begin(), homes.end());
        const CommandResult r = runCommand(args);
        description_ = r.output;
        if (r.status != 0 || !parse(r.output)) {
            ADD_FAILURE() << "the NAT lab could not be built:\n" << r.output;
            return;
        }
        for (const NatLabHome& home : homes_)
            if (home.mode == "upnp" && home.nat == home.name && !startMiniupnpd(home.nat))
                return;
        started_ = true;
    }

    ~NatLab() { stop(); }
    NatLab(const NatLab&) = delete;
    NatLab& operator=(const NatLab&) = delete;

    // Ends the programs started with run, then miniupnpd, then removes the lab with
    // whatever else still runs in it. The destructor does it; a test that wants to look
    // at the remains calls it earlier.
    void stop()
    {
        if (stopped_)
            return;
        stopped_ = true;
        for (const std::unique_ptr<PipedProcess>& process : processes_)
            process->stop();
        for (auto& entry : miniupnpd_)
            entry.second->stop();
        const CommandResult r = runCommand({"bash", ORVANE_NAT_LAB_SCRIPT, "down", prefix_});
        if (r.status != 0)
            ADD_FAILURE() << "the NAT lab " << prefix_ << " was not removed:\n" << r.output;
    }

    bool started() const { return started_; }
    const std::string& prefix() const { return prefix_; }
    const std::string& description() const { return description_; }
    const std::string& wanNamespace() const { return wanNamespace_; }
    // The wan address for the server, and a second wan address for a peer that is not
    // the server; both belong to the wan namespace.
    const std::string& serverAddress() const { return serverAddress_; }
    const std::string& peerAddress() const { return peerAddress_; }
    const std::vector<NatLabHome>& homes() const { return homes_; }

    const NatLabHome& home(const std::string& name) const
    {
        for (const NatLabHome& h : homes_)
            if (h.name == name)
                return h;
        ADD_FAILURE() << "the NAT lab has no home " << name;
        static const NatLabHome none;
        return none;
    }

    // Every namespace of the lab: the wan, the NATs and the homes.
    std::vector<std::string> namespaces() const
    {
        std::vector<std::string> out{wanNamespace_};
        for (const NatLabHome& h : homes_) {
            if (h.nat == h.name)
                out.push_back(h.natNamespace);
            out.push_back(h.ns);
        }
        return out;
    }

    // The start of an argument vector that runs a program inside the namespace.
    std::vector<std::string> launcher(const std::string& ns) const { return {ip_, "netns", "exec", ns}; }

    // Starts the program (a full path, or a name looked up on PATH) inside the namespace
    // with its input and output as pipes; the lab owns it and ends it before the lab goes.
    PipedProcess& run(const std::string& ns, const std::vector<std::string>& argv)
    {
        std::vector<std::string> full = launcher(ns);
        full.insert(full.end(), argv.begin(), argv.end());
        processes_.push_back(std::make_unique<PipedProcess>());
        PipedProcess& process = *processes_.back();
        const std::string errors = dir_ / (ns + "-" + std::to_string(processes_.size()) + ".stderr");
        if (!process.start(full, errors))
            ADD_FAILURE() << "cannot start " << argv.front() << " in " << ns;
        return process;
    }

    // A socket of the type (SOCK_STREAM, SOCK_DGRAM) made inside the namespace; -1 and a
    // test failure when it cannot be had. The caller closes it before the lab goes: an
    // open socket keeps its namespace alive.
    static int socketIn(const std::string& ns, int type)
    {
        NamespaceScope scope;
        if (!scope.enterNamed(ns))
            return -1;
        const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
        if (fd < 0)
            ADD_FAILURE() << "socket in " << ns << ": " << std::strerror(errno);
        return fd;
    }

    // For failure messages: a NAT's ruleset, and its miniupnpd's log in upnp mode.
    std::string ruleset(const std::string& nat) const
    {
        return runCommand({ip_, "netns", "exec", home(nat).natNamespace, "nft", "list", "ruleset"}).output;
    }
    std::string miniupnpdLog(const std::string& nat) const { return readBytes(dir_ / (nat + "-miniupnpd.log")); }

private:
    static std::string uniquePrefix()
    {
        static std::atomic<int> counter{0};
        return "orvnat" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    }

    // The description nat-lab prints: records of key=value fields.
    bool parse(const std::string& text)
    {
        std::map<std::string, std::map<std::string, std::string>> nats;
        std::vector<std::map<std::string, std::string>> homes;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string kind, word;
            words >> kind;
            std::map<std::string, std::string> fields;
            while (words >> word) {
                const size_t eq = word.find('=');
                if (eq != std::string::npos)
                    fields[word.substr(0, eq)] = word.substr(eq + 1);
            }
            if (kind == "wan") {
                wanNamespace_ = fields["ns"];
                serverAddress_ = fields["server"];
                peerAddress_ = fields["peer"];
            } else if (kind == "nat") {
                nats[fields["name"]] = fields;
            } else if (kind == "home") {
                homes.push_back(fields);
            }
        }
        for (std::map<std::string, std::string>& fields : homes) {
            std::map<std::string, std::string>& nat = nats[fields["nat"]];
            NatLabHome h;
            h.name = fields["name"];
            h.ns = fields["ns"];
            h.address = fields["address"];
            h.nat = fields["nat"];
            h.natNamespace = nat["ns"];
            h.natWanAddress = nat["wan"];
            h.natLanAddress = nat["lan"];
            h.mode = nat["mode"];
            h.forwardedPort = static_cast<uint16_t>(std::atoi(nat["port"].c_str()));
            if (h.ns.empty() || h.address.empty() || h.natNamespace.empty() || h.natWanAddress.empty())
                return false;
            homes_.push_back(h);
        }
        return !wanNamespace_.empty() && !serverAddress_.empty() && !homes_.empty();
    }

    // miniupnpd is this process's own child, so that it is stopped and reaped here.
    bool startMiniupnpd(const std::string& nat)
    {
        auto daemon = std::make_unique<PeerProcess>();
        const std::string log = dir_ / (nat + "-miniupnpd.log");
        const bool spawned = daemon->start({findPeerBinary({"/usr/bin/bash", "/bin/bash"}, "bash"),
                                            ORVANE_NAT_LAB_SCRIPT, "run-miniupnpd", prefix_, nat},
                                           log);
        miniupnpd_[nat] = std::move(daemon);
        const CommandResult r =
            spawned ? runCommand({"bash", ORVANE_NAT_LAB_SCRIPT, "upnp-ready", prefix_, nat}) : CommandResult();
        if (r.status != 0) {
            ADD_FAILURE() << "miniupnpd did not come up on the NAT " << nat << ":\n"
                          << r.output << "\nits log:\n"
                          << readBytes(log);
            return false;
        }
        return true;
    }

    std::string prefix_;
    std::string ip_;
    TempDirectory dir_;
    std::string description_;
    std::string wanNamespace_;
    std::string serverAddress_;
    std::string peerAddress_;
    std::vector<NatLabHome> homes_;
    bool started_ = false;
    bool stopped_ = false;
    std::map<std::string, std::unique_ptr<PeerProcess>> miniupnpd_;
    std::vector<std::unique_ptr<PipedProcess>> processes_;
};

} // namespace orvane::testing
