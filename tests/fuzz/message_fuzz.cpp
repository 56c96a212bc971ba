// Feeds arbitrary bytes to the frame reader, cut into arrivals of a size the input chooses.
// Every frame that comes out must give its body (or refuse it) within the cap, and must
// survive being built again and read back with the same header and body.
#include "core/Message.h"

#include "foundation/XmlNode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace orvane;

namespace {

// Small enough that inflating to it stays fast, large enough for real frames.
constexpr int FuzzCap = 256 * 1024;

void checkRoundTrip(const Message& frame, const ByteArray& body)
{
    if (body.count() == 0)
        return; // an empty body builds no frame
    Message built;
    if (!built.build(frame.type, frame.recipientId, frame.recipientConnection, frame.senderId,
                     frame.senderConnection, body.data(), body.count()))
        std::abort();
    ByteBufferSource source(built.outgoingData(), built.outgoingLength());
    Message back;
    back.maxBodyLength = FuzzCap;
    back.setSource(&source);
    back.read();
    ByteArray again;
    if (!back.getBody(again) || again.count() != body.count() ||
        std::memcmp(again.data(), body.data(), static_cast<size_t>(body.count())) != 0)
        std::abort();
    if (back.type != frame.type || back.recipientId != frame.recipientId ||
        back.senderId != frame.senderId || back.recipientConnection != frame.recipientConnection ||
        back.senderConnection != frame.senderConnection || source.remaining() != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int chunk = data[0] % 32; // 0: everything at once
    ByteBufferSource source(data + 1, static_cast<int>(size - 1), chunk);
    Message reader(5);
    reader.maxBodyLength = FuzzCap;
    reader.setSource(&source);
    for (;;) {
        const int roomBefore = reader.getIncoming().capacity();
        try {
            reader.read();
        } catch (const Message::FormatException&) {
            if (reader.getIncoming().capacity() > roomBefore)
                std::abort(); // a refused frame must not have sized a body
            continue;
        } catch (const NoConnectionException&) {
            break;
        }
        if (!reader.isComplete() || reader.getBodyLength() > FuzzCap)
            std::abort();
        ByteArray body;
        bool ok = reader.getBody(body);
        if (body.count() > FuzzCap || (!ok && body.count() != 0))
            std::abort();
        String text;
        reader.getBody(text);
        XmlNode node;
        reader.getBody(node);
        if (ok)
            checkRoundTrip(reader, body);
    }
    return 0;
}
