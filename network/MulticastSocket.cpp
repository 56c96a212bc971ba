#include "network/MulticastSocket.h"

#include "foundation/Exception.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

MulticastSocket::~MulticastSocket()
{
    close();
}

void MulticastSocket::create()
{
    close();
    SocketHandle s = createSocket(false);
    handle = s;
    try {
        setMulticastTtl(3);
    } catch (...) {
        close();
        throw;
    }
}

void MulticastSocket::setMulticastTtl(int ttl)
{
    if (handle < 0)
        throw SocketException();
    // The option is a 4-byte integer; the one-byte form some systems take is not used.
    int32_t value = ttl;
    if (::setsockopt(handle, IPPROTO_IP, IP_MULTICAST_TTL, &value, sizeof value) != 0)
        throw SocketException();
}

int MulticastSocket::getMulticastTtl() const
{
    if (handle < 0)
        throw SocketException();
    int32_t value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(handle, IPPROTO_IP, IP_MULTICAST_TTL, &value, &length) != 0)
        throw SocketException();
    // The system may answer in one byte.
    return length == 1 ? static_cast<int>(*reinterpret_cast<uint8_t*>(&value)) : value;
}

int MulticastSocket::send(const SocketAddress& to, const void* data, int length)
{
    return sendTo(handle, to, data, length);
}

int MulticastSocket::receive(SocketAddress& from, void* buffer, int length)
{
    return receiveFrom(handle, from, buffer, length, receiveTimeoutMs);
}

void MulticastSocket::close()
{
    if (handle >= 0) {
        ::close(handle);
        handle = NoSocket;
    }
}

} // namespace orvane
