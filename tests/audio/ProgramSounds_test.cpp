#include "audio/WavFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace orvane;

// The sounds that the build makes, read back as the player reads them.
TEST(ProgramSounds, EverySoundTheProgramNamesIsMadeAndPlayable)
{
    // The program's notices and call bar, and the module libraries' requests.
    const char* const names[] = {"online.wav", "offline.wav", "warning.wav", "ring.wav",
                                 "answer.wav", "hang.wav",    "video.wav",   "webjoin.wav"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        WavSound sound;
        ASSERT_EQ(loadWavFile((std::string(ORVANE_SOUND_DIR) + "/" + name).c_str(), sound), WavError::None);
        const int64_t ms = sound.format.millisOf(static_cast<int64_t>(sound.frameCount()));
        EXPECT_GE(ms, 100);
        // A notice is short; the ring ends well within the call bar's period of 4 s.
        EXPECT_LE(ms, 2000);
        int peak = 0;
        for (size_t i = 0; i + 1 < sound.samples.size(); i += 2)
            peak = std::max(peak, std::abs(static_cast<int16_t>(sound.samples[i] | sound.samples[i + 1] << 8)));
        EXPECT_GT(peak, 8000) << "audible";
        EXPECT_LT(peak, 32767) << "not clipped";
    }
}

TEST(ProgramSounds, TheProgramFindsItsSoundsBesideIt)
{
    for (const char* name : {"online.wav", "offline.wav", "warning.wav", "ring.wav", "answer.wav", "hang.wav"}) {
        SCOPED_TRACE(name);
        WavSound sound;
        EXPECT_EQ(loadWavFile((std::string(ORVANE_PROGRAM_DIR) + "/sounds/" + name).c_str(), sound), WavError::None);
    }
}
