#pragma once

// nginx on 127.0.0.1 for the HTTP client tests: a temporary prefix with its own
// configuration, document root and logs, an unused port, a single process (no master, so
// no user switch), stopped when the object goes.

#include "tests/support/PeerProcess.h"

#include "../foundation/TempDirectory.h"

#include <string>

namespace orvane::testing {

class NginxServer {
public:
    // `serverBody` goes inside the server block; "@PORT@" and "@ROOT@" in it are replaced.
    // Every response carries "X-Connection: <nginx's connection number>" unless a location
    // sets headers of its own (then it must repeat that header).
    explicit NginxServer(const std::string& serverBody)
    {
        const std::string binary = findPeerBinary({"/usr/sbin/nginx"}, "nginx-light");
        if (binary.empty())
            return;
        ::mkdir((dir_ / "www").c_str(), 0755);
        for (int attempt = 0; attempt < 5 && !started_; ++attempt) {
            port_ = unusedLoopbackPort();
            writeBytes(dir_ / "nginx.conf", config(serverBody));
            process_.start({binary, "-p", dir_.path() + "/", "-c", dir_ / "nginx.conf", "-e", dir_ / "error.log"},
                           dir_ / "stderr.log");
            started_ = process_.waitUntilAccepting(port_);
            if (!started_)
                process_.stop();
        }
        if (!started_)
            ADD_FAILURE() << "nginx did not start:\n" << readBytes(dir_ / "error.log") << readBytes(dir_ / "stderr.log");
    }

    bool ok() const { return started_; }
    uint16_t port() const { return port_; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    // A file below the document root.
    void putFile(const std::string& name, const std::string& bytes) { writeBytes(dir_ / ("www/" + name), bytes); }
    std::string documentRoot() const { return dir_ / "www"; }
    std::string accessLog() const { return readBytes(dir_ / "access.log"); }

private:
    static std::string replaced(std::string text, const std::string& from, const std::string& to)
    {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
        return text;
    }

    std::string config(const std::string& serverBody) const
    {
        const std::string root = dir_.path();
        std::string body = replaced(replaced(serverBody, "@PORT@", std::to_string(port_)), "@ROOT@", root + "/www");
        return "daemon off;\n"
               "master_process off;\n"
               "worker_processes 1;\n"
               "pid " + root + "/nginx.pid;\n"
               "error_log " + root + "/error.log info;\n"
               "events { worker_connections 128; }\n"
               "http {\n"
               "  default_type text/plain;\n"
               "  log_format conn '$connection $request_method $request_uri $status';\n"
               "  access_log " + root + "/access.log conn;\n"
               "  client_body_temp_path " + root + "/body;\n"
               "  proxy_temp_path " + root + "/proxy;\n"
               "  fastcgi_temp_path " + root + "/fastcgi;\n"
               "  uwsgi_temp_path " + root + "/uwsgi;\n"
               "  scgi_temp_path " + root + "/scgi;\n"
               "  keepalive_timeout 30s;\n"
               "  server {\n"
               "    listen 127.0.0.1:" + std::to_string(port_) + ";\n"
               "    root " + root + "/www;\n"
               "    absolute_redirect off;\n"
               "    add_header X-Connection $connection always;\n" +
               body +
               "  }\n"
               "}\n";
    }

    TempDirectory dir_;
    PeerProcess process_;
    uint16_t port_ = 0;
    bool started_ = false;
};

} // namespace orvane::testing
