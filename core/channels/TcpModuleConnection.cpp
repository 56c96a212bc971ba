#include "core/channels/TcpModuleConnection.h"

namespace orvane {

TcpModuleConnection::TcpModuleConnection(SocketHandle socket)
    : socket_(socket), packet_(socket, DefaultTimeoutMs), received_(100)
{
}

TcpModuleConnection::~TcpModuleConnection()
{
    closeSocket(socket_);
}

void TcpModuleConnection::send(const void* data, int length)
{
    if (!data || length <= 0)
        return;
    if (socket_ == NoSocket)
        throw ConnectionException();
    try {
        packet_.write(data, length);
    } catch (const Exception&) {
        throw ConnectionException();
    }
}

int TcpModuleConnection::receive(int timeoutMs)
{
    if (socket_ == NoSocket)
        throw ConnectionException();
    packet_.timeoutMs = timeoutMs < 0 ? -1 : timeoutMs;
    try {
        packet_.read(received_);
    } catch (const TimeoutException&) {
        received_.setSize(0);
        return 0;
    } catch (const Exception&) {
        throw ConnectionException();
    }
    return received_.count();
}

void TcpModuleConnection::close()
{
    closeSocket(socket_);
    socket_ = NoSocket;
    delete this;
}

} // namespace orvane
