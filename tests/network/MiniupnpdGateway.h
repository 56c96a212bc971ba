#pragma once

// The real gateway for the UPnP tests: miniupnpd in a pair of network namespaces that
// the test makes and removes (scripts/upnp-gateway; the path comes from the build as
// ORVANE_UPNP_GATEWAY_SCRIPT).

#include "tests/support/NetNamespace.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace orvane::testing {

// miniupnpd in a gateway namespace joined to a LAN namespace (scripts/upnp-gateway).
// The names carry this process's id and a counter, so parallel tests never meet, and
// the script's sweep removes what a crashed test left behind.
class MiniupnpdGateway {
public:
    static constexpr const char* GatewayAddress = "192.168.77.1";
    static constexpr const char* LanAddress = "192.168.77.2";
    static constexpr const char* ExternalAddress = "100.128.0.7";
    static constexpr const char* ControlUrl = "http://192.168.77.1:49000/ctl/IPConn";

    MiniupnpdGateway()
    {
        static int counter = 0;
        name_ = "orvupnp" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        CommandResult r = script("start");
        if (r.status != 0) {
            ADD_FAILURE() << "the gateway fixture could not be set up:\n" << r.output;
            return;
        }
        // miniupnpd is this process's own child, so that it is stopped and reaped here.
        daemon_ = spawnWithLog({"bash", ORVANE_UPNP_GATEWAY_SCRIPT, "run", name_, dir_.path()}, dir_ / "miniupnpd.log");
        if (daemon_ < 0) {
            ADD_FAILURE() << "miniupnpd could not be started";
            return;
        }
        r = script("ready");
        started_ = r.status == 0;
        if (!started_)
            ADD_FAILURE() << "miniupnpd did not come up:\n" << r.output;
    }
    ~MiniupnpdGateway()
    {
        if (daemon_ > 0) {
            ::kill(daemon_, SIGTERM);
            int status;
            while (waitpid(daemon_, &status, 0) < 0 && errno == EINTR) {
            }
        }
        CommandResult r = script("stop");
        if (r.status != 0)
            ADD_FAILURE() << "the gateway fixture did not stop:\n" << r.output;
    }
    MiniupnpdGateway(const MiniupnpdGateway&) = delete;
    MiniupnpdGateway& operator=(const MiniupnpdGateway&) = delete;

    bool started() const { return started_; }
    std::string lanNamespace() const { return name_ + "-lan"; }
    std::string gatewayNamespace() const { return name_ + "-gw"; }

    // The NAT chain miniupnpd writes its redirections into.
    std::string natRules() const
    {
        return runCommand({"ip", "netns", "exec", gatewayNamespace(), "nft", "list", "chain", "inet",
                           "filter", "prerouting_miniupnpd"})
            .output;
    }
    std::string ruleset() const
    {
        return runCommand({"ip", "netns", "exec", gatewayNamespace(), "nft", "list", "ruleset"}).output;
    }
    std::string log() const
    {
        return runCommand({"cat", dir_ / "miniupnpd.log"}).output;
    }

private:
    CommandResult script(const char* command) const
    {
        return runCommand({"bash", ORVANE_UPNP_GATEWAY_SCRIPT, command, name_, dir_.path()});
    }

    std::string name_;
    TempDirectory dir_;
    pid_t daemon_ = -1;
    bool started_ = false;
};

// The NAT rule miniupnpd writes for one mapping, as nft lists it.
inline std::string natRule(int externalPort, const char* protocol, const char* client, int internalPort)
{
    // TCP is protocol number 6, UDP 17.
    std::string number = std::string(protocol) == "TCP" ? "0x6" : "0x11";
    return "@nh,72,8 " + number + " th dport " + std::to_string(externalPort) + " dnat ip to " +
           client + ":" + std::to_string(internalPort);
}

} // namespace orvane::testing
