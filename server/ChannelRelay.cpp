#include "server/ChannelRelay.h"

#include "foundation/Clock.h"
#include "server/ServerLog.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/socket.h>

namespace orvane {

namespace {

// Ports the system picks for TCP that may be taken for UDP; each try picks another.
constexpr int PortTries = 8;
// Connections that have not sent their join frame yet, beyond the two sides of every
// session.
constexpr int JoiningConnections = 256;

RelaySessions::Limits limitsFrom(const ServerSettings& settings, int maxSessions)
{
    RelaySessions::Limits limits;
    limits.maxSessions = maxSessions;
    limits.maxSessionsPerUser = settings.maxRelaySessionsPerUser;
    limits.joinTimeoutMs = settings.relayJoinTimeoutMs;
    limits.udpIdleTimeoutMs = settings.relayUdpIdleTimeoutMs;
    return limits;
}

void logCaught(const char* what)
{
    serverLog("relay loop: caught an exception: %s",
              printableText(what, static_cast<int>(std::strlen(what)), 200).c_str());
}

} // namespace

long ChannelRelay::descriptorsFor(int maxSessions)
{
    return 6L * maxSessions + JoiningConnections;
}

int ChannelRelay::sessionsWithin(long descriptors)
{
    return static_cast<int>(std::max<long>(1, std::min<long>(INT_MAX, (descriptors - JoiningConnections) / 6)));
}

ChannelRelay::ChannelRelay(const ServerSettings& settings, WorkQueue& workers, int maxSessions)
    : settings_(settings),
      workers_(workers),
      sessions_(limitsFrom(settings, maxSessions)),
      maxConnections_(2 * maxSessions + JoiningConnections),
      // A session outlives its time by at most a quarter of the shorter time-out, and never
      // by more than a second.
      sweepMs_(std::max(10, std::min(1000, std::min(settings.relayJoinTimeoutMs, settings.relayUdpIdleTimeoutMs) / 4)))
{
}

ChannelRelay::~ChannelRelay()
{
    stop();
}

void ChannelRelay::start()
{
    try {
        loop_.reset(new EventLoop());
        loop_->setErrorSink(logCaught);
        const bool anyPort = settings_.relayAddress.getPort() == 0;
        for (int attempt = 1;; ++attempt) {
            tcp_.reset(new TcpRelay(*loop_, workers_, sessions_, settings_, maxConnections_));
            tcp_->listen(settings_.relayAddress, SOMAXCONN);
            SocketAddress udpAddress = settings_.relayAddress;
            udpAddress.setAddress(udpAddress.getAddress(), tcp_->address().getPort());
            udp_.reset(new UdpRelay(*loop_, sessions_));
            if (udp_->bind(udpAddress))
                break;
            const int error = errno;
            udp_.reset();
            tcp_.reset();
            if (!anyPort || error != EADDRINUSE || attempt >= PortTries)
                throw LoopAcceptor::ListenException();
        }
        sessions_.setAddress(tcp_->address());
        loop_->runAfter(sweepMs_, [this] { sweep(); });
        loop_->start();
    } catch (...) {
        running_ = true;
        stop();
        throw;
    }
    running_ = true;
}

void ChannelRelay::stop()
{
    if (!running_)
        return;
    running_ = false;
    if (loop_)
        loop_->stop();
    tcp_.reset();
    udp_.reset();
}

void ChannelRelay::sweep()
{
    std::vector<RelaySessions::Ended> ended;
    sessions_.expire(monotonicMillis(), ended);
    for (const RelaySessions::Ended& session : ended) {
        if (session.protocol == RelayProtocol::Tcp)
            tcp_->onExpired(session.id);
        else
            udp_->onExpired(session.id, session.sidesSeen);
    }
    loop_->runAfter(sweepMs_, [this] { sweep(); });
}

} // namespace orvane
