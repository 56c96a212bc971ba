#pragma once

// A PulseAudio server of the test's own, so that the ALSA back-end plays and records in
// real time without sound hardware: two null sinks, "speaker" (what the program plays)
// and "mic" (what the test plays for the program to record, heard on "mic.monitor"). The
// server runs as a per-user server in a temporary folder, on a socket of its own, with no
// configuration but its script; the environment points ALSA's "pulse" PCM at it
// (PULSE_SERVER, PULSE_SINK, PULSE_SOURCE) for as long as the object lives. pacat plays
// into the mic and records the speaker, as a second, independent client, always on this
// server (a test may run several, one per client program).

#include "tests/foundation/TempDirectory.h"
#include "tests/support/LineLog.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

class PulseServer {
public:
    static constexpr int Rate = 8000;

    // `devices`: the script lines that make the sinks and sources; by default the two null
    // sinks above. `sink` and `source` go to the environment as the clients' defaults
    // (PULSE_SINK, PULSE_SOURCE); empty leaves the server's own defaults (a test with other
    // devices may also set them per client).
    explicit PulseServer(const std::string& devices = "load-module module-null-sink sink_name=speaker rate=8000 "
                                                      "channels=1\n"
                                                      "load-module module-null-sink sink_name=mic rate=8000 "
                                                      "channels=1\n",
                         const std::string& sink = "speaker", const std::string& source = "mic.monitor")
    {
        const std::string script =
            "load-module module-native-protocol-unix auth-anonymous=1 socket=" + socket() + "\n" + devices;
        writeBytes(dir_ / "server.pa", script);
        writeBytes(dir_ / "client.conf", "autospawn = no\n");
        ::mkdir((dir_ / "state").c_str(), 0700);
        env("XDG_RUNTIME_DIR", dir_.path());
        env("PULSE_RUNTIME_PATH", dir_.path());
        env("PULSE_STATE_PATH", dir_ / "state");
        env("PULSE_CLIENTCONFIG", dir_ / "client.conf");
        env("PULSE_SERVER", "unix:" + socket());
        if (!sink.empty())
            env("PULSE_SINK", sink);
        if (!source.empty())
            env("PULSE_SOURCE", source);
        source_ = source;
        sink_ = sink;
        // The system's own ALSA configuration, where "pulse" is defined.
        envs_.push_back(std::make_unique<ScopedEnv>("ALSA_CONFIG_PATH", nullptr));
    }
    ~PulseServer() { stop(); }
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the server and waits until it says it is ready; false (with a failure that
    // names the package) when it cannot.
    bool start()
    {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        // Root runs it too: tests run as root, and this is a server for one test only.
        const int rc = process_.spawn({"/usr/bin/pulseaudio", "--daemonize=no", "--system=false", "-n",
                                       "--file=" + dir_ / "server.pa", "--exit-idle-time=-1",
                                       "--use-pid-file=false", "--disallow-module-loading=false",
                                       "--log-target=stderr", "--log-level=info", "--realtime=false",
                                       "--high-priority=false"},
                                      actions);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (rc != 0) {
            ::close(out[0]);
            ADD_FAILURE() << "cannot start /usr/bin/pulseaudio (package pulseaudio): " << std::strerror(rc);
            return false;
        }
        reader_ = std::thread([this, fd = out[0]] { readLines(fd); });
        const bool ready =
            log_.waitUntil([](const std::string& l) { return l.find("Daemon startup complete") != std::string::npos; },
                           20000) >= 0;
        if (!ready) {
            ADD_FAILURE() << "pulseaudio did not start:\n" << log_.dump();
            return false;
        }
        return keepSourceLively();
    }

    // Ends the server at once, as an unplugged device would end.
    void kill() { ::kill(process_.pid(), SIGKILL); }

    void stop()
    {
        keeper_.stop();
        sinkKeeper_.stop();
        process_.stop();
        if (reader_.joinable())
            reader_.join();
    }

    // Plays raw 16-bit samples into the mic sink through pacat and waits until they have
    // been played.
    bool playIntoMic(const std::string& samples) { return playInto("mic", samples); }

    // Starts recording what the speaker plays, into a file, until stopSpeakerRecording.
    bool recordSpeaker() { return record(recorder_, "speaker"); }
    std::string stopSpeakerRecording()
    {
        recorder_.stop();
        return readBytes(dir_ / "speaker.raw");
    }
    // The same for what the mic is given: the reference a measured delay starts from.
    bool recordMic() { return record(micRecorder_, "mic"); }
    std::string stopMicRecording()
    {
        micRecorder_.stop();
        return readBytes(dir_ / "mic.raw.heard");
    }

    // Records `device` (a source) into `file` through pacat, the channels of `channelMap`
    // (pacat's names, comma-separated) interleaved, until the recorder is stopped.
    bool recordSource(PeerProcess& recorder, const std::string& device, const std::string& channelMap,
                      const std::string& file)
    {
        const long channels = 1 + std::count(channelMap.begin(), channelMap.end(), ',');
        if (!recorder.start({"/usr/bin/pacat", "--server=unix:" + socket(), "--record", "--raw", "--device=" + device,
                             "--rate=8000", "--channels=" + std::to_string(channels), "--channel-map=" + channelMap,
                             "--format=s16le", "--latency-msec=10", file},
                            file + ".log")) {
            ADD_FAILURE() << "cannot start pacat (package pulseaudio-utils)";
            return false;
        }
        return true;
    }
    // Plays raw mono 16-bit samples into `sink` and waits until they have been played.
    bool playInto(const std::string& sink, const std::string& samples)
    {
        const std::string file = dir_ / (sink + ".play.raw");
        writeBytes(file, samples);
        const CommandResult r = runCommand({"pacat", "--server=unix:" + socket(), "--playback", "--raw",
                                            "--device=" + sink, "--rate=8000", "--channels=1", "--format=s16le",
                                            "--latency-msec=100", file});
        if (r.status != 0)
            ADD_FAILURE() << "pacat (package pulseaudio-utils) failed: " << r.output;
        return r.status == 0;
    }

    std::string log() const { return log_.dump(); }
    const TempDirectory& folder() const { return dir_; }

private:
    std::string socket() const { return dir_ / "native"; }

    // A null sink that no stream asks for low latency renders in blocks of up to two
    // seconds, and a recording of its monitor that starts then waits for the block in
    // progress: a sound card's source starts within a period. A listener that stays for
    // the server's life keeps the blocks short, so that the program's capture starts as
    // it would on hardware. The speaker's sink gets one too: a sound card plays what it
    // is given as it comes, where a sink rendering in blocks would take nothing for
    // seconds and then all at once.
    bool keepSourceLively()
    {
        if (!source_.empty() && !keep(keeper_, source_, "keeper.log"))
            return false;
        if (!sink_.empty() && sink_ + ".monitor" != source_ && !keep(sinkKeeper_, sink_ + ".monitor", "sink-keeper.log"))
            return false;
        return true;
    }
    bool keep(PeerProcess& keeper, const std::string& source, const char* log)
    {
        if (!keeper.start({"/usr/bin/pacat", "--server=unix:" + socket(), "--record", "--raw", "--device=" + source,
                           "--rate=8000", "--channels=1", "--format=s16le", "--latency-msec=30", "/dev/null"},
                          dir_ / log)) {
            ADD_FAILURE() << "cannot start pacat (package pulseaudio-utils)";
            return false;
        }
        return true;
    }
    bool record(PeerProcess& recorder, const std::string& sink)
    {
        const std::string file = sink == "mic" ? dir_ / "mic.raw.heard" : dir_ / (sink + ".raw");
        return recordSource(recorder, sink + ".monitor", "mono", file);
    }
    void env(const char* name, const std::string& value)
    {
        envs_.push_back(std::make_unique<ScopedEnv>(name, value.c_str()));
    }

    void readLines(int fd)
    {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            log_.addText(pending, buffer, static_cast<size_t>(n));
        }
        ::close(fd);
    }

    TempDirectory dir_;
    std::vector<std::unique_ptr<ScopedEnv>> envs_;
    std::string source_;
    std::string sink_;
    PeerProcess process_;
    PeerProcess keeper_;
    PeerProcess sinkKeeper_;
    PeerProcess recorder_;
    PeerProcess micRecorder_;
    LineLog log_;
    std::thread reader_;
};

} // namespace orvane::testing
