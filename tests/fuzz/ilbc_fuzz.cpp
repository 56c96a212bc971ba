// Feeds arbitrary bytes to the iLBC decoder: the first byte picks the frame mode, the
// enhancer and which frames count as lost; the rest is cut into frames. Every sample must
// come out finite and within the 16-bit range.
#include "voice/ilbc/IlbcDecoder.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    orvane::ilbc::Decoder dec((control & 1) ? 20 : 30, (control & 2) != 0);
    const size_t frameBytes = static_cast<size_t>(dec.bytesPerFrame());
    std::vector<float> out(static_cast<size_t>(dec.samplesPerFrame()));
    size_t pos = 1;
    int frame = 0;
    while (pos + frameBytes <= size) {
        // A copy of exactly one frame, so that a read past it is seen by AddressSanitizer.
        const std::vector<uint8_t> bytes(data + pos, data + pos + frameBytes);
        if ((control >> 2) & (1u << (frame % 6)))
            dec.decodeLost(out.data());
        else
            dec.decode(bytes.data(), out.data());
        for (float v : out)
            if (!std::isfinite(v) || v < -32768.0f || v > 32767.0f)
                std::abort();
        pos += frameBytes;
        ++frame;
    }
    return 0;
}
