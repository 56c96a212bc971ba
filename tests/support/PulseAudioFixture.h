#pragma once

// A private PulseAudio server for tests that need a real sound server or a real mixer
// without sound hardware: a null sink ("orvane_null") and a null source ("orvane_mic") as
// the defaults, reached through a native-protocol socket in a temporary folder. While the
// fixture lives, PULSE_SERVER points this process (and the programs it starts) at it, so
// ALSA's "pulse" device plays to the sink and its simple mixer controls "Master" and
// "Capture" are the sink's and the source's volumes. ALSA_CONFIG_PATH is cleared for the
// same time: the "pulse" device comes from the system's ALSA configuration.
//
// The server is a PulseServer with these devices; the destructor stops it. A missing
// pulseaudio binary is a test failure naming its package.

#include "tests/support/PeerProcess.h"
#include "tests/support/PulseServer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvane::testing {

class PulseAudioFixture {
public:
    PulseAudioFixture()
        : server_("load-module module-null-sink sink_name=orvane_null\n"
                  "load-module module-null-source source_name=orvane_mic\n"
                  "set-default-sink orvane_null\n"
                  "set-default-source orvane_mic\n",
                  "", "")
    {
        ready_ = server_.start();
    }

    PulseAudioFixture(const PulseAudioFixture&) = delete;
    PulseAudioFixture& operator=(const PulseAudioFixture&) = delete;

    // The server accepts connections.
    bool ready() const { return ready_; }
    std::string log() const { return server_.log(); }

    // amixer on ALSA's "pulse" device with the arguments; the command's output, or "" (and
    // a failure naming the package) when amixer fails.
    static std::string amixer(const std::vector<std::string>& args)
    {
        if (findPeerBinary({"/usr/bin/amixer"}, "alsa-utils").empty())
            return std::string();
        std::vector<std::string> command = {"amixer", "-D", "pulse"};
        command.insert(command.end(), args.begin(), args.end());
        const CommandResult result = runCommand(command);
        if (result.status != 0) {
            ADD_FAILURE() << "amixer failed: " << result.output;
            return std::string();
        }
        return result.output;
    }

    // The values amixer reports for the simple control, one per channel in its order
    // ("Front Left: Playback 19661 [30%] [on]" gives 19661).
    static std::vector<long> amixerValues(const std::string& control)
    {
        const std::string text = amixer({"sget", control});
        std::vector<long> values;
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find('\n', at);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            // Only the channel lines: "  Front Left: Playback 19661 [30%] [on]".
            const size_t first = line.find_first_not_of(' ');
            const size_t colon = line.find(':');
            if (first == std::string::npos || line.compare(first, 6, "Front ") != 0 || colon == std::string::npos)
                continue;
            const size_t number = line.find_first_of("0123456789", colon);
            if (number != std::string::npos)
                values.push_back(std::stol(line.substr(number)));
        }
        return values;
    }

private:
    PulseServer server_;
    bool ready_ = false;
};

} // namespace orvane::testing
