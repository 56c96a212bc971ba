#pragma once

// Real proxy programs for the network tests. Each peer starts its Debian program on
// 127.0.0.1 with a configuration written into a temporary folder of its own and a port
// nobody listens on, waits until the program accepts connections, and kills and reaps it
// when the peer goes out of scope. A program that is not installed is a test failure that
// names its package. launch() throws PeerError with the reason; start() turns that into a
// test failure: call it as ASSERT_NO_FATAL_FAILURE(peer.start()).

#include "tests/support/PeerProcess.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace orvane::testing {

// Why a peer could not be started or a helper failed.
class PeerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Runs launch (a peer's launch()) and makes a thrown PeerError a fatal test failure.
template <class Launch>
void startPeer(Launch launch)
{
    try {
        launch();
    } catch (const PeerError& e) {
        FAIL() << e.what();
    }
}

// The program's full path; PeerError naming the package when it is not installed.
std::string requireProgram(const char* program, const char* package);

// The template under tests/network/peers with every @KEY@ replaced.
std::string configFromTemplate(const char* name, const std::map<std::string, std::string>& values);

// One running program in a process group of its own; stop() or the destructor kills it,
// its group and every process it started, and reaps them all.
class ProcessGroup {
public:
    ProcessGroup() = default;
    ~ProcessGroup() { stop(); }
    ProcessGroup(const ProcessGroup&) = delete;
    ProcessGroup& operator=(const ProcessGroup&) = delete;

    // Starts argv[0] (a full path) with stdin from /dev/null and stdout and stderr
    // appended to logPath.
    void start(const std::vector<std::string>& argv, const std::string& logPath);
    // True once 127.0.0.1:port accepts a connection; false when the program exited first
    // or timeoutMs passed.
    bool waitUntilAccepting(uint16_t port, int timeoutMs = 10000);
    bool running();
    void stop();
    // Waits for the program to end by itself; its wait status.
    int waitForExit();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// Runs a program to its end; the failure shows its output.
void runToCompletion(const std::vector<std::string>& argv, const std::string& logPath);

// The last lines of a log, for failure messages.
std::string logTail(const std::string& path);

// A TCP server on 127.0.0.1 that sends back every byte it receives, on any number of
// connections, until it is destroyed.
class EchoServer {
public:
    // resetOnClose: connections end with a reset instead of an orderly close, so that a
    // long run of them leaves no sockets waiting in TIME_WAIT (benchmarks).
    explicit EchoServer(bool resetOnClose = false);
    ~EchoServer();
    EchoServer(const EchoServer&) = delete;
    EchoServer& operator=(const EchoServer&) = delete;

    uint16_t port() const { return port_; }
    int connectionsAccepted() const { return accepted_; }

private:
    void acceptLoop();
    void serve(int fd);

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    bool resetOnClose_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<int> accepted_{0};
    std::thread acceptor_;
    // Touched by the acceptor only (and by the destructor once it has ended); finished
    // connections are joined as new ones arrive, so a long run does not pile up threads.
    std::vector<Worker> workers_;
};

// Credentials every authenticating peer accepts.
constexpr const char* kPeerUser = "alice";
constexpr const char* kPeerPassword = "s3cret-Pw";
constexpr const char* kPeerRealm = "orvane-test";

// squid as an HTTP proxy (CONNECT and absolute-URL requests) with one authentication
// scheme: Basic (basic_ncsa_auth with a crypt password file), Digest (digest_file_auth),
// NTLM (ntlm_fake_auth, which accepts any user that completes the handshake) or none.
class SquidPeer {
public:
    enum class Auth { None, Basic, Digest, Ntlm };

    explicit SquidPeer(Auth auth) : auth_(auth) {}
    void launch();
    void start() { startPeer([this] { launch(); }); }
    uint16_t port() const { return port_; }
    std::string log() const { return logTail(dir_ / "cache.log"); }
    pid_t processGroup() const { return process_.pid(); }

private:
    Auth auth_;
    TempDirectory dir_;
    ProcessGroup process_;
    uint16_t port_ = 0;
};

// dante's danted: SOCKS 4 and SOCKS 5 without authentication; the rule set refuses every
// connection to 127.0.0.1:refusedPort. Its connections leave from `external`: loopback
// (and only to loopback) by default, or an address of the namespace it runs in.
class DantePeer {
public:
    explicit DantePeer(uint16_t refusedPort, std::string external = "127.0.0.1")
        : refusedPort_(refusedPort), external_(std::move(external))
    {
    }
    void launch();
    void start() { startPeer([this] { launch(); }); }
    uint16_t port() const { return port_; }

private:
    uint16_t refusedPort_;
    std::string external_;
    TempDirectory dir_;
    ProcessGroup process_;
    uint16_t port_ = 0;
};

// microsocks: SOCKS 5 with user name and password (kPeerUser, kPeerPassword).
class MicrosocksPeer {
public:
    void launch();
    void start() { startPeer([this] { launch(); }); }
    uint16_t port() const { return port_; }

private:
    TempDirectory dir_;
    ProcessGroup process_;
    uint16_t port_ = 0;
};

// tinyproxy: CONNECT with Basic authentication (kPeerUser, kPeerPassword).
class TinyproxyPeer {
public:
    void launch();
    void start() { startPeer([this] { launch(); }); }
    uint16_t port() const { return port_; }

private:
    TempDirectory dir_;
    ProcessGroup process_;
    uint16_t port_ = 0;
};

// `ssh -D`: a SOCKS 4/4a/5 port served by the ssh client, whose connections sshd on
// loopback opens. sshd runs in a mount namespace of its own in which a private hosts file
// is mounted over /etc/hosts: there, and only there, privateName resolves to 127.0.0.1.
// So a SOCKS 4a request for that name works although the name resolves nowhere else on
// the machine, and nothing outside the namespace changes. The keys are made by the test.
class SshSocksPeer {
public:
    explicit SshSocksPeer(std::string privateName) : privateName_(std::move(privateName)) {}
    void launch();
    void start() { startPeer([this] { launch(); }); }
    uint16_t port() const { return socksPort_; }

private:
    std::string privateName_;
    TempDirectory dir_;
    ProcessGroup sshd_;
    ProcessGroup client_;
    uint16_t sshPort_ = 0;
    uint16_t socksPort_ = 0;
};

} // namespace orvane::testing
