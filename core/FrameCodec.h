#pragma once

#include "foundation/Containers.h"

#include <cstdint>
#include <memory>

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

// The compressor of one connection's frames, kept from body to body. Every body is still
// one whole zlib stream at the default level, byte for byte what a fresh compress2 call
// makes: the state is reset between bodies, never carried over. Keeping it saves zlib's
// set-up (some 260 KiB of tables allocated, mapped in and freed for every body), which costs
// far more than compressing a video packet. Made on first use; one thread at a time.
class FrameDeflater {
public:
    FrameDeflater();
    ~FrameDeflater();
    // A copy starts without state of its own.
    FrameDeflater(const FrameDeflater&);
    FrameDeflater& operator=(const FrameDeflater&);

    WireBody compress(const void* data, int length, bool enabled, int threshold, ByteArray& scratch);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The decompressor of one connection's frames, kept from body to body like FrameDeflater:
// each body is inflated as a stream of its own. Made on first use; one thread at a time.
class FrameInflater {
public:
    FrameInflater();
    ~FrameInflater();
    FrameInflater(const FrameInflater&);
    FrameInflater& operator=(const FrameInflater&);

    // Inflates a zlib stream into `out`, refusing to produce more than `limit` bytes. False,
    // with `out` emptied, for a corrupt or truncated stream and for one that inflates beyond
    // the limit. Bytes after the end of the stream are ignored.
    bool inflate(const uint8_t* data, int length, int limit, ByteArray& out);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The same with a compressor or decompressor of their own, for a single body.
WireBody compressForWire(const void* data, int length, bool enabled, int threshold, ByteArray& scratch);
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
