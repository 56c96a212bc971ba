#include "foundation/InputStream.h"
#include "foundation/OutputStream.h"
#include "foundation/SocketInputStream.h"

#include "LoopbackSockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <type_traits>

using namespace orvane;
using namespace orvane::testing;
using namespace std::chrono_literals;

namespace {

// The bytes of a text, then the end of the stream.
class TextInputStream : public InputStream {
public:
    explicit TextInputStream(std::string text) : text_(std::move(text)) {}

    int read(void* buffer, int length) override
    {
        if (pos_ >= text_.size())
            return -1;
        size_t n = std::min(text_.size() - pos_, size_t(length));
        std::memcpy(buffer, text_.data() + pos_, n);
        pos_ += n;
        return int(n);
    }
    int read() override { return pos_ < text_.size() ? (unsigned char)text_[pos_++] : -1; }
    int available() override { return int(text_.size() - pos_); }

private:
    std::string text_;
    size_t pos_ = 0;
};

// Collects what is written, to show the output base is usable as declared.
class StringOutputStream : public OutputStream {
public:
    void write(const void* buffer, int length) override
    {
        text.append(static_cast<const char*>(buffer), size_t(length));
    }
    void write(uint8_t byte) override { text.push_back(char(byte)); }
    std::string text;
};

std::string str(const String& s)
{
    return std::string(s.c_str(), size_t(s.length()));
}

} // namespace

static_assert(std::is_base_of_v<IOException, InputStream::LineSizeLimitExceeded>);
static_assert(!std::is_base_of_v<SocketException, InputStream::LineSizeLimitExceeded>);

TEST(InputStreamTest, LineLimitCountsEveryByteBeforeTheLF)
{
    const struct {
        const char* text;
        int limit;
        bool ok;
        const char* line;
    } cases[] = {
        {"abcde\n", 5, true, "abcde"},
        {"abcdef\n", 5, false, nullptr},
        {"abcde\r\n", 5, false, nullptr}, // the CR counts
        {"abcd\r\n", 5, true, "abcd"},
        {"abcdef", 5, false, nullptr},   // the end of the stream is no way round the limit
        {"abcdefghij\n", 0, true, "abcdefghij"},
        {"abcdefghij\n", -3, true, "abcdefghij"},
    };
    for (const auto& c : cases) {
        TextInputStream in(c.text);
        EXPECT_EQ(in.setLineSizeLimit(c.limit), c.limit);
        EXPECT_EQ(in.getLineSizeLimit(), c.limit);
        if (c.ok)
            EXPECT_EQ(str(in.readLine()), c.line) << c.text;
        else
            EXPECT_THROW(in.readLine(), InputStream::LineSizeLimitExceeded) << c.text;
    }
}

TEST(InputStreamTest, LineEndsAndTheEndOfTheStream)
{
    TextInputStream in("ab\r\n\na\rb\nlast");
    EXPECT_EQ(in.getLineSizeLimit(), 0);
    EXPECT_EQ(str(in.readLine()), "ab");
    EXPECT_FALSE(in.atEnd());
    EXPECT_EQ(str(in.readLine()), ""); // an empty line ...
    EXPECT_FALSE(in.atEnd());
    EXPECT_EQ(str(in.readLine()), "a\rb"); // only a CR just before the LF goes
    EXPECT_EQ(str(in.readLine()), "last");
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(str(in.readLine()), ""); // ... told apart from the end
    EXPECT_TRUE(in.atEnd());

    TextInputStream crOnly("ab\r");
    EXPECT_EQ(str(crOnly.readLine()), "ab");
    EXPECT_TRUE(crOnly.atEnd());

    StringOutputStream out;
    OutputStream& o = out;
    o.write("ab", 2);
    o.write(uint8_t('c'));
    o.flush();
    EXPECT_EQ(out.text, "abc");
}

TEST(SocketStream, DefaultsAndTheFiniteLineLimit)
{
    SocketInputStream none;
    EXPECT_EQ(none.getSocket(), NoSocket);
    EXPECT_EQ(none.getTimeoutMs(), -1);
    EXPECT_EQ(none.getLineSizeLimit(), SocketInputStream::DefaultLineSizeLimit);
    EXPECT_EQ(SocketInputStream::DefaultLineSizeLimit, 65536);
    EXPECT_THROW(none.read(), IOException);
    EXPECT_THROW(none.available(), IOException);

    // A peer that never ends its line cannot make the reader grow without bound.
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    in.setTimeoutMs(10000);
    const std::string endless(SocketInputStream::DefaultLineSizeLimit + 10, 'x');
    sendAll(p.server, endless.data(), int(endless.size()));
    EXPECT_THROW(in.readLine(), InputStream::LineSizeLimitExceeded);
}

TEST(SocketStream, HalfLinesSurviveTimeOuts)
{
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    in.setTimeoutMs(300);

    Stopwatch idle;
    EXPECT_THROW(in.readLine(), TimeoutException);
    EXPECT_GE(idle.elapsed(), 300);

    sendAll(p.server, "hel", 3);
    Stopwatch watch;
    EXPECT_THROW(in.readLine(), TimeoutException);
    EXPECT_GE(watch.elapsed(), 300);
    EXPECT_LT(watch.elapsed(), 2500);
    sendAll(p.server, "lo\r\nnext\n", 9);
    EXPECT_EQ(str(in.readLine()), "hello");
    EXPECT_FALSE(in.atEnd());
    EXPECT_EQ(str(in.readLine()), "next");
}

TEST(SocketStream, OneDeadlineForAWholeLine)
{
    // Every byte comes well within the time-out, but the line as a whole does not.
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    in.setTimeoutMs(200);
    std::thread trickle([&] {
        for (const char* c = "abcdefgh\n"; *c; ++c) {
            sendAll(p.server, c, 1);
            std::this_thread::sleep_for(50ms);
        }
    });
    JoinOnExit joiner(trickle);
    Stopwatch watch;
    EXPECT_THROW(in.readLine(), TimeoutException);
    EXPECT_GE(watch.elapsed(), 200);
    EXPECT_LT(watch.elapsed(), 2000); // a deadline per byte would have read the whole line
    in.setTimeoutMs(2000);
    EXPECT_EQ(str(in.readLine()), "abcdefgh");
}

TEST(SocketStream, EndOfStream)
{
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    in.setTimeoutMs(2000);
    sendAll(p.server, "one\ntail", 8);
    p.server.reset();
    EXPECT_EQ(str(in.readLine()), "one");
    EXPECT_FALSE(in.atEnd());
    EXPECT_EQ(str(in.readLine()), "tail");
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(str(in.readLine()), "");
    EXPECT_TRUE(in.atEnd());
    EXPECT_EQ(in.read(), -1);
    EXPECT_EQ(in.readByte(-1), -1);
    char buffer[8];
    EXPECT_THROW(in.read(buffer, sizeof buffer), IOException); // never -1
    EXPECT_EQ(in.read(buffer, 0), 0);

    // Bytes still waiting come out before the end.
    ConnectedPair q = connectedPair();
    SocketInputStream bytes(q.client.get());
    sendAll(q.server, "xy", 2);
    q.server.reset();
    EXPECT_EQ(bytes.read(), 'x');
    EXPECT_EQ(bytes.read(buffer, sizeof buffer), 1);
    EXPECT_EQ(buffer[0], 'y');
    EXPECT_THROW(bytes.read(buffer, sizeof buffer), IOException);
}

TEST(SocketStream, TimeOutsOfReads)
{
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    char buffer[8];
    in.setTimeoutMs(0);
    Stopwatch now;
    EXPECT_THROW(in.read(), TimeoutException);
    EXPECT_THROW(in.read(buffer, sizeof buffer), TimeoutException);
    EXPECT_LT(now.elapsed(), 1000);
    EXPECT_EQ(in.read(buffer, 0), 0); // an empty read is no time-out

    in.setTimeoutMs(150);
    Stopwatch watch;
    EXPECT_THROW(in.read(buffer, sizeof buffer), TimeoutException);
    EXPECT_GE(watch.elapsed(), 150);
    EXPECT_THROW(in.readByte(50), TimeoutException);

    sendAll(p.server, "\xff", 1);
    EXPECT_EQ(in.readByte(-5), 255); // bytes are unsigned; a negative time-out waits
}

TEST(SocketStream, ResetConnectionIsAnIOException)
{
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    in.setTimeoutMs(2000);
    closeWithReset(p.server);
    try {
        in.read();
        FAIL() << "a reset connection gave a byte";
    } catch (const TimeoutException&) {
        FAIL() << "a reset was taken for a time-out";
    } catch (const IOException&) {
    }
}

TEST(SocketStream, LineOverTheLimitKeepsEveryByte)
{
    ConnectedPair p = connectedPair();
    SocketInputStream in(p.client.get());
    in.setTimeoutMs(2000);
    in.setLineSizeLimit(5);
    sendAll(p.server, "abcde\nabcde\r\nabcdefg\nnext\n", 26);
    EXPECT_EQ(str(in.readLine()), "abcde");
    EXPECT_THROW(in.readLine(), InputStream::LineSizeLimitExceeded); // the CR counts

    in.setLineSizeLimit(0);
    EXPECT_EQ(str(in.readLine()), "abcde");
    in.setLineSizeLimit(5);
    EXPECT_THROW(in.readLine(), InputStream::LineSizeLimitExceeded);
    // Refused again without reading on: the over-long line is never handed out cut short.
    const int waiting = in.available();
    EXPECT_THROW(in.readLine(), InputStream::LineSizeLimitExceeded);
    EXPECT_EQ(in.available(), waiting);
    in.setLineSizeLimit(100);
    EXPECT_EQ(str(in.readLine()), "abcdefg");
    EXPECT_EQ(str(in.readLine()), "next");
}

TEST(SocketStream, CloseAndDestroyLeaveTheSocketOpen)
{
    ConnectedPair p = connectedPair();
    Socket socket;
    socket.handle = p.client.get();
    {
        SocketInputStream in(socket);
        EXPECT_EQ(in.getSocket(), p.client.get());
        sendAll(p.server, "abc", 3);
        EXPECT_EQ(in.read(), 'a');
        EXPECT_GE(in.available(), 1);
        in.close();
        EXPECT_EQ(in.getSocket(), NoSocket);
        EXPECT_THROW(in.read(), IOException);
        EXPECT_THROW(in.available(), IOException);
    }
    {
        SocketInputStream in(socket);
    }
    EXPECT_NE(::fcntl(p.client, F_GETFD), -1);
    char buffer[4];
    EXPECT_EQ(receive(p.client, buffer, sizeof buffer, 2000), 2);
    EXPECT_EQ(sendAll(p.client, "ok", 2), 2);
}
