#pragma once

#include "foundation/Exception.h"
#include "foundation/Socket.h"
#include "foundation/Thread.h"
#include "network/ConnectionDispatcher.h"

#include <atomic>

namespace orvane {

// A listening TCP socket served by a thread of its own. Every accepted connection goes to
// the dispatcher, which runs a handler for it on its pool, so one slow peer never holds up
// the accept loop.
//
// The owner sets address, acceptPollMs, backlog and dispatcher, calls start() once and, before
// destroying the server, stop(true).
class TCPServer : public Thread {
public:
    // The server could not bind or listen; nothing listens.
    ORVANE_EXCEPTION(StartupException, Exception);

    TCPServer();
    // Waits for the accept thread if it still runs, then closes the listening socket.
    ~TCPServer() override;

    // The thread body: bind, listen, accept until the stop request.
    void run() override;
    // False: the owner destroys the server.
    bool deleteWhenDone() override;

    // Starts the thread and returns once it listens; `address` then holds the bound address
    // (a port of 0 became the port the system chose). StartupException when binding or
    // listening failed, or when the thread ended before it listened.
    virtual void start();
    // Ends the accept loop (within acceptPollMs) and waits for the accept thread, then sets
    // the dispatcher's pool to a limit of 0, which stops every worker and waits for each
    // running handler. The accept thread is waited for whatever `wait` says: a connection
    // it accepted after the pool was emptied would wait for a worker for ever.
    virtual void stop(bool wait);

    // The address to bind; the bound address once start() has returned.
    SocketAddress address;
    int acceptPollMs = 300;
    int backlog = 5;
    // Not owned; set before start().
    ConnectionDispatcher* dispatcher = nullptr;

protected:
    void acceptLoop();

    Socket serverSocket;
    // 0 while the thread starts, 1 listening, -1 binding or listening failed.
    std::atomic<int> startState{0};
};

} // namespace orvane
