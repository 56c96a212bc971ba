#pragma once

// A private PulseAudio server for tests that need a real sound server or a real mixer
// without sound hardware: a null sink ("orvane_null") and a null source ("orvane_mic") as
// the defaults, reached through a native-protocol socket in a temporary folder. While the
// fixture lives, PULSE_SERVER points this process (and the programs it starts) at it, so
// ALSA's "pulse" device plays to the sink and its simple mixer controls "Master" and
// "Capture" are the sink's and the source's volumes. ALSA_CONFIG_PATH is cleared for the
// same time: the "pulse" device comes from the system's ALSA configuration.
//
// The server runs in the foreground of its own process, never exits by itself and is
// stopped by the destructor. A missing pulseaudio binary is a test failure naming its
// package.

#include "tests/foundation/TempDirectory.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

class PulseAudioFixture {
public:
    PulseAudioFixture() : alsaConfig_("ALSA_CONFIG_PATH", nullptr), server_("PULSE_SERVER", nullptr)
    {
        binary_ = findPeerBinary({"/usr/bin/pulseaudio"}, "pulseaudio");
        if (binary_.empty())
            return;
        socket_ = dir_ / "native";
        writeBytes(dir_ / "server.pa",
                   "load-module module-null-sink sink_name=orvane_null\n"
                   "load-module module-null-source source_name=orvane_mic\n"
                   "set-default-sink orvane_null\n"
                   "set-default-source orvane_mic\n"
                   "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                       socket_ + "\n");
        ::mkdir((dir_ / "runtime").c_str(), 0700);
        ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
        start();
    }

    ~PulseAudioFixture() { process_.stop(); }

    PulseAudioFixture(const PulseAudioFixture&) = delete;
    PulseAudioFixture& operator=(const PulseAudioFixture&) = delete;

    // The server accepts connections.
    bool ready() const { return ready_; }
    std::string log() const { return readBytes(dir_ / "server.log"); }
    const std::string& socketPath() const { return socket_; }

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
    void start()
    {
        const std::string runtime = dir_ / "runtime";
        // Through env, so that only the server gets its runtime and home folders in the
        // temporary folder and shares nothing with another server on the machine.
        const std::vector<std::string> args = {"/usr/bin/env",
                                               "HOME=" + dir_.path(),
                                               "XDG_RUNTIME_DIR=" + runtime,
                                               "XDG_CONFIG_HOME=" + dir_.path(),
                                               binary_,
                                               "-n",
                                               "--daemonize=no",
                                               "--exit-idle-time=-1",
                                               "--disallow-exit=yes",
                                               "--use-pid-file=no",
                                               "--system=no",
                                               "--disable-shm=yes",
                                               "--log-target=stderr",
                                               "-F",
                                               dir_ / "server.pa"};
        if (!process_.start(args, dir_ / "server.log")) {
            ADD_FAILURE() << "pulseaudio could not start";
            return;
        }
        // The server gives no sign of readiness other than accepting on its socket.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end && process_.running()) {
            if (accepts()) {
                ready_ = true;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "pulseaudio did not come up:\n" << log();
    }

    bool accepts() const
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (socket_.size() >= sizeof address.sun_path) {
            ::close(fd);
            return false;
        }
        std::memcpy(address.sun_path, socket_.c_str(), socket_.size() + 1);
        const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    TempDirectory dir_;
    ScopedEnv alsaConfig_;
    ScopedEnv server_;
    std::string binary_;
    std::string socket_;
    PeerProcess process_;
    bool ready_ = false;
};

} // namespace orvane::testing
