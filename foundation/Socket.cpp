#include "foundation/Socket.h"

#include "foundation/Clock.h"
#include "foundation/Containers.h"
#include "foundation/Conversions.h"
#include "foundation/Exception.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

int socketErrorCode(int errnoValue)
{
    switch (errnoValue) {
    case 0: return 0;
    case EINTR: return SocketError::Interrupted;
    case EBADF: return SocketError::BadHandle;
    case EACCES: return SocketError::AccessDenied;
    case EFAULT: return SocketError::BadAddress;
    case EINVAL: return SocketError::InvalidArgument;
    case EMFILE: return SocketError::TooManyOpen;
    case EINPROGRESS: return SocketError::WouldBlock;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK: return SocketError::WouldBlock;
#endif
    case EAGAIN: return SocketError::WouldBlock;
    case EALREADY: return SocketError::AlreadyInProgress;
    case ENOTSOCK: return SocketError::NotASocket;
    case EDESTADDRREQ: return SocketError::DestinationRequired;
    case EMSGSIZE: return SocketError::MessageTooLong;
    case EPROTOTYPE: return SocketError::WrongProtocol;
    case ENOPROTOOPT: return SocketError::BadProtocolOption;
    case EPROTONOSUPPORT: return SocketError::ProtocolNotSupported;
    case ESOCKTNOSUPPORT: return SocketError::SocketTypeNotSupported;
    case EOPNOTSUPP: return SocketError::OperationNotSupported;
    case EAFNOSUPPORT: return SocketError::FamilyNotSupported;
    case EADDRINUSE: return SocketError::AddressInUse;
    case EADDRNOTAVAIL: return SocketError::AddressNotAvailable;
    case ENETDOWN: return SocketError::NetworkDown;
    case ENETUNREACH: return SocketError::NetworkUnreachable;
    case ENETRESET: return SocketError::NetworkReset;
    case ECONNABORTED: return SocketError::ConnectionAborted;
    case ECONNRESET: return SocketError::ConnectionReset;
    case ENOBUFS: return SocketError::NoBufferSpace;
    case EISCONN: return SocketError::AlreadyConnected;
    case ENOTCONN: return SocketError::NotConnected;
    case EPIPE: return SocketError::ShutDown;
    case ESHUTDOWN: return SocketError::ShutDown;
    case ETIMEDOUT: return SocketError::TimedOut;
    case ECONNREFUSED: return SocketError::ConnectionRefused;
    case EHOSTDOWN: return SocketError::HostDown;
    case EHOSTUNREACH: return SocketError::HostUnreachable;
    default: return errnoValue;
    }
}

namespace {

enum class Operation { Send, Receive, Bind, Listen, Connect, Other };

// The one place that turns an error code into the exception its operation reports.
[[noreturn]] void throwFor(Operation op, int code)
{
    using namespace SocketError;
    switch (op) {
    case Operation::Send:
        if (code == TimedOut || code == HostUnreachable)
            throw NoRouteToHostException();
        break;
    case Operation::Receive:
        if (code == TimedOut)
            throw NoRouteToHostException();
        break;
    case Operation::Bind:
        if (code == AddressInUse || code == AddressNotAvailable)
            throw BindException();
        break;
    case Operation::Listen:
        if (code == AddressInUse)
            throw BindException();
        break;
    case Operation::Connect:
        if (code == AddressInUse)
            throw BindException();
        if (code == AddressNotAvailable || code == ConnectionRefused)
            throw ConnectException();
        if (code == TimedOut)
            throw NoRouteToHostException();
        break;
    case Operation::Other:
        break;
    }
    throw SocketException();
}

[[noreturn]] void throwForErrno(Operation op)
{
    throwFor(op, socketErrorCode(errno));
}

// poll ignores negative descriptors, so a wait on "no socket" would silently time out or
// hang; it is refused instead.
void requireHandle(SocketHandle s)
{
    if (s < 0)
        throw SocketException();
}

// Waits for the events; true when they (or an error or hang-up, which the next call will
// report) are signalled, false when the time ran out. A negative time-out waits forever.
bool waitFor(SocketHandle s, short events, int timeoutMs)
{
    requireHandle(s);
    const bool limited = timeoutMs >= 0;
    const int64_t deadline = limited ? monotonicMillis() + timeoutMs : 0;
    int wait = limited ? timeoutMs : -1;
    for (;;) {
        pollfd p;
        p.fd = s;
        p.events = events;
        p.revents = 0;
        int r = ::poll(&p, 1, wait);
        if (r > 0) {
            if (p.revents & POLLNVAL)
                throw SocketException();
            return true;
        }
        if (r == 0)
            return false;
        if (errno != EINTR)
            throw SocketException();
        if (limited) {
            int64_t left = deadline - monotonicMillis();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
    }
}

// The socket's pending error as an errno value, cleared by reading it.
int pendingError(SocketHandle s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
        throw SocketException();
    return err;
}

void copyInto(SocketAddress& out, const sockaddr_in& from, socklen_t length)
{
    out = SocketAddress();
    if (length >= static_cast<socklen_t>(sizeof from) && from.sin_family == AF_INET)
        out.record() = from;
}

int receiveMessage(SocketHandle s, SocketAddress* from, void* buffer, int length, int timeoutMs)
{
    if (length == 0)
        return 0;
    requireHandle(s);
    if (length < 0 || !buffer)
        throw SocketException();
    if (timeoutMs >= 0 && !waitFor(s, POLLIN, timeoutMs))
        return 0;

    sockaddr_in sender;
    std::memset(&sender, 0, sizeof sender);
    iovec iov;
    iov.iov_base = buffer;
    iov.iov_len = static_cast<size_t>(length);
    msghdr msg;
    std::memset(&msg, 0, sizeof msg);
    if (from) {
        msg.msg_name = &sender;
        msg.msg_namelen = sizeof sender;
    }
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    ssize_t n;
    do {
        n = ::recvmsg(s, &msg, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throwForErrno(Operation::Receive);
    // A datagram longer than the buffer has lost its tail; handing the head on as if it
    // were the whole message would corrupt whatever parses it.
    if (msg.msg_flags & MSG_TRUNC)
        throwFor(Operation::Receive, SocketError::MessageTooLong);
    if (n == 0)
        throw NoConnectionException();
    if (from)
        copyInto(*from, sender, msg.msg_namelen);
    return static_cast<int>(n);
}

SocketAddress addressOf(SocketHandle s, int (*query)(int, sockaddr*, socklen_t*))
{
    SocketAddress out;
    if (s < 0)
        return out;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len = sizeof sa;
    if (query(s, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
        copyInto(out, sa, len);
    return out;
}

std::mutex g_resolverLock;

} // namespace

// ---------------------------------------------------------------------------------------
// SocketAddress

SocketAddress::SocketAddress()
{
    std::memset(&sin_, 0, sizeof sin_);
    sin_.sin_family = AF_INET;
}

void SocketAddress::storePort(int port)
{
    if (port >= 0)
        sin_.sin_port = htons(static_cast<uint16_t>(port));
}

void SocketAddress::setHost(const char* host, int port)
{
    // A port that does not fit would silently wrap to another one.
    if (port > 65535)
        throw SocketException();
    uint32_t address = host ? resolveHost(host) : htonl(INADDR_ANY);
    sin_.sin_addr.s_addr = address;
    storePort(port);
}

void SocketAddress::setAddress(uint32_t address, int port)
{
    if (port > 65535)
        throw SocketException();
    sin_.sin_addr.s_addr = address;
    storePort(port);
}

bool SocketAddress::parse(const char* text, int defaultPort)
{
    const char* t = text ? text : "";
    const char* separator = std::strpbrk(t, ": ");
    String host;
    int port = defaultPort;
    if (separator) {
        host.assign(t, static_cast<int>(separator - t));
        if (!parsePortNumber(separator + 1, port))
            return false;
    } else {
        host = t;
    }
    try {
        setHost(host.isEmpty() ? nullptr : host.c_str(), port);
    } catch (const SocketException&) {
        return false;
    }
    return true;
}

String SocketAddress::getHostName() const
{
    return hostNameOf(*this);
}

String SocketAddress::getHostAddress() const
{
    return ipToText(getAddress());
}

// ---------------------------------------------------------------------------------------
// Socket

void Socket::create()
{
    handle = createSocket(true);
}

void Socket::close()
{
    if (handle != NoSocket)
        closeSocket(handle);
    handle = NoSocket;
}

bool Socket::accept(Socket& accepted, SocketAddress& peer)
{
    try {
        SocketHandle h = acceptConnection(handle, peer, acceptTimeoutMs);
        if (h == NoSocket)
            return false;
        accepted.handle = h;
        return true;
    } catch (const SocketException&) {
        return false;
    }
}

// ---------------------------------------------------------------------------------------
// Free functions

SocketHandle createSocket(bool stream)
{
    int type = (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC;
    int s = ::socket(AF_INET, type, 0);
    if (s < 0)
        throwForErrno(Operation::Other);
    return s;
}

int sendAll(SocketHandle s, const void* data, int length)
{
    requireHandle(s);
    if (length < 0 || (length > 0 && !data))
        throw SocketException();
    const char* bytes = static_cast<const char*>(data);
    int done = 0;
    while (done < length) {
        waitFor(s, POLLOUT, -1);
        ssize_t n = ::send(s, bytes + done, static_cast<size_t>(length - done), MSG_NOSIGNAL);
        if (n < 0) {
            // A non-blocking socket may refuse after all; the wait above comes round again.
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            throwForErrno(Operation::Send);
        }
        done += static_cast<int>(n);
    }
    return length;
}

int sendTo(SocketHandle s, const SocketAddress& to, const void* data, int length)
{
    if (length == 0)
        return 0;
    requireHandle(s);
    if (length < 0 || !data)
        throw SocketException();
    ssize_t n;
    do {
        n = ::sendto(s, data, static_cast<size_t>(length), MSG_NOSIGNAL, to.raw(), sizeof(sockaddr_in));
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        throwForErrno(Operation::Send);
    return static_cast<int>(n);
}

int receive(SocketHandle s, void* buffer, int length, int timeoutMs)
{
    return receiveMessage(s, nullptr, buffer, length, timeoutMs);
}

int receiveFrom(SocketHandle s, SocketAddress& from, void* buffer, int length, int timeoutMs)
{
    return receiveMessage(s, &from, buffer, length, timeoutMs);
}

void bindSocket(SocketHandle s, const SocketAddress& address)
{
    requireHandle(s);
    if (::bind(s, address.raw(), sizeof(sockaddr_in)) != 0)
        throwForErrno(Operation::Bind);
}

void listenSocket(SocketHandle s, int backlog)
{
    requireHandle(s);
    if (::listen(s, backlog) != 0)
        throwForErrno(Operation::Listen);
}

void connectSocket(SocketHandle s, const SocketAddress& address)
{
    requireHandle(s);
    if (::connect(s, address.raw(), sizeof(sockaddr_in)) == 0)
        return;
    int err = errno;
    if (err == EINTR) {
        // An interrupted connect carries on by itself; its outcome is the pending error.
        waitFor(s, POLLOUT, -1);
        err = pendingError(s);
        if (err == 0)
            return;
    }
    throwFor(Operation::Connect, socketErrorCode(err));
}

void connectSocketTimeout(SocketHandle s, const SocketAddress& address, int timeoutMs)
{
    if (timeoutMs < 0) {
        connectSocket(s, address);
        return;
    }
    requireHandle(s);
    const int64_t deadline = monotonicMillis() + timeoutMs;
    setBlocking(s, false);
    int noted = 0;
    if (::connect(s, address.raw(), sizeof(sockaddr_in)) != 0)
        noted = errno == EINTR ? SocketError::WouldBlock : socketErrorCode(errno);
    setBlocking(s, true);

    for (;;) {
        const int64_t remaining = deadline - monotonicMillis();
        if (remaining < 0)
            break;
        if (noted != SocketError::WouldBlock && noted != 0)
            throwFor(Operation::Connect, noted);
        if (waitWritable(s, remaining < 100 ? static_cast<int>(remaining) : 100)) {
            // A refused connect turns writable too: only the pending error tells them apart.
            int err = pendingError(s);
            if (err == 0)
                return;
            throwFor(Operation::Connect, socketErrorCode(err));
        }
        noted = socketErrorCode(pendingError(s));
    }
    if (noted == SocketError::WouldBlock || noted == 0)
        throw TimeoutException();
    throwFor(Operation::Connect, noted);
}

bool waitWritable(SocketHandle s, int timeoutMs)
{
    return waitFor(s, POLLOUT, timeoutMs);
}

bool waitReadable(SocketHandle s, int timeoutMs)
{
    return waitFor(s, POLLIN, timeoutMs);
}

void setBlocking(SocketHandle s, bool blocking)
{
    requireHandle(s);
    int flags = ::fcntl(s, F_GETFL);
    if (flags < 0)
        throwForErrno(Operation::Other);
    int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    if (wanted != flags && ::fcntl(s, F_SETFL, wanted) != 0)
        throwForErrno(Operation::Other);
}

SocketHandle acceptConnection(SocketHandle s, SocketAddress& peer, int timeoutMs)
{
    requireHandle(s);
    if (timeoutMs >= 0 && !waitFor(s, POLLIN, timeoutMs))
        return NoSocket;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    socklen_t len;
    int c;
    do {
        len = sizeof sa;
        c = ::accept4(s, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    } while (c < 0 && errno == EINTR);
    if (c < 0)
        throwForErrno(Operation::Other);
    copyInto(peer, sa, len);
    return c;
}

SocketAddress getLocalAddress(SocketHandle s)
{
    return addressOf(s, ::getsockname);
}

SocketAddress getPeerAddress(SocketHandle s)
{
    return addressOf(s, ::getpeername);
}

uint16_t getLocalPort(SocketHandle s)
{
    return getLocalAddress(s).getPort();
}

uint16_t getPeerPort(SocketHandle s)
{
    return getPeerAddress(s).getPort();
}

void closeSocket(SocketHandle s)
{
    if (s < 0)
        return;
    ::shutdown(s, SHUT_RDWR); // fails harmlessly on sockets that were never connected
    ::close(s);
}

int bytesAvailable(SocketHandle s)
{
    requireHandle(s);
    int n = 0;
    if (::ioctl(s, FIONREAD, &n) != 0)
        throwForErrno(Operation::Other);
    return n;
}

std::mutex& resolverLock()
{
    return g_resolverLock;
}

uint32_t resolveHost(const char* host)
{
    if (!host)
        throw UnknownHostException();
    uint32_t address;
    if (parseDottedQuad(host, address))
        return address;

    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address instead of one per socket type
    addrinfo* found = nullptr;
    int rc;
    {
        std::lock_guard<std::mutex> lock(g_resolverLock);
        rc = ::getaddrinfo(host, nullptr, &hints, &found);
    }
    bool ok = false;
    if (rc == 0) {
        for (addrinfo* a = found; a; a = a->ai_next) {
            if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
                address = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
                ok = true;
                break;
            }
        }
        ::freeaddrinfo(found);
    }
    if (!ok)
        throw UnknownHostException();
    return address;
}

String hostNameOf(const SocketAddress& address)
{
    char name[NI_MAXHOST];
    int rc;
    {
        std::lock_guard<std::mutex> lock(g_resolverLock);
        rc = ::getnameinfo(address.raw(), sizeof(sockaddr_in), name, sizeof name, nullptr, 0,
                           NI_NAMEREQD);
    }
    if (rc != 0)
        throw UnknownHostException();
    return String(name);
}

String ipToText(uint32_t address)
{
    in_addr in;
    in.s_addr = address;
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &in, text, sizeof text))
        return String();
    return String(text);
}

bool parseDottedQuad(const char* text, uint32_t& address)
{
    if (!text)
        return false;
    StringArray pieces;
    String(text).split('.', pieces, false);
    if (pieces.count() != 4)
        return false;
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        const String& piece = pieces[i];
        if (piece.length() > 3)
            return false;
        unsigned value = 0;
        for (int k = 0; k < piece.length(); ++k) {
            char c = piece.at(k);
            if (c < '0' || c > '9')
                return false;
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        bytes[i] = static_cast<uint8_t>(value % 256);
    }
    std::memcpy(&address, bytes, sizeof bytes);
    return true;
}

void socketStartup()
{
    // Sends pass MSG_NOSIGNAL, but a write on a closed connection through any other path
    // would still end the process. A handler the program installed itself is left alone.
    static const bool ready = [] {
        struct sigaction current;
        if (::sigaction(SIGPIPE, nullptr, &current) != 0)
            return false;
        if (current.sa_handler != SIG_DFL)
            return true;
        struct sigaction ignore;
        std::memset(&ignore, 0, sizeof ignore);
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        return ::sigaction(SIGPIPE, &ignore, nullptr) == 0;
    }();
    if (!ready)
        throw SocketException();
}

void socketCleanup()
{
    // The system's sockets need no per-thread state; nothing to release.
}

} // namespace orvane
