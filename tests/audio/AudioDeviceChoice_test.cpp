#include "audio/AudioDevice.h"

#include "audio/AlsaAudioDevice.h"
#include "audio/FileAudioDevice.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

using namespace orvane;
using orvane::testing::ScopedEnv;

TEST(AudioDeviceChoice, TheEnvironmentNamesTheBackEnd)
{
    using Kind = AudioDeviceChoice::Kind;
    struct Case {
        const char* value;
        Kind kind;
        const char* described;
    };
    const Case cases[] = {
        {nullptr, Kind::Alsa, "alsa:default"},
        {"", Kind::Alsa, "alsa:default"},
        {"alsa", Kind::Alsa, "alsa:default"},
        {"alsa:plughw:1,0", Kind::Alsa, "alsa:plughw:1,0"},
        {"file:/tmp/sound.wav", Kind::File, "file:/tmp/sound.wav"},
        {"none", Kind::None, "none"},
        // Nothing is guessed: a half-written or unknown value plays nothing.
        {"alsa:", Kind::None, "none"},
        {"file:", Kind::None, "none"},
        {"pulse", Kind::None, "none"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        ScopedEnv env(AudioDeviceChoice::EnvironmentVariable, c.value);
        const AudioDeviceChoice choice = AudioDeviceChoice::fromEnvironment();
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_STREQ(choice.describe().c_str(), c.described);
    }
}

TEST(AudioDeviceChoice, CreatesTheDeviceItNames)
{
    EXPECT_NE(dynamic_cast<AlsaAudioDevice*>(AudioDeviceChoice::parse("alsa").create().get()), nullptr);
    EXPECT_NE(dynamic_cast<FileAudioDevice*>(AudioDeviceChoice::parse("file:/tmp/x.wav").create().get()), nullptr);
    EXPECT_EQ(AudioDeviceChoice::parse("none").create(), nullptr);
}
