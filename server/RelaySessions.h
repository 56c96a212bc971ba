#pragma once

#include "foundation/Socket.h"

#include <cstdint>
#include <mutex>
#include <netinet/in.h>
#include <unordered_map>
#include <vector>

namespace orvane {

enum class RelayProtocol { Tcp, Udp };

// One datagram's way through the UDP relay: what its header claims and where it came from,
// and, once routed, whether it goes on and to whom.
struct RelayRoute {
    enum Outcome { Forward, UnknownSession, NotAParticipant, PartnerNotHeard };

    int32_t sessionId = 0;
    uint64_t senderId = 0;
    sockaddr_in from{};
    Outcome outcome = UnknownSession;
    // Where it goes, when it goes on.
    sockaddr_in to{};
};

// The relay sessions that clients opened with OPEN_SERVER_CHANNEL: for each, its two
// participants and protocol, how far its sides have come, and when it ends. A session's id
// is random (31 bits, never 0), so that nobody joins a session by guessing; ids are unique
// among the live sessions.
//
// A session ends when its relay says so (close), or when expire finds it past its time: its
// two sides not both joined (TCP) or heard from (UDP) within joinTimeoutMs of its opening,
// or, for UDP, nothing through it for udpIdleTimeoutMs. A TCP session with both sides
// joined lives as long as its pair of connections, which the TCP relay watches.
//
// One lock guards it: the message server opens sessions on its loop while the relays look
// them up on theirs.
class RelaySessions {
public:
    enum OpenResult { Opened, TooManyForUser, TooMany };
    enum JoinResult { JoinedFirst, JoinedSecond, NoSuchSession, NotTcp, BothJoined };

    struct Limits {
        int maxSessions = 1000;
        int maxSessionsPerUser = 64;
        int joinTimeoutMs = 60000;
        int udpIdleTimeoutMs = 120000;
    };

    struct Ended {
        int32_t id;
        RelayProtocol protocol;
        // Sides that had joined (TCP) or been heard from (UDP).
        int sidesSeen;
    };

    explicit RelaySessions(const Limits& limits);
    RelaySessions(const RelaySessions&) = delete;
    RelaySessions& operator=(const RelaySessions&) = delete;

    // Where clients reach the relay: its bound address, set once before any session opens.
    void setAddress(const SocketAddress& address) { address_ = address; }
    const SocketAddress& address() const { return address_; }
    const Limits& limits() const { return limits_; }

    // A new session between the two participants, opened by `requester`; its id in `id`.
    // `now` is on the monotonic clock.
    OpenResult open(uint64_t requester, RelayProtocol protocol, uint64_t first, uint64_t second, int64_t now,
                    int32_t& id);
    // A connection to the TCP relay names the session: it is the first or the second side,
    // or it is refused.
    JoinResult joinTcp(int32_t id);
    // The session ends (a side of its pair closed). An id that is gone is ignored.
    void close(int32_t id);
    // Routes datagrams in one go: each whose sender is a participant of its UDP session
    // teaches the session that participant's address, and goes to the other participant
    // when that one's address is known.
    void route(RelayRoute* routes, int count, int64_t now);
    // Ends the sessions past their time and tells which.
    void expire(int64_t now, std::vector<Ended>& ended);

    int count();
    int countOpenedBy(uint64_t requester);

private:
    struct Session {
        RelayProtocol protocol;
        uint64_t requester;
        uint64_t participants[2];
        int64_t opened;
        // TCP: sides joined. UDP: which participants were heard from, at which address.
        int joined = 0;
        bool heard[2] = {false, false};
        sockaddr_in addresses[2]{};
        int64_t lastHeard = 0;
    };

    int32_t freshId() const;
    void erase(std::unordered_map<int32_t, Session>::iterator it);

    const Limits limits_;
    SocketAddress address_;
    std::mutex lock_;
    std::unordered_map<int32_t, Session> sessions_;
    std::unordered_map<uint64_t, int> perRequester_;
};

} // namespace orvane
