#pragma once

#include <utility>
#include <vector>

#include "core/Message.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

// Everything the stand-in server can be told, with the defaults it runs with. Each bound
// here caps something a peer decides: sizes, counts and waits.
struct ServerSettings {
    static constexpr uint16_t DefaultHttpPort = 8470;
    static constexpr uint16_t DefaultMessagePort = 8471;
    static constexpr uint16_t DefaultRelayPort = 8472;

    ServerSettings()
    {
        httpAddress.setAddress(htonl(INADDR_LOOPBACK), DefaultHttpPort);
        messageAddress.setAddress(htonl(INADDR_LOOPBACK), DefaultMessagePort);
        relayAddress.setAddress(htonl(INADDR_LOOPBACK), DefaultRelayPort);
    }

    // Where the account endpoint and the message server listen; port 0 picks a free one.
    SocketAddress httpAddress;
    SocketAddress messageAddress;
    // The SQLite file of accounts, contact lists and held frames; empty keeps them in
    // memory for the life of the process.
    String databasePath;
    // Accounts made at start when missing (name and password); they all list each other.
    // For running the program by hand with a ready pair of contacts.
    std::vector<std::pair<String, String>> demoAccounts;
    // Reported to every client as its external address instead of the address its
    // connection comes from (tests that play clients behind a gateway).
    String externalAddress;
    // The message server host named in the sign-in reply. Empty: the message server's own
    // address, or, when it listens on every interface, the address the sign-in came to.
    String advertisedHost;

    // Work factor of the password hash (1 to 11; each step doubles the cost and the memory:
    // 16 MB and some 60 ms at 5).
    int passwordHashCost = 5;
    // Threads that check and make password hashes, for the sign-in frames and the account
    // forms: at most this many hashes are computed at once, the rest wait their turn. The
    // turns go round the client addresses that have hashes waiting, one hash each.
    int passwordWorkers = 4;
    // Hashes one client address may have waiting for the workers, sign-in frames and
    // account forms together; one more is turned away (the form answered 503, the
    // connection of a sign-in frame closed). The turns keep an address from delaying
    // others; this keeps it from piling up work and memory. As many as the connections it
    // may have waiting, so that an office behind one address can sign in all at once.
    int maxHashesWaitingPerAddress = 64;

    // Connections open at once on each face. When a face is full, a new connection takes
    // the place of the oldest one that is still waiting (see below), or is closed at accept
    // when none waits. Both are lowered at start when the process may not open that many
    // descriptors.
    int maxMessageConnections = 10000;
    int maxHttpConnections = 2000;
    // Connections from one address that wait: for the message server, those whose sign-in
    // frame has not come; for the account endpoint, those whose request is not whole; for
    // the TCP relay, those whose join frame has not come. One more from the same address
    // takes the place of its oldest.
    int maxWaitingPerAddress = 64;
    // Signed-in connections of one account; a further sign-in is refused.
    int maxSessionsPerUser = 4;
    // Frame bodies, on the wire and inflated.
    int maxFrameBody = Message::DefaultMaxBodyLength;
    // Bytes waiting to be written to one client (one frame always fits); a client that lets
    // more pile up is dropped.
    int maxQueuedBytes = 8 * 1024 * 1024;
    // A connection whose sign-in frame has not come by then is closed.
    int signInTimeoutMs = 5000;
    // Contacts one account may list.
    int maxContacts = 1000;
    // Session frames held for one offline account, by count and by body bytes.
    int maxHeldFrames = 500;
    int maxHeldBytes = 4 * 1024 * 1024;

    // The account endpoint: one request per connection, read within this time.
    int httpRequestTimeoutMs = 10000;
    int maxHttpLine = 8 * 1024;
    int maxHttpHeaders = 64;
    int maxHttpBody = 64 * 1024;
    // Fields of one form.
    int maxFormFields = 32;

    // The channel relay, for two clients that cannot reach each other: off unless asked
    // for. Its TCP listener and its UDP socket share one port number (port 0: one the
    // system picks for TCP that is free for UDP too).
    bool relayEnabled = false;
    SocketAddress relayAddress;
    // Relay sessions alive at once, in all and per account that opened them; a further
    // OPEN_SERVER_CHANNEL is refused. Lowered at start when the process may not open the
    // descriptors they take. A datagram session outlives its channel until it has been idle
    // for a while, so an account that reopens calls needs room for those winding down.
    int maxRelaySessions = 1000;
    int maxRelaySessionsPerUser = 64;
    // A session whose two sides have not both joined (TCP) or both been heard from (UDP)
    // by then ends; a TCP side that waits for the other is closed.
    int relayJoinTimeoutMs = 60000;
    // A UDP session through which nothing came for this long ends.
    int relayUdpIdleTimeoutMs = 120000;
    // A connection to the TCP relay has this long to send its join frame.
    int relayJoinFrameTimeoutMs = 5000;
    // Bytes the TCP relay holds per direction of a pair: what one side sent before the
    // other joined, and what the slower reader has not taken yet. Beyond it the relay stops
    // reading that side, so the sender is held back by TCP itself.
    int relayHoldBytes = 1024 * 1024;
};

} // namespace orvane
