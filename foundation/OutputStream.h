#pragma once

#include <cstdint>

namespace orvane {

// A sink of bytes.
class OutputStream {
public:
    OutputStream() = default;
    virtual ~OutputStream() = default;

    virtual void write(const void* buffer, int length) = 0;
    virtual void write(uint8_t byte) = 0;
    // Hands on whatever the stream holds back; nothing in the base.
    virtual void flush() {}
};

} // namespace orvane
