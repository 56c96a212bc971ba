#include "network/ConnectionDispatcher.h"

#include "network/ConnectionHandler.h"

namespace orvane {

ConnectionDispatcher::ConnectionDispatcher() : pool(10)
{
    pool.setLimit(100);
}

ConnectionDispatcher::~ConnectionDispatcher() = default;

void ConnectionDispatcher::onAccept(Socket* accepted, SocketAddress* peer)
{
    ConnectionHandler* handler = createHandler();
    if (!handler) {
        // Nobody would ever read or close the connection.
        accepted->close();
        return;
    }
    handler->owner = this;
    handler->socket.handle = accepted->handle;
    accepted->handle = NoSocket;
    handler->socket.acceptTimeoutMs = handlerSocketTimeoutMs;
    bool taken = false;
    try {
        onHandlerCreated(handler, peer);
        taken = pool.execute(handler);
    } catch (...) {
        delete handler; // closes the connection
        throw;
    }
    if (!taken)
        delete handler; // the server is stopping and no worker became free
}

void ConnectionDispatcher::onHandlerCreated(ConnectionHandler*, SocketAddress*) {}
void ConnectionDispatcher::onConnectionStart(ConnectionHandler*) {}
void ConnectionDispatcher::onConnectionEnd(ConnectionHandler*) {}
void ConnectionDispatcher::onServerStart() {}
void ConnectionDispatcher::onServerStop() {}

} // namespace orvane
