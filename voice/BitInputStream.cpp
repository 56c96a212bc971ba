#include "voice/BitInputStream.h"

namespace orvane {

BitInputStream::~BitInputStream()
{
    close();
}

void BitInputStream::attach(InputStream* source)
{
    source_ = source;
    position_ = 0;
    current_ = 0;
}

int BitInputStream::readBit()
{
    if (!source_)
        return -1;
    if (position_ == 0) {
        const int next = source_->read();
        if (next < 0)
            return -1;
        current_ = next;
    }
    const int bit = (current_ >> position_) & 1;
    position_ = (position_ + 1) % 8;
    return bit;
}

int BitInputStream::bitsAvailable()
{
    if (!source_)
        return 0;
    return source_->available() * 8 + (position_ != 0 ? 8 - position_ : 0);
}

void BitInputStream::close()
{
    source_ = nullptr;
    position_ = 0;
    current_ = 0;
}

} // namespace orvane
