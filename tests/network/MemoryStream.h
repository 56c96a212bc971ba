#pragma once

// An input stream over bytes in memory for the message reader tests: it hands out at most
// `chunk` bytes per read, reports the end as -1, and can be told to time out instead.

#include "foundation/Exception.h"
#include "foundation/InputStream.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace orvane::testing {

class MemoryStream : public InputStream {
public:
    explicit MemoryStream(std::string bytes, int chunk = 1 << 20) : bytes_(std::move(bytes)), chunk_(chunk) {}

    // Past the bytes, every read throws TimeoutException instead of reporting the end.
    bool timeOutAtEnd = false;

    int read(void* buffer, int length) override
    {
        if (pos_ >= bytes_.size())
            return atEndResult();
        size_t n = std::min({static_cast<size_t>(length), static_cast<size_t>(chunk_), bytes_.size() - pos_});
        std::memcpy(buffer, bytes_.data() + pos_, n);
        pos_ += n;
        return static_cast<int>(n);
    }
    int read() override
    {
        if (pos_ >= bytes_.size())
            return atEndResult();
        return static_cast<unsigned char>(bytes_[pos_++]);
    }
    int available() override { return static_cast<int>(bytes_.size() - pos_); }
    size_t consumed() const { return pos_; }

private:
    int atEndResult()
    {
        if (timeOutAtEnd)
            throw TimeoutException();
        return -1;
    }

    std::string bytes_;
    int chunk_;
    size_t pos_ = 0;
};

} // namespace orvane::testing
