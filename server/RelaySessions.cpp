#include "server/RelaySessions.h"

#include <random>
#include <sys/random.h>

namespace orvane {

RelaySessions::RelaySessions(const Limits& limits) : limits_(limits) {}

int32_t RelaySessions::freshId() const
{
    // The id is all that admits a connection to a TCP session: it comes from the kernel's
    // generator, not from anything a client could work out.
    uint32_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        std::random_device device;
        value = device();
    }
    return static_cast<int32_t>(value & 0x7FFFFFFFu);
}

RelaySessions::OpenResult RelaySessions::open(uint64_t requester, RelayProtocol protocol, uint64_t first,
                                              uint64_t second, int64_t now, int32_t& id)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (static_cast<int>(sessions_.size()) >= limits_.maxSessions)
        return TooMany;
    int& opened = perRequester_[requester];
    if (opened >= limits_.maxSessionsPerUser)
        return TooManyForUser;
    do
        id = freshId();
    while (id == 0 || sessions_.count(id) != 0);
    Session session;
    session.protocol = protocol;
    session.requester = requester;
    session.participants[0] = first;
    session.participants[1] = second;
    session.opened = now;
    session.lastHeard = now;
    sessions_.emplace(id, session);
    ++opened;
    return Opened;
}

void RelaySessions::erase(std::unordered_map<int32_t, Session>::iterator it)
{
    auto count = perRequester_.find(it->second.requester);
    if (count != perRequester_.end() && --count->second <= 0)
        perRequester_.erase(count);
    sessions_.erase(it);
}

RelaySessions::JoinResult RelaySessions::joinTcp(int32_t id)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = sessions_.find(id);
    if (it == sessions_.end())
        return NoSuchSession;
    Session& session = it->second;
    if (session.protocol != RelayProtocol::Tcp)
        return NotTcp;
    if (session.joined >= 2)
        return BothJoined;
    return ++session.joined == 1 ? JoinedFirst : JoinedSecond;
}

void RelaySessions::close(int32_t id)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = sessions_.find(id);
    if (it != sessions_.end())
        erase(it);
}

void RelaySessions::route(RelayRoute* routes, int count, int64_t now)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (int i = 0; i < count; ++i) {
        RelayRoute& route = routes[i];
        route.outcome = RelayRoute::UnknownSession;
        auto it = sessions_.find(route.sessionId);
        if (it == sessions_.end() || it->second.protocol != RelayProtocol::Udp)
            continue;
        Session& session = it->second;
        int side;
        if (route.senderId == session.participants[0])
            side = 0;
        else if (route.senderId == session.participants[1])
            side = 1;
        else {
            route.outcome = RelayRoute::NotAParticipant;
            continue;
        }
        // The latest source wins: a participant whose NAT mapping changed is followed.
        session.addresses[side] = route.from;
        session.heard[side] = true;
        session.lastHeard = now;
        const int other = 1 - side;
        if (session.heard[other]) {
            route.outcome = RelayRoute::Forward;
            route.to = session.addresses[other];
        } else {
            route.outcome = RelayRoute::PartnerNotHeard;
        }
    }
}

void RelaySessions::expire(int64_t now, std::vector<Ended>& ended)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        const Session& session = it->second;
        const int seen = session.protocol == RelayProtocol::Tcp ? session.joined
                                                                : int(session.heard[0]) + int(session.heard[1]);
        const bool late = seen < 2 && now - session.opened >= limits_.joinTimeoutMs;
        const bool idle = session.protocol == RelayProtocol::Udp && seen == 2 &&
                          now - session.lastHeard >= limits_.udpIdleTimeoutMs;
        if (late || idle) {
            ended.push_back(Ended{it->first, session.protocol, seen});
            auto next = std::next(it);
            erase(it);
            it = next;
        } else {
            ++it;
        }
    }
}

int RelaySessions::count()
{
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(sessions_.size());
}

int RelaySessions::countOpenedBy(uint64_t requester)
{
    std::lock_guard<std::mutex> guard(lock_);
    auto it = perRequester_.find(requester);
    return it == perRequester_.end() ? 0 : it->second;
}

} // namespace orvane
