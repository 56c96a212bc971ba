// Time to a usable tunnel, one new connection per iteration: our ProxyClient against
// libcurl (CURLOPT_CONNECT_ONLY with the same proxy settings) in the same run.
//
// - CONNECT through squid with Basic authentication. ProxyClient sends its first CONNECT
//   without credentials and answers the 407 on a new connection; curl is measured asking
//   first in the same way (then answering on the same connection), and also sending the
//   credentials at once (one round trip fewer).
// - SOCKS 5 through dante without authentication. ProxyClient always sends the destination
//   as a name; curl does that with "socks5h://" and sends the address with "socks5://".

#include "network/ProxyClient.h"

#include "ProxyPeers.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <sys/socket.h>
#include <memory>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

// Both clients end each connection with a reset: thousands of orderly closes in a row would
// fill the loopback's port range with sockets in TIME_WAIT.
void resetOnClose(int fd)
{
    linger l{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

int curlSocketOptions(void*, curl_socket_t fd, curlsocktype)
{
    resetOnClose(fd);
    return CURL_SOCKOPT_OK;
}

struct Peers {
    EchoServer echo{true};
    SquidPeer squid{SquidPeer::Auth::Basic};
    DantePeer dante{1};  // no destination of this run is refused
};
Peers* gPeers = nullptr;

void connectThrough(benchmark::State& state, uint8_t type, uint16_t proxyPort, const char* user,
                    const char* password)
{
    ProxyClient client;
    client.user = user;
    client.password = password;
    for (auto _ : state) {
        Socket socket;
        try {
            client.connect(socket, "127.0.0.1", gPeers->echo.port(), "127.0.0.1", proxyPort, type);
        } catch (const Exception&) {
            state.SkipWithError(client.lastError.isEmpty() ? "connect failed" : client.lastError.c_str());
            socket.close();
            break;
        }
        resetOnClose(socket.handle);
        socket.close();
    }
}

void curlConnect(benchmark::State& state, const std::string& proxy, long auth)
{
    const std::string url = "http://127.0.0.1:" + std::to_string(gPeers->echo.port()) + "/";
    const std::string credentials = std::string(kPeerUser) + ":" + kPeerPassword;
    for (auto _ : state) {
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, curlSocketOptions);
        if (auth != CURLAUTH_NONE) {
            curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
            curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, credentials.c_str());
            curl_easy_setopt(curl, CURLOPT_PROXYAUTH, auth);
        }
        CURLcode rc = curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        if (rc != CURLE_OK) {
            state.SkipWithError(curl_easy_strerror(rc));
            break;
        }
    }
}

void BM_ProxyClientConnectSquidBasic(benchmark::State& state)
{
    connectThrough(state, ProxyHttps, gPeers->squid.port(), kPeerUser, kPeerPassword);
}

// Arg 0: CURLAUTH_BASIC | CURLAUTH_ONLY (asks without credentials first, as ProxyClient
// does); 1: CURLAUTH_ANY (asks first, then picks among every scheme it knows);
// 2: CURLAUTH_BASIC (credentials at once).
void BM_CurlConnectSquidBasic(benchmark::State& state)
{
    static const long kAuth[] = {long(CURLAUTH_BASIC | CURLAUTH_ONLY), long(CURLAUTH_ANY),
                                 long(CURLAUTH_BASIC)};
    curlConnect(state, "http://127.0.0.1:" + std::to_string(gPeers->squid.port()), kAuth[state.range(0)]);
}

void BM_ProxyClientSocks5Dante(benchmark::State& state)
{
    connectThrough(state, ProxySocks5, gPeers->dante.port(), "", "");
}

// Arg 0: "socks5h://" (the name goes to the proxy, as with ProxyClient); 1: "socks5://".
void BM_CurlSocks5Dante(benchmark::State& state)
{
    curlConnect(state,
                (state.range(0) == 0 ? "socks5h://127.0.0.1:" : "socks5://127.0.0.1:") +
                    std::to_string(gPeers->dante.port()),
                CURLAUTH_NONE);
}

BENCHMARK(BM_ProxyClientConnectSquidBasic)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CurlConnectSquidBasic)->Arg(0)->Arg(1)->Arg(2)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ProxyClientSocks5Dante)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CurlSocks5Dante)->Arg(0)->Arg(1)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    socketStartup();
    auto peers = std::make_unique<Peers>();
    try {
        peers->squid.launch();
        peers->dante.launch();
    } catch (const PeerError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    gPeers = peers.get();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    gPeers = nullptr;
    return 0;
}
