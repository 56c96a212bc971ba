#include "network/HttpMessage.h"

#include "foundation/Clock.h"
#include "foundation/InputStream.h"

#include <climits>
#include <cstring>
#include <memory>

namespace orvane {

namespace {

constexpr int kInitialBufferRoom = 500;
constexpr int kBufferGrowth = 1000;
// The body is read in pieces of at most this size, whatever the announced length.
constexpr int kReadChunk = 64 * 1024;
constexpr int kPreallocateLimit = 1024 * 1024;

void emptyBuffer(ByteArray& buffer)
{
    buffer.setGrowBy(kBufferGrowth);
    if (buffer.capacity() < kInitialBufferRoom)
        buffer.setCapacity(kInitialBufferRoom);
    buffer.setSize(0);
}

// A Content-Length value: digits only, within 32 bits.
int32_t parseContentLength(const String& text)
{
    String value(text);
    value.trim();
    const int n = value.length();
    if (n == 0 || n > 10)
        throw HttpException();
    for (int i = 0; i < n; ++i)
        if (value.at(i) < '0' || value.at(i) > '9')
            throw HttpException();
    int64_t v = leadingDecimal(value.c_str(), INT32_MAX);
    if (v < 0)
        throw HttpException();
    return static_cast<int32_t>(v);
}

} // namespace

int64_t leadingDecimal(const char* text, int64_t maxValue)
{
    if (!text || *text < '0' || *text > '9')
        return -1;
    int64_t value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > maxValue)
            return -1;
    }
    return value;
}

uint16_t parsePortText(const char* text)
{
    int64_t v = leadingDecimal(text, 65535);
    return v > 0 ? static_cast<uint16_t>(v) : 0;
}

bool isSafeToken(const String& text)
{
    for (int i = 0; i < text.length(); ++i) {
        unsigned char c = static_cast<unsigned char>(text.at(i));
        if (c <= 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

bool isSafeHeaderValue(const String& text)
{
    for (int i = 0; i < text.length(); ++i) {
        unsigned char c = static_cast<unsigned char>(text.at(i));
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

void appendBytes(ByteArray& array, const void* bytes, int n)
{
    if (!bytes || n <= 0)
        return;
    const int count = array.count();
    if (count > INT_MAX - n)
        throw MemoryException();
    const int needed = count + n;
    if (needed > array.capacity()) {
        int64_t room = static_cast<int64_t>(array.capacity()) * 2;
        if (room < needed)
            room = needed;
        if (room > INT_MAX)
            room = INT_MAX;
        array.setCapacity(static_cast<int>(room));
        array.setSize(count); // setCapacity keeps the count; this is for clarity only
    }
    array.write(count, bytes, n);
}

HttpMessage::HttpMessage()
{
    emptyBuffer(body);
    emptyBuffer(received);
}

HttpMessage::~HttpMessage() = default;

void HttpMessage::reset()
{
    startLine.clear();
    headers.clear();
    emptyBuffer(body);
    emptyBuffer(received);
    position = 0;
    scanFrom_ = 0;
    state = StartLine;
    contentLength = -1;
    hasContentLength = -1;
}

void HttpMessage::onHeadersComplete()
{
}

bool HttpMessage::nextLine(String& line)
{
    const uint8_t* b = received.data();
    const int last = received.count() - 1;
    for (int i = scanFrom_ > position ? scanFrom_ : position; i < last; ++i) {
        const uint8_t c = b[i];
        if (c != '\r' && c != '\n')
            continue;
        const uint8_t d = b[i + 1];
        const int endLength = ((c == '\r' && d == '\n') || (c == '\n' && d == '\r')) ? 2 : 1;
        line.assign(reinterpret_cast<const char*>(b + position), i - position);
        position = i + endLength;
        scanFrom_ = position;
        line.trim();
        return true;
    }
    if (last > scanFrom_)
        scanFrom_ = last;
    return false;
}

void HttpMessage::splitStartLine(String& first, String& rest)
{
    if (state == StartLine)
        throw HttpException();
    startLine.trim();
    const int space = startLine.find(' ');
    if (space < 0)
        throw HttpException();
    first = startLine.substring(0, space);
    rest = startLine.substring(space + 1);
    rest.trim();
}

void HttpMessage::settleContentLength()
{
    const int i = headers.find("Content-Length");
    if (contentLength == -1)
        contentLength = i >= 0 ? parseContentLength(headers[i].value) : 0;
    if (hasContentLength == -1)
        hasContentLength = i >= 0 ? 1 : 0;
}

void HttpMessage::headerLine(String& line)
{
    const int colon = line.find(':');
    if (colon <= 0)
        throw HttpException(); // no ':' at all, or an empty name
    String name = line.substring(0, colon);
    String value = line.substring(colon + 1);
    name.trim();
    value.trim();
    if (name.isEmpty())
        throw HttpException();
    if (headers.count() >= maxHeaderCount)
        throw HttpException();
    name.toLower();
    if (name == "content-length") {
        // Every copy must be a plain number, and all copies must agree: a message with two
        // different lengths has no single end.
        const int32_t length = parseContentLength(value);
        const int first = headers.find("content-length");
        if (first >= 0 && parseContentLength(headers[first].value) != length)
            throw HttpException();
        contentLength = length;
    }
    headers.add(name, value);
}

void HttpMessage::parse(const void* bytes, int n)
{
    if (!bytes || n < 1)
        return;
    appendBytes(received, bytes, n);
    if (state == Body) {
        appendBody(static_cast<const uint8_t*>(bytes), n);
        return;
    }
    String line;
    while (nextLine(line)) {
        if (line.length() > maxLineLength)
            throw HttpException();
        switch (state) {
        case StartLine:
            startLine = line;
            state = Headers;
            parseStartLine();
            break;
        case Headers:
            if (!line.isEmpty()) {
                headerLine(line);
                break;
            }
            onHeadersComplete();
            state = Body;
            settleContentLength();
            if (hasContentLength == 1 && contentLength > maxBodySize)
                throw HttpException();
            {
                int rest = received.count() - position;
                if (hasContentLength == 1 && rest > contentLength)
                    rest = contentLength;
                appendBody(received.data() + position, rest);
            }
            return;
        default:
            throw HttpException();
        }
    }
    // What is left is a partial line; one that has outgrown every sane line is refused
    // now rather than buffered further.
    if (received.count() - position > maxLineLength + 2)
        throw HttpException();
}

void HttpMessage::appendBody(const uint8_t* bytes, int n)
{
    if (!bytes || n < 0)
        return;
    settleContentLength();
    int take = n;
    if (hasContentLength == 1) {
        const int missing = contentLength - body.count();
        if (take > missing)
            take = missing > 0 ? missing : 0;
    } else if (take > maxBodySize - body.count()) {
        throw HttpException();
    }
    // Room for the announced length at once, up to a point: a peer that announces much and
    // sends little should not cost the whole allocation up front.
    if (hasContentLength == 1 && take > 0) {
        const int room = contentLength < kPreallocateLimit ? contentLength : kPreallocateLimit;
        if (body.capacity() < room)
            body.setCapacity(room);
    }
    appendBytes(body, bytes, take);
    position += take;
    if (hasContentLength == 1 && body.count() >= contentLength) {
        body.setSize(contentLength);
        state = Complete;
    }
}

void HttpMessage::readHeaders(InputStream& stream)
{
    const bool limited = timeoutMs >= 0;
    const int64_t deadline = monotonicMillis() + (limited ? timeoutMs : 0);
    while (state < Body) {
        if (limited && monotonicMillis() > deadline)
            throw TimeoutException();
        String line;
        try {
            line = stream.readLine();
        } catch (const TimeoutException&) {
            continue;
        }
        // A stream that ends inside the head leaves no message to speak of: a proxy that
        // answers "200" and hangs up must not count as connected.
        if (stream.atEnd())
            throw NoConnectionException();
        line.trim();
        line.append("\r\n");
        parse(line.c_str(), line.length());
    }
}

void HttpMessage::read(InputStream& stream)
{
    const bool limited = timeoutMs >= 0;
    const int64_t deadline = monotonicMillis() + (limited ? timeoutMs : 0);
    readHeaders(stream);
    settleContentLength();
    if (hasContentLength != 1)
        return;
    int remaining = contentLength - body.count();
    if (remaining <= 0)
        return;
    const int chunk = remaining < kReadChunk ? remaining : kReadChunk;
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[static_cast<size_t>(chunk)]);
    while (remaining > 0) {
        if (limited && monotonicMillis() > deadline)
            throw TimeoutException();
        const int want = remaining < chunk ? remaining : chunk;
        const int got = stream.read(buffer.get(), want);
        if (got <= 0)
            throw NoConnectionException(); // the body was cut short
        parse(buffer.get(), got);
        remaining -= got;
    }
}

String HttpMessage::headersToString() const
{
    String out;
    for (const NameValuePair& h : headers) {
        if (h.name.isEmpty() || !isSafeToken(h.name) || h.name.find(':') >= 0 ||
            !isSafeHeaderValue(h.value))
            throw HttpException();
        out.append(h.name.c_str(), h.name.length());
        out.append(": ");
        out.append(h.value.c_str(), h.value.length());
        out.append("\r\n");
    }
    return out;
}

String HttpMessage::toString()
{
    writeStartLine();
    String out(startLine);
    out.append("\r\n");
    out += headersToString();
    out.append("\r\n");
    return out;
}

void HttpMessage::writeTo(ByteArray& out)
{
    const String head = toString();
    const int total = head.length() + body.count();
    if (out.capacity() < total)
        out.setCapacity(total);
    out.setSize(0);
    out.write(0, head.c_str(), head.length());
    out.write(head.length(), body.data(), body.count());
    out.setSize(total);
}

} // namespace orvane
