#include "server/OrvaneServer.h"

#include "server/ServerLog.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>

namespace orvane {

namespace {

// Descriptors the server needs besides its connections: the database and its journal, the
// loop's epoll set and wake-up, the listeners and their reserves, the standard streams,
// and some to spare.
constexpr long FixedDescriptors = 64;

void logCaught(const char* where, const char* what)
{
    serverLog("%s: caught an exception: %s", where, printableText(what, static_cast<int>(std::strlen(what)), 200).c_str());
}

} // namespace

long raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > LONG_MAX ? LONG_MAX : static_cast<long>(limit.rlim_cur);
}

OrvaneServer::OrvaneServer(const ServerSettings& settings) : settings_(settings) {}

OrvaneServer::~OrvaneServer()
{
    stop();
}

void OrvaneServer::sizeForDescriptors()
{
    maxMessageConnections_ = settings_.maxMessageConnections;
    maxHttpConnections_ = settings_.maxHttpConnections;
    maxRelaySessions_ = settings_.relayEnabled ? settings_.maxRelaySessions : 0;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return;
    long budget = std::max<long>(static_cast<long>(limit.rlim_cur) - FixedDescriptors, 2);
    if (maxRelaySessions_ > 0) {
        const long wanted = ChannelRelay::descriptorsFor(maxRelaySessions_);
        if (static_cast<long>(maxMessageConnections_) + maxHttpConnections_ + wanted > budget) {
            // Messages come first: the relay has a quarter of the room at most.
            maxRelaySessions_ = ChannelRelay::sessionsWithin(std::min(wanted, budget / 4));
            serverLog("the process may open %ld descriptors: at most %d relay sessions",
                      static_cast<long>(limit.rlim_cur), maxRelaySessions_);
        }
        budget = std::max<long>(budget - ChannelRelay::descriptorsFor(maxRelaySessions_), 2);
    }
    if (static_cast<long>(maxMessageConnections_) + maxHttpConnections_ <= budget)
        return;
    // The account endpoint's requests are short; most of the room goes to the clients.
    maxHttpConnections_ = static_cast<int>(std::max<long>(1, std::min<long>(maxHttpConnections_, budget / 8)));
    maxMessageConnections_ =
        static_cast<int>(std::max<long>(1, std::min<long>(maxMessageConnections_, budget - maxHttpConnections_)));
    serverLog("the process may open %ld descriptors: at most %d message connections and %d account connections",
              static_cast<long>(limit.rlim_cur), maxMessageConnections_, maxHttpConnections_);
}

void makeDemoAccounts(AccountStore& store, const std::vector<std::pair<String, String>>& accounts)
{
    std::vector<uint64_t> ids;
    for (const auto& [name, password] : accounts) {
        AccountRecord account;
        if (!store.findByName(name.c_str(), account)) {
            account.userName = name;
            account.firstName = name;
            if (store.createAccount(account, password.c_str(), account.id) != AccountStore::Created)
                continue;
        }
        ids.push_back(account.id);
    }
    for (uint64_t owner : ids)
        for (uint64_t contact : ids)
            if (owner != contact && !store.isListed(owner, contact))
                store.addContact(owner, contact, 1000);
}

void OrvaneServer::start()
{
    try {
        store_.reset(new AccountStore(settings_.databasePath.c_str(), settings_.passwordHashCost));
        makeDemoAccounts(*store_, settings_.demoAccounts);
        hub_.reset(new MessageHub(*store_, settings_));
        service_.reset(new AccountService(*store_, *hub_, settings_));
        loop_.reset(new EventLoop());
        loop_->setErrorSink([](const char* what) { logCaught("event loop", what); });
        passwordWorkers_.reset(new WorkQueue(settings_.passwordWorkers));
        passwordWorkers_->setErrorSink([](const char* what) { logCaught("password worker", what); });
        sizeForDescriptors();
        if (settings_.relayEnabled) {
            relay_.reset(new ChannelRelay(settings_, *passwordWorkers_, maxRelaySessions_));
            relay_->start();
            hub_->setRelay(&relay_->sessions());
        }

        // A burst of clients connecting at once must not overflow the queue of connections
        // the system completes before the loop takes them.
        messageServer_.reset(new MessageServer(*loop_, *passwordWorkers_, *hub_, maxMessageConnections_));
        messageServer_->listen(settings_.messageAddress, SOMAXCONN);
        messageAddress_ = messageServer_->address();
        service_->setMessageAddress(messageAddress_);
        accountServer_.reset(
            new AccountServer(*loop_, *passwordWorkers_, *service_, settings_, maxHttpConnections_));
        accountServer_->listen(settings_.httpAddress, SOMAXCONN);
        httpAddress_ = accountServer_->address();

        passwordWorkers_->start();
        loop_->start();
    } catch (...) {
        running_ = true;
        stop();
        throw;
    }
    running_ = true;
}

void OrvaneServer::stop()
{
    if (!running_)
        return;
    running_ = false;
    if (loop_)
        loop_->stop();
    // Waiting work is dropped; the answers of running work are posted to a loop that no
    // longer runs.
    if (passwordWorkers_)
        passwordWorkers_->stop();
    if (relay_)
        relay_->stop();
    accountServer_.reset();
    messageServer_.reset();
    if (hub_)
        hub_->setRelay(nullptr);
    relay_.reset();
}

} // namespace orvane
