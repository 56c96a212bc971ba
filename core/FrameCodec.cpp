#include "core/FrameCodec.h"

#include "foundation/Exception.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <zlib.h>

namespace orvane {

FrameSource::~FrameSource() = default;

void putBigEndian(uint8_t* out, uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) {
        out[i] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

uint64_t getBigEndian(const uint8_t* in, int bytes)
{
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
        value = (value << 8) | in[i];
    return value;
}

// ---- compressing ----------------------------------------------------------------------------

struct FrameDeflater::State {
    z_stream stream;
    bool ready = false;

    State() { std::memset(&stream, 0, sizeof stream); }
    ~State()
    {
        if (ready)
            deflateEnd(&stream);
    }
    // The parameters compress2 uses: the default level, a 32 KiB window, memory level 8 and
    // the default strategy, so that the same body gives the same bytes.
    bool begin()
    {
        if (!ready) {
            ready = deflateInit(&stream, Z_DEFAULT_COMPRESSION) == Z_OK;
            return ready;
        }
        return deflateReset(&stream) == Z_OK;
    }
};

FrameDeflater::FrameDeflater() = default;
FrameDeflater::~FrameDeflater() = default;
FrameDeflater::FrameDeflater(const FrameDeflater&) {}

FrameDeflater& FrameDeflater::operator=(const FrameDeflater&)
{
    return *this;
}

WireBody FrameDeflater::compress(const void* data, int length, bool enabled, int threshold, ByteArray& scratch)
{
    WireBody wire{static_cast<const uint8_t*>(data), length, false};
    if (!enabled || length < threshold)
        return wire;
    // zlib's bound with room to spare, as long as it fits what an array can hold.
    const uLong bound = compressBound(static_cast<uLong>(length)) + 100;
    if (bound > static_cast<uLong>(INT_MAX / 2))
        return wire;
    if (!state_)
        state_ = std::make_unique<State>();
    if (!state_->begin())
        return wire;
    scratch.setSize(static_cast<int>(bound));
    z_stream& zs = state_->stream;
    zs.next_in = const_cast<Bytef*>(wire.data);
    zs.avail_in = static_cast<uInt>(length);
    zs.next_out = scratch.data();
    zs.avail_out = static_cast<uInt>(bound);
    // The output has room for the whole stream: one call finishes it.
    if (deflate(&zs, Z_FINISH) == Z_STREAM_END && zs.total_out < static_cast<uLong>(length)) {
        scratch.setSize(static_cast<int>(zs.total_out));
        wire = WireBody{scratch.data(), static_cast<int>(zs.total_out), true};
    }
    return wire;
}

WireBody compressForWire(const void* data, int length, bool enabled, int threshold, ByteArray& scratch)
{
    FrameDeflater deflater;
    return deflater.compress(data, length, enabled, threshold, scratch);
}

// ---- inflating ------------------------------------------------------------------------------

struct FrameInflater::State {
    z_stream stream;
    bool ready = false;

    State() { std::memset(&stream, 0, sizeof stream); }
    ~State()
    {
        if (ready)
            inflateEnd(&stream);
    }
    bool begin()
    {
        if (!ready) {
            ready = inflateInit(&stream) == Z_OK;
            return ready;
        }
        return inflateReset(&stream) == Z_OK;
    }
};

FrameInflater::FrameInflater() = default;
FrameInflater::~FrameInflater() = default;
FrameInflater::FrameInflater(const FrameInflater&) {}

FrameInflater& FrameInflater::operator=(const FrameInflater&)
{
    return *this;
}

bool FrameInflater::inflate(const uint8_t* data, int length, int limit, ByteArray& out)
{
    out.setSize(0);
    if (!data || length <= 0 || limit < 0)
        return false;
    if (!state_)
        state_ = std::make_unique<State>();
    if (!state_->begin())
        return false;
    z_stream& zs = state_->stream;
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = static_cast<uInt>(length);

    // Room for one byte beyond the limit tells a stream that goes past it from one that
    // ends exactly there.
    const int64_t ceiling = static_cast<int64_t>(limit) + 1;
    int64_t room = std::max<int64_t>(static_cast<int64_t>(length) * 4, out.capacity());
    room = std::min(std::max<int64_t>(room, 64), ceiling);
    bool ok = false;
    try {
        out.setSize(static_cast<int>(room));
        for (;;) {
            const uLong produced = zs.total_out;
            zs.next_out = out.data() + produced;
            zs.avail_out = static_cast<uInt>(room - static_cast<int64_t>(produced));
            int r = ::inflate(&zs, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                ok = static_cast<int64_t>(zs.total_out) <= limit;
                break;
            }
            if (r != Z_OK && r != Z_BUF_ERROR)
                break; // corrupt data, a dictionary we do not have, no memory
            if (zs.avail_out != 0)
                break; // all input taken and the stream has not ended: truncated
            if (room >= ceiling)
                break; // inflates beyond the limit
            room = std::min(room * 2, ceiling);
            out.setSize(static_cast<int>(room));
        }
    } catch (const MemoryException&) {
        ok = false;
    }
    const uLong total = zs.total_out;
    out.setSize(ok ? static_cast<int>(total) : 0);
    return ok;
}

bool inflateBounded(const uint8_t* data, int length, int limit, ByteArray& out)
{
    FrameInflater inflater;
    return inflater.inflate(data, length, limit, out);
}

ByteBufferSource::ByteBufferSource(const void* data, int length, int chunk)
    : data_(static_cast<const uint8_t*>(data)), length_(data && length > 0 ? length : 0), chunk_(chunk)
{
}

int ByteBufferSource::receive(void* buffer, int length, int)
{
    if (length <= 0)
        return 0;
    if (position_ >= length_)
        throw NoConnectionException();
    int n = std::min(length, length_ - position_);
    if (chunk_ > 0)
        n = std::min(n, chunk_);
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

} // namespace orvane
