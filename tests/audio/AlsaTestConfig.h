#pragma once

// An ALSA configuration of the test's own, so that the real ALSA library runs without
// sound hardware: ALSA_CONFIG_PATH points at a file in a temporary folder that defines
// "default" and "orvane_test_named" as the `file` plugin over the `null` plugin. What is
// played through them is written, raw, to default.raw and named.raw in that folder.
// "orvane_test_capture" records what the test put in capture.raw (setCaptureInput).
// Nothing else is defined, so every other PCM name fails to open.

#include "tests/foundation/TempDirectory.h"

#include <string>

namespace orvane::testing {

class AlsaTestConfig {
public:
    AlsaTestConfig() : env_("ALSA_CONFIG_PATH", nullptr)
    {
        const std::string text = pcm("default", dir_ / "default.raw") + pcm("orvane_test_named", dir_ / "named.raw") +
                                 "pcm.orvane_test_capture {\n  type file\n  slave.pcm { type null }\n  file \"/dev/null\"\n"
                                 "  infile \"" + dir_ / "capture.raw" + "\"\n  format \"raw\"\n}\n";
        writeBytes(dir_ / "asound.conf", text);
        ::setenv("ALSA_CONFIG_PATH", (dir_ / "asound.conf").c_str(), 1);
    }

    // What the PCM "default" has been given so far.
    std::string defaultOutput() const { return readBytes(dir_ / "default.raw"); }
    std::string namedOutput() const { return readBytes(dir_ / "named.raw"); }
    // What "orvane_test_capture" records, raw.
    void setCaptureInput(const std::string& bytes) const { writeBytes(dir_ / "capture.raw", bytes); }
    const TempDirectory& folder() const { return dir_; }

private:
    static std::string pcm(const std::string& name, const std::string& file)
    {
        return "pcm." + name + " {\n  type file\n  slave.pcm { type null }\n  file \"" + file +
               "\"\n  format \"raw\"\n}\n";
    }

    TempDirectory dir_;
    // Restores the variable (or its absence) when the test ends.
    ScopedEnv env_;
};

} // namespace orvane::testing
