#pragma once

#include "core/Message.h"
#include "foundation/Containers.h"
#include "foundation/String.h"
#include "foundation/XmlNode.h"

#include <cstdint>

namespace orvane {

// The frame types of the server link.
namespace FrameType {
constexpr uint8_t ModuleMessage = 2;
constexpr uint8_t SessionMessage = 3;
constexpr uint8_t Presence = 4;
constexpr uint8_t PresenceList = 6;
constexpr uint8_t Command = 10;
constexpr uint8_t SignIn = 100;
constexpr uint8_t SignedIn = 101;
} // namespace FrameType

// One presence record: 16 bytes, the id (64 bits), the status byte, the IPv4 address
// first byte first, the port, one unused byte; multi-byte fields big-endian.
struct PresenceRecord {
    static constexpr int Size = 16;
    uint64_t userId = 0;
    uint8_t status = 0;
    // In network order, as SocketAddress keeps it.
    uint32_t address = 0;
    uint16_t port = 0;

    void writeTo(uint8_t* out) const;
};

// The body of a presence frame: the byte length of the records (16 bits), then the records.
// A type-4 frame carries one, a type-6 frame any number (bounded by what 16 bits count).
void presenceBody(const Array<PresenceRecord>& records, ByteArray& body);

// A number as the text of a record's field carries it: decimal digits only (no sign, no
// blanks, nothing after them) and at most maxValue. False, with `value` untouched, for
// anything else.
bool readDecimal(const char* text, uint64_t maxValue, uint64_t& value);

// Frames are built with the link's own framing rules (compression of long bodies included);
// a body that builds nothing (empty) yields false.
bool buildFrame(Message& frame, uint8_t type, uint64_t recipient, uint64_t sender, const uint8_t* body,
                int length);
bool buildFrame(Message& frame, uint8_t type, uint64_t recipient, uint64_t sender, const XmlNode& body);

} // namespace orvane
