#pragma once

#include "foundation/InputStream.h"
#include "foundation/Socket.h"

namespace orvane {

// Reads a socket it does not own under one time-out. Its line reader keeps a partly read
// line across calls, so a time-out loses nothing, and gives a whole line one deadline.
class SocketInputStream : public InputStream {
public:
    // Lines from a peer are bounded unless the owner chooses otherwise: an endless line
    // would otherwise grow the buffer without end.
    static constexpr int DefaultLineSizeLimit = 64 * 1024;

    SocketInputStream();
    // Reads the socket's handle; the socket stays the caller's to close.
    explicit SocketInputStream(const Socket& socket);
    explicit SocketInputStream(SocketHandle socket);
    ~SocketInputStream() override;

    // One byte as 0 to 255 within the time-out (negative: no limit); -1 when the peer has
    // closed the connection. TimeoutException when nothing came in time; IOException for
    // any other socket failure.
    int readByte(int timeoutMs);
    // readByte with the stream's time-out.
    int read() override;
    // One receive of up to `length` bytes; never -1: a closed connection is an IOException,
    // nothing in time a TimeoutException. A length of 0 answers 0.
    int read(void* buffer, int length) override;
    // Forgets the socket; it stays open.
    void close() override;
    int available() override;
    // The next line within the stream's time-out, counted from the start of this call.
    // TimeoutException, IOException and LineSizeLimitExceeded keep the bytes read so far
    // for the next call. A line that outgrew the limit keeps every byte (none is dropped)
    // and is refused again, without reading, until the limit is raised.
    String readLine() override;

    void setTimeoutMs(int timeoutMs) { timeoutMs_ = timeoutMs; }
    int getTimeoutMs() const { return timeoutMs_; }
    SocketHandle getSocket() const { return socket_; }

private:
    SocketHandle socket_ = NoSocket;
    int timeoutMs_ = -1;
    String lineBuffer_;
};

} // namespace orvane
