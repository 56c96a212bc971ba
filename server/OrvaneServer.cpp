#include "server/OrvaneServer.h"

#include "server/ServerLog.h"

namespace orvane {

namespace {

// How soon an accept loop notices that the server stops.
constexpr int StopPollMs = 100;

} // namespace

OrvaneServer::OrvaneServer(const ServerSettings& settings) : settings_(settings) {}

OrvaneServer::~OrvaneServer()
{
    stop();
}

void OrvaneServer::start()
{
    store_.reset(new AccountStore(settings_.databasePath.c_str(), settings_.passwordHashCost));
    hub_.reset(new MessageHub(*store_, settings_));
    service_.reset(new AccountService(*store_, *hub_, settings_));
    messageDispatcher_.reset(new MessageDispatcher(*hub_));
    accountDispatcher_.reset(new AccountDispatcher(*service_, settings_));

    messageServer_.address = settings_.messageAddress;
    messageServer_.backlog = 64;
    messageServer_.acceptPollMs = StopPollMs;
    messageServer_.dispatcher = messageDispatcher_.get();
    messageServer_.start();
    running_ = true;
    service_->setMessageAddress(messageServer_.address);

    httpServer_.address = settings_.httpAddress;
    httpServer_.backlog = 64;
    httpServer_.acceptPollMs = StopPollMs;
    httpServer_.dispatcher = accountDispatcher_.get();
    try {
        httpServer_.start();
    } catch (...) {
        stop();
        throw;
    }
}

void OrvaneServer::stop()
{
    if (!running_)
        return;
    running_ = false;
    httpServer_.stop(true);
    // Signed-in connections end at once; the rest at their next look at the stop request.
    hub_->closeAll();
    messageServer_.stop(true);
}

} // namespace orvane
