#pragma once

#include "foundation/Containers.h"

#include <cstdint>

// What the two frames of the program share: the server link's Message and the peer links'
// Packet lay out their headers big-endian, compress long bodies by one rule, inflate within
// a bound and read through the same source seam.

namespace orvane {

// Where a frame reader takes its bytes from when it does not read a socket directly:
// buffers in tests and fuzzing, or a connection's own buffered reader. receive has the
// socket layer's contract: up to `length` bytes within the time-out (negative: no limit),
// 0 when none came in time, NoConnectionException when the stream has ended.
class FrameSource {
public:
    virtual ~FrameSource();
    virtual int receive(void* buffer, int length, int timeoutMs) = 0;
};

void putBigEndian(uint8_t* out, uint64_t value, int bytes);
uint64_t getBigEndian(const uint8_t* in, int bytes);

// The body as it goes on the wire: compressed with zlib at the default level when
// compression is enabled, the body is at least `threshold` bytes long and compressing makes
// it shorter (the compressed bytes then live in `scratch`); otherwise the data itself.
struct WireBody {
    const uint8_t* data;
    int length;
    bool compressed;
};
WireBody compressForWire(const void* data, int length, bool enabled, int threshold, ByteArray& scratch);

// Inflates a zlib stream into `out`, refusing to produce more than `limit` bytes. False,
// with `out` emptied, for a corrupt or truncated stream and for one that inflates beyond
// the limit. Bytes after the end of the stream are ignored.
bool inflateBounded(const uint8_t* data, int length, int limit, ByteArray& out);

// A reader's source over bytes in memory, handed out at most `chunk` bytes per receive
// (0: all that is left), so a test or a fuzzer can cut a stream into arrivals of any size.
// The end of the bytes is the end of the stream (NoConnectionException).
class ByteBufferSource : public FrameSource {
public:
    ByteBufferSource(const void* data, int length, int chunk = 0);
    int receive(void* buffer, int length, int timeoutMs) override;
    int remaining() const { return length_ - position_; }

private:
    const uint8_t* data_;
    int length_;
    int chunk_;
    int position_ = 0;
};

} // namespace orvane
