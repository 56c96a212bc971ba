#include "voice/VoiceRecord.h"

#include "foundation/XmlNode.h"

#include <cstring>

namespace orvane {

String VoiceRecord::write(const char* command, const char* reason)
{
    // The request alone names its root; the others keep XmlNode's default name.
    XmlNode record(std::strcmp(command, Request) == 0 ? "req" : "xml");
    record.addChild("command", command);
    if (reason)
        record.addChild("reason", reason);
    return record.toString(0, true);
}

VoiceRecord VoiceRecord::read(const char* text)
{
    XmlNode record;
    record.parse(text ? text : "");
    VoiceRecord out;
    out.command = record.childOrEmpty("command")->getValue();
    out.command.toUpper();
    out.reason = record.childOrEmpty("reason")->getValue();
    return out;
}

} // namespace orvane
