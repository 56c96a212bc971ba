// One session of the local tunnel relay: the input holds what the local client sends (its
// CONNECT request and the bytes after it) and the tunnel server's answers, each a whole
// HTTP response, given by a server on loopback one per request. Whatever they hold, the
// session ends, tells the client an HTTP/1.0 status line before anything else (after a
// refusal nothing else), and never keeps a tunnel id longer than its bound.
//
// Input: a 16-bit big-endian length, the client's bytes; then for each answer a 16-bit
// length and its bytes.
#include "network/TunnelRelaySession.h"

#include "ScriptedPeer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace orvane;

namespace {

class Session : public TunnelRelaySession {
public:
    using TunnelRelaySession::TunnelRelaySession;
    // The whole session on the local client's connection, on this thread, as a relay's
    // worker runs it.
    void runOn(int fd)
    {
        socket.handle = fd;
        run();
    }
};

// The next piece: a 16-bit length and that many bytes (fewer at the end of the input).
bool takePiece(const uint8_t*& data, size_t& size, std::string& piece)
{
    if (size < 2)
        return false;
    size_t length = size_t(data[0]) << 8 | data[1];
    data += 2;
    size -= 2;
    if (length > size)
        length = size;
    piece.assign(reinterpret_cast<const char*>(data), length);
    data += length;
    size -= length;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzzing::ScriptedPeer tunnelServer;
    if (size > 16384)
        return 0;
    std::string client;
    if (!takePiece(data, size, client))
        return 0;
    std::vector<std::string> answers;
    for (std::string answer; answers.size() < 8 && takePiece(data, size, answer);)
        answers.push_back(answer);
    tunnelServer.script(answers, false);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        std::abort();
    // The client has said all it will: the session meets the end of its stream.
    if (::send(ends[0], client.data(), client.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(client.size()))
        std::abort();
    ::shutdown(ends[0], SHUT_WR);

    TunnelSettings settings;
    settings.tunnelUrl = ("http://127.0.0.1:" + std::to_string(tunnelServer.port()) + "/tunnel").c_str();
    settings.chunkSize = 512;
    settings.establishTimeoutSec = 2;
    settings.retryDelayMs = 0;
    settings.maxTries = 2;
    settings.requestTimeoutSec = 2;
    Session session(settings);
    session.runOn(ends[1]);
    if (session.getTunnelId().length() > TunnelRelaySession::MaxTunnelIdLength)
        std::abort();

    std::string told;
    char buffer[4096];
    for (ssize_t n; (n = ::recv(ends[0], buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
        told.append(buffer, static_cast<size_t>(n));
    ::close(ends[0]);
    // Nothing, or a status line first; after a refusal, nothing but its line.
    if (told.empty() || told.compare(0, 19, "HTTP/1.0 200 OK\r\n\r\n") == 0)
        return 0;
    if (told.compare(0, 9, "HTTP/1.0 ") != 0 || told.find("\r\n\r\n") != told.size() - 4)
        std::abort();
    return 0;
}
