#include "server/ServerFrames.h"

namespace orvane {

void PresenceRecord::writeTo(uint8_t* out) const
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(userId >> (8 * (7 - i)));
    out[8] = status;
    const uint8_t* a = reinterpret_cast<const uint8_t*>(&address);
    for (int i = 0; i < 4; ++i)
        out[9 + i] = a[i];
    out[13] = static_cast<uint8_t>(port >> 8);
    out[14] = static_cast<uint8_t>(port);
    out[15] = 0;
}

void presenceBody(const Array<PresenceRecord>& records, ByteArray& body)
{
    // The count field is 16 bits: a list that would not fit is cut to what it can name.
    int count = records.count();
    if (count > 0xFFFF / PresenceRecord::Size)
        count = 0xFFFF / PresenceRecord::Size;
    const int length = count * PresenceRecord::Size;
    body.setSize(2 + length);
    body[0] = static_cast<uint8_t>(length >> 8);
    body[1] = static_cast<uint8_t>(length);
    for (int i = 0; i < count; ++i)
        records[i].writeTo(body.data() + 2 + i * PresenceRecord::Size);
}

bool readDecimal(const char* text, uint64_t maxValue, uint64_t& value)
{
    if (!text || !*text)
        return false;
    uint64_t number = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(*p - '0');
        if (digit > maxValue || number > (maxValue - digit) / 10)
            return false;
        number = number * 10 + digit;
    }
    value = number;
    return true;
}

bool buildFrame(Message& frame, uint8_t type, uint64_t recipient, uint64_t sender, const uint8_t* body, int length)
{
    return frame.build(type, recipient, 0, sender, 0, body, length);
}

bool buildFrame(Message& frame, uint8_t type, uint64_t recipient, uint64_t sender, const XmlNode& body)
{
    return frame.build(type, recipient, 0, sender, 0, body);
}

} // namespace orvane
