#pragma once

#include "foundation/Exception.h"
#include "foundation/String.h"

namespace orvane {

// A source of bytes with a line reader on top of the subclasses' byte reads.
class InputStream {
public:
    // A line grew past the line-size limit before its LF arrived.
    ORVANE_EXCEPTION(LineSizeLimitExceeded, IOException);

    InputStream() = default;
    virtual ~InputStream();

    // Up to `length` bytes into the buffer; the count read, -1 at the end of the stream.
    virtual int read(void* buffer, int length) = 0;
    // One byte as 0 to 255, -1 at the end of the stream.
    virtual int read() = 0;
    virtual void close();
    // Bytes that can be read without blocking.
    virtual int available() = 0;
    // The next line without its LF and without a CR just before it. The limit counts every
    // byte before the LF, a CR included. At the end of the stream it returns what was read
    // (possibly nothing) and atEnd() turns true: that tells a last line without LF, and the
    // end itself, from lines ended by LF.
    virtual String readLine();
    // 0 or less means no limit; answers the limit stored.
    virtual int setLineSizeLimit(int limit);
    virtual int getLineSizeLimit() const;

    // True when the last readLine met the end of the stream instead of an LF.
    bool atEnd() const { return atEnd_; }

protected:
    int lineSizeLimit_ = 0;
    bool atEnd_ = false;
};

} // namespace orvane
