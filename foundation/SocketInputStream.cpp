#include "foundation/SocketInputStream.h"

#include "foundation/Clock.h"

namespace orvane {

SocketInputStream::SocketInputStream()
{
    lineSizeLimit_ = DefaultLineSizeLimit;
}

SocketInputStream::SocketInputStream(const Socket& socket) : SocketInputStream(socket.handle)
{
}

SocketInputStream::SocketInputStream(SocketHandle socket) : SocketInputStream()
{
    socket_ = socket;
}

SocketInputStream::~SocketInputStream()
{
    close();
}

int SocketInputStream::readByte(int timeoutMs)
{
    unsigned char b;
    int n;
    try {
        n = receive(socket_, &b, 1, timeoutMs < 0 ? -1 : timeoutMs);
    } catch (const NoConnectionException&) {
        return -1;
    } catch (const SocketException&) {
        throw IOException();
    }
    if (n == 0)
        throw TimeoutException();
    return b;
}

int SocketInputStream::read()
{
    return readByte(timeoutMs_);
}

int SocketInputStream::read(void* buffer, int length)
{
    // receive answers 0 for an empty request, which would read as a time-out.
    if (length == 0)
        return 0;
    int n;
    try {
        n = receive(socket_, buffer, length, timeoutMs_ < 0 ? -1 : timeoutMs_);
    } catch (const SocketException&) {
        throw IOException();
    }
    if (n == 0)
        throw TimeoutException();
    return n;
}

void SocketInputStream::close()
{
    socket_ = NoSocket;
}

int SocketInputStream::available()
{
    try {
        return bytesAvailable(socket_);
    } catch (const Exception&) {
        throw IOException();
    }
}

String SocketInputStream::readLine()
{
    atEnd_ = false;
    // The byte that overflowed an earlier call is kept in the buffer, so nothing is lost
    // and the over-long line is never handed out cut short.
    if (lineSizeLimit_ > 0 && lineBuffer_.length() > lineSizeLimit_)
        throw LineSizeLimitExceeded();

    const bool limited = timeoutMs_ >= 0;
    const int64_t deadline = limited ? monotonicMillis() + timeoutMs_ : 0;
    int b = readByte(timeoutMs_);
    while (b != '\n' && b != -1) {
        const bool full = lineSizeLimit_ > 0 && lineBuffer_.length() >= lineSizeLimit_;
        lineBuffer_.append(static_cast<char>(b));
        if (full)
            throw LineSizeLimitExceeded();
        if (limited) {
            const int64_t remaining = deadline - monotonicMillis();
            if (remaining < 0)
                throw TimeoutException();
            b = readByte(static_cast<int>(remaining));
        } else {
            b = readByte(-1);
        }
    }
    atEnd_ = b == -1;
    String line(std::move(lineBuffer_));
    lineBuffer_ = String();
    if (line.endsWith("\r"))
        line.setLength(line.length() - 1);
    return line;
}

} // namespace orvane
