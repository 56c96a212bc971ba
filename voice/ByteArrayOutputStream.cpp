#include "voice/ByteArrayOutputStream.h"

namespace orvane {

ByteArrayOutputStream::ByteArrayOutputStream() : target_(&own_) {}

ByteArrayOutputStream::ByteArrayOutputStream(ByteArray& target) : target_(&target) {}

ByteArrayOutputStream::~ByteArrayOutputStream() = default;

void ByteArrayOutputStream::write(const void* buffer, int length)
{
    target_->write(target_->count(), buffer, length);
}

void ByteArrayOutputStream::write(uint8_t byte)
{
    target_->add(byte);
}

void ByteArrayOutputStream::flush()
{
    if (target_ == &own_)
        own_.setSize(0);
}

} // namespace orvane
