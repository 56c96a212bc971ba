#pragma once

#include "foundation/Socket.h"
#include "network/IRunnable.h"

#include <atomic>

namespace orvane {

class ConnectionDispatcher;

// The work done for one accepted connection, run as a job on the dispatcher's pool. A
// subclass supplies handle(); run() surrounds it with the dispatcher's hooks, drops whatever
// it throws and closes the connection afterwards, unless handle() handed the socket on
// (by setting its handle to NoSocket).
class ConnectionHandler : public IRunnable {
public:
    ConnectionHandler() = default;
    // Closes the socket if the handler still holds one.
    ~ConnectionHandler() override;
    ConnectionHandler(const ConnectionHandler&) = delete;
    ConnectionHandler& operator=(const ConnectionHandler&) = delete;

    void run() override;
    // True: the pool worker deletes the handler after it ran.
    bool deleteWhenDone() override;
    // running = false; shuts the socket down and closes it when there is one.
    virtual void close();
    virtual bool isRunning();

    Socket& getSocket() { return socket; }
    ConnectionDispatcher* getOwner() const { return owner; }

protected:
    friend class ConnectionDispatcher;

    // The per-connection work. Runs on a pool worker: a long one polls Thread::checkStop()
    // (the worker's stop request) so that stopping the server ends it.
    virtual void handle() = 0;

    // The accepted connection, owned while its handle is not NoSocket. Its acceptTimeoutMs
    // carries the dispatcher's handlerSocketTimeoutMs: the time-out of the handler's own
    // receives.
    Socket socket;
    ConnectionDispatcher* owner = nullptr;
    std::atomic<bool> running{false};
};

} // namespace orvane
