#include "voice/ByteArrayInputStream.h"

#include <cstring>

namespace orvane {

ByteArrayInputStream::ByteArrayInputStream(const uint8_t* data, int size)
    : data_(data), size_(data && size > 0 ? size : 0)
{
}

ByteArrayInputStream::~ByteArrayInputStream() = default;

int ByteArrayInputStream::read(void* buffer, int n)
{
    if (n <= 0 || !buffer)
        return 0;
    if (position_ >= size_)
        return -1;
    const int count = n < size_ - position_ ? n : size_ - position_;
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int ByteArrayInputStream::read()
{
    if (position_ >= size_)
        return -1;
    return data_[position_++];
}

void ByteArrayInputStream::close()
{
    data_ = nullptr;
    size_ = 0;
    position_ = 0;
}

} // namespace orvane
