// Run by the socket tests inside a network namespace of its own (unshare --net): no name
// server can be reached from there, so every lookup that /etc/hosts cannot answer fails.
// Prints what went wrong and exits non-zero on any failed check.

#include "foundation/Exception.h"
#include "foundation/Socket.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>

using namespace orvane;

extern char** environ;

namespace {

int failures = 0;

void check(bool ok, const char* what)
{
    if (!ok) {
        std::printf("FAILED: %s\n", what);
        ++failures;
    }
}

template <class E, class F>
void expectThrow(F f, const char* what)
{
    try {
        f();
    } catch (const E&) {
        return;
    } catch (...) {
        std::printf("FAILED: %s (another exception)\n", what);
        ++failures;
        return;
    }
    std::printf("FAILED: %s (no exception)\n", what);
    ++failures;
}

bool bringLoopbackUp()
{
    const char* argv[] = {"ip", "link", "set", "lo", "up", nullptr};
    pid_t pid;
    int rc = posix_spawnp(&pid, "ip", nullptr, nullptr, const_cast<char**>(argv), environ);
    if (rc != 0) {
        std::printf("cannot run ip (package iproute2): %s\n", std::strerror(rc));
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("ip link set lo up failed\n");
        return false;
    }
    return true;
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (!bringLoopbackUp())
        return 2;
    socketStartup();

    const char* unknown = "orvane-no-such-host.invalid";
    expectThrow<UnknownHostException>([&] { resolveHost(unknown); },
                                      "resolveHost of an unknown name");
    expectThrow<UnknownHostException>([] { resolveHost(""); }, "resolveHost of an empty name");

    SocketAddress a;
    a.setAddress(htonl(0x05060708), 1234);
    check(!a.parse("orvane-no-such-host.invalid:80", 1), "parse of an unknown host answers false");
    check(a.getAddress() == htonl(0x05060708) && a.getPort() == 1234,
          "a failed parse leaves the address alone");
    expectThrow<UnknownHostException>([&] { a.setHost(unknown, 80); },
                                      "setHost passes UnknownHostException on");

    SocketAddress documentation;
    documentation.setAddress(htonl(0xC0000201), 0); // 192.0.2.1
    expectThrow<UnknownHostException>([&] { documentation.getHostName(); },
                                      "reverse lookup of an address nobody names");

    // /etc/hosts still answers for the loopback name in both directions.
    try {
        check(resolveHost("localhost") == htonl(INADDR_LOOPBACK), "localhost is 127.0.0.1");
        SocketAddress named;
        check(named.parse("localhost:8080", 1), "parse of localhost:8080");
        check(named.getHostAddress() == "127.0.0.1" && named.getPort() == 8080,
              "localhost:8080 gives 127.0.0.1 port 8080");
        check(named.getHostName() == "localhost", "127.0.0.1 is named localhost");
    } catch (const Exception&) {
        check(false, "the loopback name resolves");
    }

    socketCleanup();
    if (failures == 0)
        std::printf("resolver probe: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
