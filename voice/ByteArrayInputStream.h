#pragma once

#include "foundation/InputStream.h"

#include <cstdint>

namespace orvane {

// An InputStream over a block of memory that it does not own; the block must outlive the
// stream (or its close).
class ByteArrayInputStream : public InputStream {
public:
    ByteArrayInputStream(const uint8_t* data, int size);
    ~ByteArrayInputStream() override;

    // Up to n bytes: the count copied, 0 when n is 0, -1 at the end.
    int read(void* buffer, int n) override;
    // The next byte as 0 to 255, -1 at the end.
    int read() override;
    // Forgets the block: nothing more is read.
    void close() override;
    int available() override { return size_ - position_; }

private:
    const uint8_t* data_;
    int size_;
    int position_ = 0;
};

} // namespace orvane
