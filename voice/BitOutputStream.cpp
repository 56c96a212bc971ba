#include "voice/BitOutputStream.h"

namespace orvane {

BitOutputStream::~BitOutputStream()
{
    close();
}

void BitOutputStream::attach(OutputStream* target)
{
    target_ = target;
    count_ = 0;
    pending_ = 0;
}

void BitOutputStream::writeBit(int bit)
{
    pending_ = static_cast<uint8_t>(pending_ | ((bit != 0 ? 1u : 0u) << count_));
    if (++count_ == 8) {
        if (target_)
            target_->write(pending_);
        count_ = 0;
        pending_ = 0;
    }
}

void BitOutputStream::flush()
{
    if (count_ > 0 && target_)
        target_->write(pending_);
    count_ = 0;
    pending_ = 0;
}

void BitOutputStream::close()
{
    flush();
    target_ = nullptr;
}

} // namespace orvane
