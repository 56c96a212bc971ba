#pragma once

#include "foundation/String.h"

namespace orvane {

// The call's signalling records: short XML texts that the two voice modules exchange as
// module messages through the server.
//
// Written form (XmlNode's indented form, no declaration, no attributes):
//   <req>CR LF TAB <command>SESSION_REQUEST</command> CR LF </req> CR LF
// for a request; every other record has the root "xml" and, for a decline or a close, a
// "reason" line after the command line.
//
// Reading: any root name is accepted; the first child "command" (any case of the name) is
// taken and its letters a-z upper-cased; a text that does not parse has no command.
class VoiceRecord {
public:
    static constexpr const char* Request = "SESSION_REQUEST";
    static constexpr const char* Accept = "SESSION_ACCEPT";
    static constexpr const char* Decline = "SESSION_DECLINE";
    static constexpr const char* Close = "SESSION_CLOSE";
    static constexpr const char* Failed = "SESSION_FAILED";

    static constexpr const char* BusyReason = "Talking at the moment";
    static constexpr const char* DeclineReason = "Do not want to talk.";
    static constexpr const char* CloseReason = "The user wants to stop talking.";

    // The text of a record; reason NULL leaves the reason line out.
    static String write(const char* command, const char* reason = nullptr);
    // The upper-cased command and the reason (empty when missing) of a received text.
    static VoiceRecord read(const char* text);

    String command;
    String reason;
};

} // namespace orvane
