#include "network/ConnectionHandler.h"

#include "network/ConnectionDispatcher.h"

#include <cxxabi.h>

namespace orvane {

ConnectionHandler::~ConnectionHandler()
{
    socket.close();
}

void ConnectionHandler::run()
{
    running.store(true);
    if (owner)
        owner->onConnectionStart(this);
    try {
        handle();
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
    }
    close();
    if (owner)
        owner->onConnectionEnd(this);
}

bool ConnectionHandler::deleteWhenDone()
{
    return true;
}

void ConnectionHandler::close()
{
    running.store(false);
    socket.close();
}

bool ConnectionHandler::isRunning()
{
    return running.load();
}

} // namespace orvane
