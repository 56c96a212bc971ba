// What a proxy answers to the client's CONNECT (HTTP), SOCKS 4 and SOCKS 5 requests, and
// to automatic detection: a proxy on loopback answers every connection with the input,
// whole. Whatever it says, the client either fails with a typed exception or has been
// granted the connection by the answer the protocol grants it with.
#include "network/ProxyClient.h"

#include "ScriptedPeer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace orvane;

namespace {

// Bytes 0x00 to 0x20 off both ends, as the response reader trims its lines.
std::string trimmed(const std::string& text)
{
    size_t from = 0, to = text.size();
    while (from < to && static_cast<unsigned char>(text[from]) <= 0x20)
        ++from;
    while (to > from && static_cast<unsigned char>(text[to - 1]) <= 0x20)
        --to;
    return text.substr(from, to - from);
}

// The status code of the first line as the response reader takes it: the line trimmed,
// then the number that leads what follows its first blank, trimmed too (the version
// before the blank is not checked); 0 without one.
int statusOf(const std::string& answer)
{
    const std::string line = trimmed(answer.substr(0, answer.find('\n')));
    const size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return 0;
    const std::string rest = trimmed(line.substr(blank + 1));
    long code = 0;
    for (size_t at = 0; at < rest.size() && rest[at] >= '0' && rest[at] <= '9' && code < 1000000; ++at)
        code = code * 10 + (rest[at] - '0');
    return static_cast<int>(code);
}

bool granted(uint8_t type, const std::string& answer)
{
    switch (type) {
    case ProxyHttps:
        return statusOf(answer) / 100 == 2;
    case ProxySocks4:
        return answer.size() >= 8 && static_cast<uint8_t>(answer[1]) == 90;
    case ProxySocks5:
        return answer.size() >= 2 && answer[0] == 5;
    default:
        // Detection grants with whichever protocol the answer suits.
        return granted(ProxyHttps, answer) || granted(ProxySocks4, answer) || granted(ProxySocks5, answer);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static fuzzing::ScriptedPeer proxy;
    if (size > 8192)
        return 0;
    const std::string answer(reinterpret_cast<const char*>(data), size);
    proxy.script({answer}, true);
    for (uint8_t type : {ProxyHttps, ProxySocks4, ProxySocks5, ProxyAutoDetect}) {
        ProxyClient client;
        client.timeoutMs = 3000;
        // Credentials, so that the authentication steps are reached too.
        client.user = "user";
        client.password = "pw";
        // A Socket closes its handle only when told.
        Socket socket;
        bool connected = false;
        try {
            client.connect(socket, "127.0.0.1", 80, "127.0.0.1", proxy.port(), type);
            connected = true;
        } catch (const Exception&) {
        }
        socket.close();
        if (connected && !granted(type, answer))
            std::abort();
    }
    return 0;
}
