#pragma once

#include "foundation/InputStream.h"

#include <cstdint>

namespace orvane {

// Reads single bits from an InputStream, least significant bit of each byte first, the
// mirror of BitOutputStream.
class BitInputStream {
public:
    explicit BitInputStream(InputStream* source = nullptr) : source_(source) {}
    virtual ~BitInputStream();
    BitInputStream(const BitInputStream&) = delete;
    BitInputStream& operator=(const BitInputStream&) = delete;

    virtual void attach(InputStream* source);
    // 0 or 1; -1 without a source or at its end.
    virtual int readBit();
    // The bits left: the source's available bytes, and the rest of the current byte.
    virtual int bitsAvailable();
    virtual void close();

private:
    InputStream* source_;
    int position_ = 0;
    int current_ = 0;
};

} // namespace orvane
