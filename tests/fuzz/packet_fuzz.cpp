// Feeds arbitrary bytes to the peer links' frame reader, cut into arrivals of a size the
// input chooses: every frame either gives its body within the cap or is refused, and no
// length the input announces is allocated before it is checked.
#include "core/channels/Packet.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace orvane;

namespace {

constexpr int FuzzCap = 256 * 1024;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    ByteBufferSource source(data + 1, static_cast<int>(size - 1), 1 + data[0] % 32);
    Packet packet(0);
    packet.maxBodyLength = FuzzCap;
    packet.setSource(&source);
    ByteArray body;
    for (;;) {
        try {
            packet.read(body);
        } catch (const Packet::FormatException&) {
            continue;
        } catch (const Exception&) {
            break;
        }
        if (body.count() > FuzzCap)
            std::abort();
    }
    return 0;
}
