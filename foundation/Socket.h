#pragma once

#include "foundation/String.h"

#include <cstdint>
#include <mutex>
#include <netinet/in.h>

// A thin, blocking IPv4 socket layer. Every function works synchronously on a descriptor,
// measures time-outs in milliseconds (a negative time-out means no limit, 0 answers at
// once), answers 0 / false / NoSocket when a wait runs out and reports every failure as
// one exception of the SocketException family, chosen from the failure's error number.

namespace orvane {

// A socket descriptor. Descriptor 0 is a valid socket; NoSocket stands for "none".
using SocketHandle = int;
constexpr SocketHandle NoSocket = -1;

// The error numbers callers test, in the numbering the protocol code was written against.
namespace SocketError {
constexpr int Interrupted = 10004;
constexpr int BadHandle = 10009;
constexpr int AccessDenied = 10013;
constexpr int BadAddress = 10014;
constexpr int InvalidArgument = 10022;
constexpr int TooManyOpen = 10024;
constexpr int WouldBlock = 10035;        // also "connect in progress"
constexpr int AlreadyInProgress = 10037;
constexpr int NotASocket = 10038;
constexpr int DestinationRequired = 10039;
constexpr int MessageTooLong = 10040;
constexpr int WrongProtocol = 10041;
constexpr int BadProtocolOption = 10042;
constexpr int ProtocolNotSupported = 10043;
constexpr int SocketTypeNotSupported = 10044;
constexpr int OperationNotSupported = 10045;
constexpr int FamilyNotSupported = 10047;
constexpr int AddressInUse = 10048;
constexpr int AddressNotAvailable = 10049;
constexpr int NetworkDown = 10050;
constexpr int NetworkUnreachable = 10051;
constexpr int NetworkReset = 10052;
constexpr int ConnectionAborted = 10053;
constexpr int ConnectionReset = 10054;
constexpr int NoBufferSpace = 10055;
constexpr int AlreadyConnected = 10056;
constexpr int NotConnected = 10057;
constexpr int ShutDown = 10058;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostDown = 10064;
constexpr int HostUnreachable = 10065;
} // namespace SocketError

// Maps a system error number (errno) to the code above; 0 stays 0, and a number with no
// counterpart is answered unchanged (it is below 10000, so it never equals a code above).
int socketErrorCode(int errnoValue);

// An IPv4 endpoint, laid out as the system's own address record so that it goes to the
// system calls unchanged. A new one is the any address with port 0.
class SocketAddress {
public:
    SocketAddress();

    // address = resolveHost(host), or the any address when host is NULL; a port of 0 to
    // 65535 is stored, a negative one leaves the port as it was. UnknownHostException
    // passes through; a port above 65535 raises SocketException. Nothing changes on a throw.
    void setHost(const char* host, int port);
    // The same with an address already in network order.
    void setAddress(uint32_t address, int port);
    // "host:port" or "host port"; without a separator the whole text is the host and
    // defaultPort is used; an empty host is the any address, a non-numeric port is 0.
    // False, with the address untouched, when the host cannot be resolved or the port lies
    // outside 0 to 65535.
    bool parse(const char* text, int defaultPort);
    // Reverse lookup of the address; UnknownHostException when nothing is found.
    String getHostName() const;
    // The address in dotted form.
    String getHostAddress() const;

    // The address in network order and the port in host order.
    uint32_t getAddress() const { return sin_.sin_addr.s_addr; }
    uint16_t getPort() const { return ntohs(sin_.sin_port); }

    const sockaddr* raw() const { return reinterpret_cast<const sockaddr*>(&sin_); }
    sockaddr* raw() { return reinterpret_cast<sockaddr*>(&sin_); }
    const sockaddr_in& record() const { return sin_; }
    sockaddr_in& record() { return sin_; }

private:
    void storePort(int port);

    sockaddr_in sin_;
};

static_assert(sizeof(SocketAddress) == 16, "SocketAddress is the system's 16-byte record");

// An owned socket handle with the time-out of accept. It closes its handle only when told.
class Socket {
public:
    SocketHandle handle = NoSocket;
    int32_t acceptTimeoutMs = 1000;

    // handle = a new stream socket.
    void create();
    // Closes the handle when there is one and forgets it.
    void close();
    // Waits up to acceptTimeoutMs for a connection. True with the new handle stored in
    // `accepted` when one arrived; false when none came in time or a SocketException
    // occurred (it is swallowed).
    bool accept(Socket& accepted, SocketAddress& peer);
};

// A new IPv4 socket, stream (TCP) when true, datagram (UDP) otherwise; close-on-exec.
SocketHandle createSocket(bool stream);
// Waits without limit until writable and sends, until all `length` bytes are gone.
int sendAll(SocketHandle s, const void* data, int length);
// One datagram; a length of 0 sends nothing and answers 0.
int sendTo(SocketHandle s, const SocketAddress& to, const void* data, int length);
// With a time-out, first waits until readable (0 when the time ran out); then one receive
// of up to `length` bytes. NoConnectionException when the receive gives 0 bytes (the peer
// closed, or an empty datagram); SocketException for a datagram larger than the buffer.
// A length of 0 answers 0 without touching the socket.
int receive(SocketHandle s, void* buffer, int length, int timeoutMs);
// As receive, for one datagram; `from` gets the sender's address.
int receiveFrom(SocketHandle s, SocketAddress& from, void* buffer, int length, int timeoutMs);
void bindSocket(SocketHandle s, const SocketAddress& address);
void listenSocket(SocketHandle s, int backlog);
void connectSocket(SocketHandle s, const SocketAddress& address);
// Connects within the time-out; TimeoutException when it is still in progress at the
// deadline. A negative time-out is connectSocket. The socket is left blocking.
void connectSocketTimeout(SocketHandle s, const SocketAddress& address, int timeoutMs);
// True when writable (or in an error state a send would report), false when the time ran out.
bool waitWritable(SocketHandle s, int timeoutMs);
// True when readable (or closed or failed, which the next receive reports), false when the
// time ran out. A negative time-out waits forever.
bool waitReadable(SocketHandle s, int timeoutMs);
void setBlocking(SocketHandle s, bool blocking);
// With a time-out, first waits until readable (NoSocket when the time ran out); then
// accepts, filling `peer`. The new socket is close-on-exec.
SocketHandle acceptConnection(SocketHandle s, SocketAddress& peer, int timeoutMs);
// The socket's own / the peer's address; a new SocketAddress when the system cannot tell.
SocketAddress getLocalAddress(SocketHandle s);
SocketAddress getPeerAddress(SocketHandle s);
uint16_t getLocalPort(SocketHandle s);
uint16_t getPeerPort(SocketHandle s);
// Shuts both directions down and closes; NoSocket (any negative handle) is left alone.
void closeSocket(SocketHandle s);
int bytesAvailable(SocketHandle s);

// Dotted text is parsed by parseDottedQuad without any lookup; a name is looked up under
// the resolver lock and its first IPv4 address taken. UnknownHostException when none.
uint32_t resolveHost(const char* host);
// Reverse lookup under the resolver lock; UnknownHostException when nothing is found.
String hostNameOf(const SocketAddress& address);
// The dotted text of an address in network order.
String ipToText(uint32_t address);
// Exactly four '.'-separated pieces of at most three decimal digits each (an empty piece
// counts as 0, each taken modulo 256) give the address in network order and true;
// anything else answers false and leaves `address` untouched.
bool parseDottedQuad(const char* text, uint32_t& address);

// The lock that serialises every host-name and address lookup of the process.
std::mutex& resolverLock();

// Called by every thread that uses sockets when its body begins and ends. Start-up also
// makes sure that a write to a closed connection cannot kill the process with SIGPIPE.
void socketStartup();
void socketCleanup();

} // namespace orvane
