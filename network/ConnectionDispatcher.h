#pragma once

#include "foundation/Socket.h"
#include "network/ThreadPool.h"

namespace orvane {

class ConnectionHandler;

// Turns the connections a TCPServer accepts into handlers run on a pool of its own. The
// hooks are called from the accept thread (onAccept, onHandlerCreated) and from pool workers
// (onConnectionStart, onConnectionEnd) concurrently for different connections, so
// subclasses must be safe for concurrent calls.
class ConnectionDispatcher {
public:
    ConnectionDispatcher();
    virtual ~ConnectionDispatcher();
    ConnectionDispatcher(const ConnectionDispatcher&) = delete;
    ConnectionDispatcher& operator=(const ConnectionDispatcher&) = delete;

    // A new handler of the subclass's type; NULL refuses the connection (it is closed).
    virtual ConnectionHandler* createHandler() = 0;
    // Gives the accepted connection to a new handler (the handler owns it from then on,
    // `accepted` is left without a handle) and runs the handler on the pool, waiting while
    // every worker is busy and the pool is at its limit. When no handler takes the
    // connection, it is closed.
    virtual void onAccept(Socket* accepted, SocketAddress* peer);
    virtual void onHandlerCreated(ConnectionHandler* handler, SocketAddress* peer);
    virtual void onConnectionStart(ConnectionHandler* handler);
    virtual void onConnectionEnd(ConnectionHandler* handler);
    virtual void onServerStart();
    virtual void onServerStop();

    ThreadPool& getPool() { return pool; }

    // Copied into the socket of every new handler (its receive time-out, in ms).
    int handlerSocketTimeoutMs = 50;

protected:
    ThreadPool pool;
};

} // namespace orvane
