#include "network/TCPServer.h"

#include <new>
#include <stdexcept>
#include <sys/socket.h>

namespace orvane {

TCPServer::StartupException::~StartupException() = default;

namespace {

// Pause after an accept that failed outright (descriptors used up, for instance): the
// pending connection stays ready, so trying again at once would only spin.
constexpr int AcceptErrorPauseMs = 50;

} // namespace

TCPServer::TCPServer()
{
    init();
}

TCPServer::~TCPServer()
{
    // The accept thread uses serverSocket until it ends; it must be gone before the socket
    // is closed and the object taken apart.
    Thread::stop(true);
    serverSocket.close();
}

bool TCPServer::deleteWhenDone()
{
    return false;
}

void TCPServer::run()
{
    try {
        socketStartup();
        serverSocket.create();
        serverSocket.acceptTimeoutMs = acceptPollMs;
        // A port whose last connections still linger in TIME_WAIT can be bound again at once;
        // a port on which somebody listens still cannot.
        int on = 1;
        ::setsockopt(serverSocket.handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        bindSocket(serverSocket.handle, address);
        listenSocket(serverSocket.handle, backlog);
        address = getLocalAddress(serverSocket.handle);
    } catch (const Exception&) {
        startState.store(-1);
        socketCleanup();
        return;
    } catch (const std::exception&) {
        startState.store(-1);
        socketCleanup();
        return;
    }
    startState.store(1);
    try {
        acceptLoop();
    } catch (const Exception&) {
    } catch (const std::exception&) {
    }
    serverSocket.close();
    socketCleanup();
}

void TCPServer::acceptLoop()
{
    Socket accepted;
    SocketAddress peer;
    if (dispatcher)
        dispatcher->onServerStart();
    while (!stopRequested.load()) {
        try {
            accepted.handle = acceptConnection(serverSocket.handle, peer, serverSocket.acceptTimeoutMs);
        } catch (const SocketException&) {
            Thread::sleep(AcceptErrorPauseMs);
            continue;
        }
        if (accepted.handle == NoSocket)
            continue;
        try {
            if (dispatcher)
                dispatcher->onAccept(&accepted, &peer);
        } catch (const Exception&) {
        } catch (const std::exception&) {
        }
        // Whatever no handler took is closed here: it has no other owner.
        accepted.close();
    }
    if (dispatcher)
        dispatcher->onServerStop();
    accepted.close();
}

void TCPServer::start()
{
    Thread::start();
    for (;;) {
        const int state = startState.load();
        if (state == 1)
            return;
        if (state == -1)
            throw StartupException();
        // A thread that ended without saying how binding went never will.
        if (getState() == Finished) {
            if (startState.load() == 1)
                return;
            throw StartupException();
        }
        Thread::sleep(100);
    }
}

void TCPServer::stop(bool)
{
    const State state = getState();
    if (state != Constructed && state != Ready) {
        Thread::stop(false);
        // The accept thread may be waiting in execute for a free worker; woken, it sees the
        // stop request, drops the connection and leaves its loop.
        if (dispatcher)
            dispatcher->getPool().interruptWait();
        Thread::stop(true);
    }
    if (dispatcher)
        dispatcher->getPool().setLimit(0);
}

} // namespace orvane
