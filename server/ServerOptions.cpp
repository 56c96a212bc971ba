#include "server/ServerOptions.h"

#include "network/HttpMessage.h"
#include "server/ServerFrames.h"


namespace orvane {

namespace {

bool readNumber(const char* text, int low, int high, int& out)
{
    // Digits only: "12x" and "" are not numbers.
    uint64_t value = 0;
    if (!readDecimal(text, static_cast<uint64_t>(high), value) || value < static_cast<uint64_t>(low))
        return false;
    out = static_cast<int>(value);
    return true;
}

// "ADDRESS:PORT", "ADDRESS" (the port kept) or ":PORT" (the address kept).
bool readEndpoint(const char* text, SocketAddress& address)
{
    String host(text);
    int port = address.getPort();
    const int colon = host.find(':');
    if (colon >= 0) {
        if (!readNumber(host.c_str() + colon + 1, 0, 65535, port))
            return false;
        host.setLength(colon);
    }
    SocketAddress parsed = address;
    if (!host.isEmpty()) {
        try {
            parsed.setHost(host.c_str(), port);
        } catch (const Exception&) {
            return false;
        }
    } else {
        parsed.setAddress(address.getAddress(), port);
    }
    address = parsed;
    return true;
}

} // namespace

const char* serverUsage()
{
    return "usage: orvane-server [options]\n"
           "  --http ADDRESS:PORT        account endpoint (default 127.0.0.1:8470; port 0: any free port)\n"
           "  --message ADDRESS:PORT     message server (default 127.0.0.1:8471; port 0: any free port)\n"
           "  --database PATH            keep accounts in this SQLite file (default: in memory)\n"
           "  --in-memory                keep accounts in memory only\n"
           "  --account NAME:PASSWORD    make this account at start when missing (repeatable);\n"
           "                             the accounts named so all list each other\n"
           "  --external-address A.B.C.D report this address to every client as its own\n"
           "  --advertise-host HOST      message server host named in sign-in replies\n"
           "  --hash-cost N              password hash work factor, 1 to 11 (default 5)\n"
           "  --password-workers N       threads computing password hashes, the most computed at once (default 4)\n"
           "  --hashes-per-address N     password hashes one client address may have waiting (default 64)\n"
           "  --max-connections N        message connections at once (default 10000)\n"
           "  --max-http-connections N   account endpoint connections at once (default 2000)\n"
           "  --max-waiting-per-address N  connections from one address not yet signed in or\n"
           "                             without a whole request (default 64)\n"
           "  --max-sessions-per-user N  connections of one account (default 4)\n"
           "  --sign-in-timeout MS       time a new connection has to send its sign-in frame (default 5000)\n"
           "  --relay ADDRESS:PORT       run the channel relay, TCP and UDP on this one port (port 0: any port\n"
           "                             free for both); without it OPEN_SERVER_CHANNEL is refused\n"
           "  --max-relay-sessions N     relay sessions at once (default 1000)\n"
           "  --max-relay-sessions-per-user N  relay sessions one account may have opened (default 64)\n"
           "  --relay-join-timeout MS    a relay session whose two sides have not both come by then ends\n"
           "                             (default 60000)\n"
           "  --relay-udp-idle MS        a UDP relay session through which nothing came for this long ends\n"
           "                             (default 120000)\n"
           "Once listening it prints: LISTENING http=ADDRESS:PORT message=ADDRESS:PORT\n"
           "and, with a relay, \" relay=ADDRESS:PORT\" at the end of that line.\n";
}

bool parseServerOptions(int argc, const char* const* argv, ServerSettings& settings, bool& help, String& error)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        const String option(argv[i]);
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        if (option == "--in-memory") {
            settings.databasePath.clear();
            continue;
        }
        if (i + 1 >= argc) {
            error.format("%s needs a value", option.c_str());
            return false;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (option == "--http") {
            ok = readEndpoint(value, settings.httpAddress);
        } else if (option == "--message") {
            ok = readEndpoint(value, settings.messageAddress);
        } else if (option == "--database") {
            settings.databasePath = value;
            ok = !settings.databasePath.isEmpty();
        } else if (option == "--account") {
            const String pair(value);
            const int colon = pair.find(':');
            ok = colon > 0 && colon + 1 < static_cast<int>(pair.length());
            if (ok)
                settings.demoAccounts.emplace_back(pair.substring(0, colon), pair.substring(colon + 1));
        } else if (option == "--external-address") {
            uint32_t address;
            ok = parseDottedQuad(value, address);
            settings.externalAddress = value;
        } else if (option == "--advertise-host") {
            settings.advertisedHost = value;
            ok = !settings.advertisedHost.isEmpty() && isSafeToken(settings.advertisedHost) &&
                 settings.advertisedHost.find(':') < 0;
        } else if (option == "--hash-cost") {
            ok = readNumber(value, 1, 11, settings.passwordHashCost);
        } else if (option == "--password-workers") {
            ok = readNumber(value, 1, 64, settings.passwordWorkers);
        } else if (option == "--hashes-per-address") {
            ok = readNumber(value, 1, 1000000, settings.maxHashesWaitingPerAddress);
        } else if (option == "--max-connections") {
            ok = readNumber(value, 1, 1000000, settings.maxMessageConnections);
        } else if (option == "--max-http-connections") {
            ok = readNumber(value, 1, 1000000, settings.maxHttpConnections);
        } else if (option == "--max-waiting-per-address") {
            ok = readNumber(value, 1, 1000000, settings.maxWaitingPerAddress);
        } else if (option == "--max-sessions-per-user") {
            ok = readNumber(value, 1, 1000, settings.maxSessionsPerUser);
        } else if (option == "--sign-in-timeout") {
            ok = readNumber(value, 1, 24 * 3600 * 1000, settings.signInTimeoutMs);
        } else if (option == "--relay") {
            ok = readEndpoint(value, settings.relayAddress);
            settings.relayEnabled = true;
        } else if (option == "--max-relay-sessions") {
            ok = readNumber(value, 1, 1000000, settings.maxRelaySessions);
        } else if (option == "--max-relay-sessions-per-user") {
            ok = readNumber(value, 1, 1000000, settings.maxRelaySessionsPerUser);
        } else if (option == "--relay-join-timeout") {
            ok = readNumber(value, 1, 24 * 3600 * 1000, settings.relayJoinTimeoutMs);
        } else if (option == "--relay-udp-idle") {
            ok = readNumber(value, 1, 24 * 3600 * 1000, settings.relayUdpIdleTimeoutMs);
        } else {
            error.format("unknown option %s", option.c_str());
            return false;
        }
        if (!ok) {
            error.format("bad value for %s: %s", option.c_str(), value);
            return false;
        }
    }
    return true;
}

String listeningLine(const SocketAddress& http, const SocketAddress& message, const SocketAddress* relay)
{
    String line;
    line.format("LISTENING http=%s:%u message=%s:%u", http.getHostAddress().c_str(),
                static_cast<unsigned>(http.getPort()), message.getHostAddress().c_str(),
                static_cast<unsigned>(message.getPort()));
    if (relay) {
        String part;
        part.format(" relay=%s:%u", relay->getHostAddress().c_str(), static_cast<unsigned>(relay->getPort()));
        line += part;
    }
    return line;
}

} // namespace orvane
