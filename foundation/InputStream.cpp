#include "foundation/InputStream.h"

namespace orvane {

InputStream::~InputStream() = default;
InputStream::LineSizeLimitExceeded::~LineSizeLimitExceeded() = default;

void InputStream::close()
{
}

String InputStream::readLine()
{
    String line;
    atEnd_ = false;
    for (;;) {
        int b = read();
        if (b == -1 || b == '\n') {
            atEnd_ = b == -1;
            if (line.endsWith("\r"))
                line.setLength(line.length() - 1);
            return line;
        }
        if (lineSizeLimit_ > 0 && line.length() >= lineSizeLimit_)
            throw LineSizeLimitExceeded();
        line.append(static_cast<char>(b));
    }
}

int InputStream::setLineSizeLimit(int limit)
{
    lineSizeLimit_ = limit;
    return lineSizeLimit_;
}

int InputStream::getLineSizeLimit() const
{
    return lineSizeLimit_;
}

} // namespace orvane
