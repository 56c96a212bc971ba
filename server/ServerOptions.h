#pragma once

#include "foundation/String.h"
#include "server/ServerSettings.h"

namespace orvane {

// The command line of orvane-server, read into settings. False, with a message in
// `error`, for an unknown option, a missing value or a value out of range; `help` is set
// when the usage was asked for.
bool parseServerOptions(int argc, const char* const* argv, ServerSettings& settings, bool& help, String& error);

// The usage text.
const char* serverUsage();

// The line the program prints once it listens, which tests read to find the ports:
// "LISTENING http=ADDRESS:PORT message=ADDRESS:PORT", with " relay=ADDRESS:PORT" after it
// when there is a relay.
String listeningLine(const SocketAddress& http, const SocketAddress& message, const SocketAddress* relay = nullptr);

} // namespace orvane
