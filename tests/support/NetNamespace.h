#pragma once

// Test helpers for network namespaces: moving the calling thread into a private namespace
// or a named one and back. Commands run through runCommand (tests/support/PeerProcess.h).
//
// A network namespace belongs to a thread: setns and unshare move only the calling
// thread, and threads it starts afterwards (and processes it spawns) begin in the same
// namespace. So a test enters the namespace, runs the code under test (which may start
// its own threads) and leaves again.

#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

// Moves the calling thread into a network namespace for the scope's lifetime.
class NamespaceScope {
public:
    NamespaceScope() : original_(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        if (original_ < 0)
            ADD_FAILURE() << "cannot open the thread's network namespace: " << std::strerror(errno);
    }
    ~NamespaceScope() { leave(); }
    NamespaceScope(const NamespaceScope&) = delete;
    NamespaceScope& operator=(const NamespaceScope&) = delete;

    // A new, empty namespace of this thread's own. Only its loopback exists; it is brought
    // up, allowed multicast, and the SSDP group is routed to it, so that a search sent
    // here reaches a responder on loopback and nothing else. The namespace goes away
    // with the last thread and socket in it.
    bool enterPrivate()
    {
        if (original_ < 0)
            return false;
        if (unshare(CLONE_NEWNET) != 0) {
            ADD_FAILURE() << "unshare(CLONE_NEWNET): " << std::strerror(errno) << " (tests run as root)";
            return false;
        }
        entered_ = true;
        for (const std::vector<std::string>& cmd :
             {std::vector<std::string>{"ip", "link", "set", "lo", "up", "multicast", "on"},
              std::vector<std::string>{"ip", "route", "add", "239.255.255.250/32", "dev", "lo"}}) {
            CommandResult r = runCommand(cmd);
            if (r.status != 0) {
                ADD_FAILURE() << cmd[0] << " " << cmd[1] << " " << cmd[2] << ": " << r.output
                              << " (Debian package iproute2)";
                return false;
            }
        }
        return true;
    }

    // The namespace made by `ip netns add name`.
    bool enterNamed(const std::string& name)
    {
        if (original_ < 0)
            return false;
        int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            ADD_FAILURE() << "no namespace " << name << ": " << std::strerror(errno);
            return false;
        }
        int rc = setns(fd, CLONE_NEWNET);
        int err = errno;
        ::close(fd);
        if (rc != 0) {
            ADD_FAILURE() << "setns " << name << ": " << std::strerror(err);
            return false;
        }
        entered_ = true;
        return true;
    }

    void leave()
    {
        if (entered_ && original_ >= 0) {
            if (setns(original_, CLONE_NEWNET) != 0)
                ADD_FAILURE() << "cannot return to the original namespace: " << std::strerror(errno);
            entered_ = false;
        }
        if (original_ >= 0 && !entered_) {
            ::close(original_);
            original_ = -1;
        }
    }

private:
    int original_;
    bool entered_ = false;
};

} // namespace orvane::testing
