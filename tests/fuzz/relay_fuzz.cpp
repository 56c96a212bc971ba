// The channel relay from arbitrary bytes, against sessions opened for fixed participants.
// The first byte chooses what the rest is:
//
// - the first frames of connections to the TCP relay, cut into arrivals: each is read as the
//   relay reads a join (capped), and a join names a session only when it is a
//   JOIN_TCP_CHANNEL with a 31-bit session id; the joins of a session then go first,
//   second, and no further, and never into a UDP session;
// - datagrams to the UDP relay, each with a source the input picks: the relay reads only the
//   session and the sender of a datagram that is long enough and begins with '~', and routes
//   it exactly as a model of the sessions kept here says: on to the other participant's last
//   address once both were heard from, never for a stranger, never in a TCP session.
//
// Session ids are random, so the input names the sessions by number: a join's session_id
// below 16, or a datagram's id field whose top byte is 0xFF, stands for the open session of
// that number.
#include "tests/fuzz/FuzzSupport.h"
#include "core/channels/Packet.h"
#include "foundation/XmlNode.h"
#include "server/RelaySessions.h"
#include "server/TcpRelay.h"
#include "server/UdpRelay.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace orvane;
using orvane::fuzzing::check;

namespace {

uint64_t bigEndian(const uint8_t* p, int bytes)
{
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = v << 8 | p[i];
    return v;
}

struct SessionModel {
    RelayProtocol protocol;
    uint64_t participants[2];
    int32_t id = 0;
    int joined = 0;
    bool heard[2] = {false, false};
    sockaddr_in addresses[2]{};
};

// Two UDP sessions (one whose participants are one user), two TCP sessions.
std::vector<SessionModel> openSessions(RelaySessions& sessions)
{
    std::vector<SessionModel> models = {
        {RelayProtocol::Udp, {1, 2}},
        {RelayProtocol::Udp, {3, 3}},
        {RelayProtocol::Tcp, {1, 2}},
        {RelayProtocol::Tcp, {4, 5}},
    };
    for (SessionModel& model : models)
        check(sessions.open(model.participants[0], model.protocol, model.participants[0], model.participants[1], 0,
                            model.id) == RelaySessions::Opened);
    return models;
}

SessionModel* modelOf(std::vector<SessionModel>& models, int32_t id)
{
    for (SessionModel& model : models)
        if (model.id == id)
            return &model;
    return nullptr;
}

void joins(const uint8_t* data, size_t size, RelaySessions& sessions, std::vector<SessionModel>& models)
{
    if (size < 1)
        return;
    ByteBufferSource source(data + 1, static_cast<int>(size - 1), 1 + data[0] % 32);
    Packet reader(0);
    reader.maxBodyLength = TcpRelayConnection::MaxJoinFrame;
    reader.setSource(&source);
    for (;;) {
        XmlNode record;
        bool parsed = false;
        try {
            parsed = reader.read(record);
        } catch (const Packet::FormatException&) {
            continue;
        } catch (const Exception&) {
            return;
        }
        int32_t id = TcpRelayConnection::joinedSession(record, parsed);
        if (id == 0)
            continue;
        String command = record.childOrEmpty("command")->value;
        command.toUpper();
        check(parsed && command == "JOIN_TCP_CHANNEL" && id > 0);
        if (id <= 16)
            id = models[static_cast<size_t>(id - 1) % models.size()].id;
        SessionModel* model = modelOf(models, id);
        const RelaySessions::JoinResult result = sessions.joinTcp(id);
        if (!model) {
            check(result == RelaySessions::NoSuchSession);
        } else if (model->protocol != RelayProtocol::Tcp) {
            check(result == RelaySessions::NotTcp);
        } else if (model->joined >= 2) {
            check(result == RelaySessions::BothJoined);
        } else {
            ++model->joined;
            check(result == (model->joined == 1 ? RelaySessions::JoinedFirst : RelaySessions::JoinedSecond));
        }
    }
}

void datagrams(const uint8_t* data, size_t size, RelaySessions& sessions, std::vector<SessionModel>& models)
{
    std::vector<std::vector<uint8_t>> kept;
    std::vector<RelayRoute> routes;
    size_t at = 0;
    while (at + 2 <= size) {
        const size_t length = std::min<size_t>(data[at], size - at - 2);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F000001u + (data[at + 1] & 3));
        from.sin_port = htons(static_cast<uint16_t>(4000 + (data[at + 1] >> 2)));
        std::vector<uint8_t> bytes(data + at + 2, data + at + 2 + length);
        at += 2 + length;
        if (bytes.size() >= 12 && bytes[8] == 0xFF) {
            const int32_t id = models[bytes[11] % models.size()].id;
            for (int i = 0; i < 4; ++i)
                bytes[8 + i] = static_cast<uint8_t>(static_cast<uint32_t>(id) >> (24 - 8 * i));
        }
        RelayRoute route;
        const bool read = UdpRelay::readHeader(bytes.data(), static_cast<unsigned>(bytes.size()), route);
        check(read == (bytes.size() >= UdpRelay::HeaderSize && bytes[0] == UdpRelay::Magic));
        if (!read)
            continue;
        const uint64_t id = bigEndian(bytes.data() + 8, 4);
        check(route.sessionId == (id > INT32_MAX ? 0 : static_cast<int32_t>(id)));
        check(route.senderId == bigEndian(bytes.data() + 12, 8));
        route.from = from;
        routes.push_back(route);
    }
    if (routes.empty())
        return;
    sessions.route(routes.data(), static_cast<int>(routes.size()), 1);
    for (const RelayRoute& route : routes) {
        SessionModel* model = modelOf(models, route.sessionId);
        if (!model || model->protocol != RelayProtocol::Udp) {
            check(route.outcome == RelayRoute::UnknownSession);
            continue;
        }
        const int side = route.senderId == model->participants[0] ? 0 : route.senderId == model->participants[1] ? 1 : -1;
        if (side < 0) {
            check(route.outcome == RelayRoute::NotAParticipant);
            continue;
        }
        model->heard[side] = true;
        model->addresses[side] = route.from;
        if (!model->heard[1 - side]) {
            check(route.outcome == RelayRoute::PartnerNotHeard);
            continue;
        }
        check(route.outcome == RelayRoute::Forward);
        check(std::memcmp(&route.to, &model->addresses[1 - side], sizeof route.to) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    RelaySessions sessions(RelaySessions::Limits{});
    std::vector<SessionModel> models = openSessions(sessions);
    if (data[0] & 1)
        joins(data + 1, size - 1, sessions, models);
    else
        datagrams(data + 1, size - 1, sessions, models);
    return 0;
}
