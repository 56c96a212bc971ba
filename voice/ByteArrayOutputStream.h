#pragma once

#include "foundation/Containers.h"
#include "foundation/OutputStream.h"

namespace orvane {

// An OutputStream that appends to a ByteArray: a target the caller owns, or by default an
// array of its own (grown 1000 bytes at a time).
class ByteArrayOutputStream : public OutputStream {
public:
    static constexpr int GrowBy = 1000;

    ByteArrayOutputStream();
    // Appends to target, which must outlive the stream.
    explicit ByteArrayOutputStream(ByteArray& target);
    ~ByteArrayOutputStream() override;
    ByteArrayOutputStream(const ByteArrayOutputStream&) = delete;
    ByteArrayOutputStream& operator=(const ByteArrayOutputStream&) = delete;

    // Appends length bytes; nothing for a NULL buffer or a length below 1.
    void write(const void* buffer, int length) override;
    void write(uint8_t byte) override;
    // Empties the stream's own array; a caller's target is left as it is.
    void flush() override;

    const ByteArray& bytes() const { return *target_; }

private:
    ByteArray own_{GrowBy};
    ByteArray* target_;
};

} // namespace orvane
