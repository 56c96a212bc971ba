#pragma once

#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/String.h"

#include <cstdint>

namespace orvane {

class InputStream;

// An HTTP/1.0 message: header list, body and an incremental parser that takes whatever
// bytes arrive. The parser accepts CR LF, LF, CR and LF CR line ends, trims every line and
// knows one body framing only: Content-Length, or everything up to the end of the
// connection when the header is absent (the reader of the connection decides that end).
//
// Everything that comes from a peer is bounded: a line, the number of header lines and the
// body each have a limit (fields below, set per use), and breaking one is an HttpException
// rather than an allocation without end.
class HttpMessage {
public:
    static constexpr int32_t DefaultMaxBodySize = 16 * 1024 * 1024;
    static constexpr int32_t DefaultMaxLineLength = 16 * 1024;
    static constexpr int32_t DefaultMaxHeaderCount = 256;

    enum State : uint8_t { StartLine = 0, Headers = 1, Body = 2, Complete = 3 };

    NameValueList headers;
    ByteArray body;
    // Every byte handed to parse, start line and headers included.
    ByteArray received;
    String startLine;
    // Index in `received` of the first byte the line scanner has not consumed.
    int32_t position = 0;
    uint8_t state = StartLine;
    // -1 until settled from the headers.
    int32_t contentLength = -1;
    // -1 not settled, 0 the headers hold no Content-Length, 1 they hold one.
    int32_t hasContentLength = -1;
    // Time limit of read and readHeaders in milliseconds; -1 for none. reset keeps it.
    int32_t timeoutMs = -1;

    // Limits on what a peer may send; reset keeps them.
    int32_t maxBodySize = DefaultMaxBodySize;
    int32_t maxLineLength = DefaultMaxLineLength;
    int32_t maxHeaderCount = DefaultMaxHeaderCount;

    HttpMessage();
    HttpMessage(const HttpMessage&) = default;
    HttpMessage& operator=(const HttpMessage&) = default;
    virtual ~HttpMessage();

    // Empties start line, headers, body and received bytes and starts parsing anew.
    void reset();
    // Feeds n received bytes to the parser; NULL bytes or n < 1 do nothing.
    // HttpException for a malformed start or header line, a line or header count beyond
    // the limits, a Content-Length that is not a plain decimal number (or disagrees with an
    // earlier one, or exceeds maxBodySize), a body beyond maxBodySize, or a further line
    // after the message was complete.
    void parse(const void* bytes, int n);
    // Reads lines until the empty line that ends the headers. The end of the stream before
    // that line is a NoConnectionException; TimeoutException when timeoutMs passes.
    void readHeaders(InputStream& stream);
    // readHeaders, then the body by Content-Length in bounded chunks. A stream that ends
    // before the announced length is a NoConnectionException.
    void read(InputStream& stream);
    // Start line, headers and the empty line. HttpException when a start line piece or a
    // header would carry a control byte (a CR or LF would split the message).
    String toString();
    String headersToString() const;
    // out = head followed by the body bytes.
    void writeTo(ByteArray& out);

    bool isComplete() const { return state == Complete; }

protected:
    // Called once when the empty line ends the headers.
    virtual void onHeadersComplete();
    virtual void parseStartLine() = 0;
    virtual void writeStartLine() = 0;

    // The next complete line from `received`, trimmed; false when none is complete yet. The
    // last received byte is never taken as a line end: its partner may still be on the way.
    bool nextLine(String& line);
    // Trims the start line and splits it at its first space: `first` the text before it,
    // `rest` the text after it, trimmed. HttpException while no start line has been taken
    // yet, or when the line holds no space.
    void splitStartLine(String& first, String& rest);
    void appendBody(const uint8_t* bytes, int n);

private:
    // Where the line scanner stopped without finding a line end, so that a line arriving a
    // byte at a time is not scanned again from its start on every arrival.
    int32_t scanFrom_ = 0;

    void settleContentLength();
    void headerLine(String& line);
};

// The decimal number at the start of the text (no sign, no blanks); -1 when there are no
// digits or the number exceeds maxValue.
int64_t leadingDecimal(const char* text, int64_t maxValue);

// A port text: its leading decimal number when that lies in 1 to 65535, otherwise 0, which
// no connection accepts.
uint16_t parsePortText(const char* text);

// False when the text holds a byte that must not reach a request line or a header name:
// 0x00 to 0x20 or 0x7F.
bool isSafeToken(const String& text);
// False when the text holds a byte that must not reach a header value: 0x00 to 0x1F
// (CR and LF above all) or 0x7F. Spaces are allowed.
bool isSafeHeaderValue(const String& text);

// Appends n bytes to the array, growing it geometrically, so that a large body does not
// cost one reallocation per arrival.
void appendBytes(ByteArray& array, const void* bytes, int n);

} // namespace orvane
