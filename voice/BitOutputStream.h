#pragma once

#include "foundation/OutputStream.h"

#include <cstdint>

namespace orvane {

// Writes single bits to an OutputStream, least significant bit first: the first bit
// written becomes bit 0 of the first byte. A byte goes to the target when its eighth bit
// is written; flush pads a partial byte with 0 bits and hands it on.
class BitOutputStream {
public:
    explicit BitOutputStream(OutputStream* target = nullptr) : target_(target) {}
    // Flushes what is pending.
    virtual ~BitOutputStream();
    BitOutputStream(const BitOutputStream&) = delete;
    BitOutputStream& operator=(const BitOutputStream&) = delete;

    // A new target; bits pending for the old one are dropped.
    virtual void attach(OutputStream* target);
    // Any non-zero value writes a 1.
    virtual void writeBit(int bit);
    virtual void flush();
    // Flushes, then forgets the target.
    void close();

private:
    OutputStream* target_;
    int count_ = 0;
    uint8_t pending_ = 0;
};

} // namespace orvane
