// Sequential GETs of a small page from a local nginx, each client reusing its one
// connection: our HttpClient against libcurl. The main comparison has both speak HTTP/1.0
// with "Connection: Keep-Alive", so the server's work per request is the same; curl over
// plain HTTP/1.1 runs as well for reference.

#include "network/HttpClient.h"
#include "tests/support/RawLoopback.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::string gUrl;
const size_t kPageSize = 512;

// nginx in a temporary prefix; stopped by the destructor.
class Nginx {
public:
    bool start()
    {
        char pattern[] = "/tmp/orvane-bench-XXXXXX";
        if (!mkdtemp(pattern))
            return false;
        dir_ = pattern;
        ::mkdir((dir_ + "/www").c_str(), 0755);
        std::ofstream(dir_ + "/www/page.txt") << std::string(kPageSize, 'x');
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = orvane::testing::unusedLoopbackPort();
            std::ofstream(dir_ + "/nginx.conf")
                << "daemon off; master_process off; worker_processes 1; pid " << dir_ << "/nginx.pid;\n"
                << "error_log " << dir_ << "/error.log;\n"
                << "events { worker_connections 64; }\n"
                << "http { access_log off; keepalive_requests 1000000; keepalive_timeout 60s;\n"
                << "  client_body_temp_path " << dir_ << "/b; proxy_temp_path " << dir_ << "/p;\n"
                << "  fastcgi_temp_path " << dir_ << "/f; uwsgi_temp_path " << dir_ << "/u; scgi_temp_path "
                << dir_ << "/s;\n"
                << "  server { listen 127.0.0.1:" << port_ << "; root " << dir_ << "/www; } }\n";
            std::string prefix = dir_ + "/", conf = dir_ + "/nginx.conf", err = dir_ + "/error.log";
            const char* argv[] = {"/usr/sbin/nginx", "-p", prefix.c_str(), "-c", conf.c_str(), "-e", err.c_str(), nullptr};
            if (posix_spawn(&pid_, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
                std::fprintf(stderr, "cannot start /usr/sbin/nginx: install the Debian package nginx-light\n");
                return false;
            }
            for (int i = 0; i < 500; ++i) {
                if (orvane::testing::loopbackPortAccepts(port_))
                    return true;
                int status;
                if (::waitpid(pid_, &status, WNOHANG) == pid_)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            stop();
        }
        return false;
    }
    void stop()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }
    ~Nginx()
    {
        stop();
        if (!dir_.empty())
            std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    uint16_t port() const { return port_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

void BM_HttpClientGet(benchmark::State& state)
{
    orvane::HttpClient client;
    orvane::ByteArray out;
    int connections = 0;
    for (auto _ : state) {
        client.get(gUrl.c_str(), &out);
        connections += client.reconnected;
        if (out.count() != static_cast<int>(kPageSize))
            state.SkipWithError("short body");
    }
    state.counters["connections"] = connections;
    state.SetItemsProcessed(state.iterations());
}

size_t collect(char* data, size_t size, size_t n, void* user)
{
    static_cast<std::string*>(user)->append(data, size * n);
    return size * n;
}

// state.range(0): 10 for HTTP/1.0 with "Connection: Keep-Alive", 11 for plain HTTP/1.1.
void BM_CurlGet(benchmark::State& state)
{
    const bool http10 = state.range(0) == 10;
    CURL* curl = curl_easy_init();
    std::string body;
    curl_slist* headers = http10 ? curl_slist_append(nullptr, "Connection: Keep-Alive") : nullptr;
    curl_easy_setopt(curl, CURLOPT_URL, gUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    long connections = 0;
    for (auto _ : state) {
        body.clear();
        if (curl_easy_perform(curl) != CURLE_OK || body.size() != kPageSize)
            state.SkipWithError("curl request failed");
        long opened = 0;
        curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &opened);
        connections += opened;
    }
    state.counters["connections"] = static_cast<double>(connections);
    state.SetItemsProcessed(state.iterations());
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
}

BENCHMARK(BM_HttpClientGet)->MinTime(2.0);
BENCHMARK(BM_CurlGet)->Arg(10)->Arg(11)->MinTime(2.0);

} // namespace

int main(int argc, char** argv)
{
    Nginx nginx;
    if (!nginx.start()) {
        std::fprintf(stderr, "nginx did not start\n");
        return 1;
    }
    gUrl = "http://127.0.0.1:" + std::to_string(nginx.port()) + "/page.txt";
    curl_global_init(CURL_GLOBAL_DEFAULT);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    curl_global_cleanup();
    return 0;
}
