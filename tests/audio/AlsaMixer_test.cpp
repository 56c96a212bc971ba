#include "audio/AlsaMixer.h"

#include "tests/support/PulseAudioFixture.h"

#include <gtest/gtest.h>

#include <chrono>

namespace orvane {
namespace {

using testing::PulseAudioFixture;

// Polls the mixer's descriptors until handleEvents reports the control, or the time is up.
bool waitForChange(AudioMixer& mixer, MixerControl* control, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        std::vector<pollfd> fds = mixer.pollDescriptors();
        if (fds.empty())
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(left.count(), 0)));
        for (MixerControl* changed : mixer.handleEvents())
            if (changed == control)
                return true;
    }
    return false;
}

class AlsaMixerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pulse_.ready());
        String error;
        mixer_ = AlsaMixer::open("pulse", &error);
        ASSERT_TRUE(mixer_) << error.c_str();
    }

    PulseAudioFixture pulse_;
    std::unique_ptr<AlsaMixer> mixer_;
};

TEST_F(AlsaMixerTest, FindsMasterForTheSpeakersAndCaptureForTheMicrophone)
{
    for (MixerLine line : {MixerLine::Speakers, MixerLine::Microphone}) {
        SCOPED_TRACE(static_cast<int>(line));
        MixerControl* control = mixer_->control(line);
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->name().c_str(), line == MixerLine::Speakers ? "Master" : "Capture");
        EXPECT_EQ(control->line(), line);
        // The server's sink and source are stereo, on PulseAudio's volume scale.
        EXPECT_EQ(control->channelCount(), 2);
        EXPECT_EQ(control->minimum(), 0);
        EXPECT_EQ(control->maximum(), 65536);
        EXPECT_EQ(control->steps(), 65536);
    }
}

TEST_F(AlsaMixerTest, WrittenValuesReachTheSystemMixerPerChannel)
{
    struct Case {
        MixerLine line;
        const char* element;
    };
    for (const Case& c : {Case{MixerLine::Speakers, "Master"}, Case{MixerLine::Microphone, "Capture"}}) {
        SCOPED_TRACE(c.element);
        MixerControl* control = mixer_->control(c.line);
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(control->write({32768, 16384}));
        EXPECT_EQ(PulseAudioFixture::amixerValues(c.element), (std::vector<long>{32768, 16384}));
        std::vector<long> values;
        ASSERT_TRUE(control->read(values));
        EXPECT_EQ(values, (std::vector<long>{32768, 16384}));
    }
}

TEST_F(AlsaMixerTest, ChangesMadeByAnotherProgramAreNoticedAndRead)
{
    MixerControl* speakers = mixer_->control(MixerLine::Speakers);
    MixerControl* microphone = mixer_->control(MixerLine::Microphone);
    ASSERT_TRUE(speakers && microphone);

    PulseAudioFixture::amixer({"sset", "Master", "30%"});
    ASSERT_TRUE(waitForChange(*mixer_, speakers));
    std::vector<long> values;
    ASSERT_TRUE(speakers->read(values));
    EXPECT_EQ(values, (std::vector<long>{19661, 19661}));

    PulseAudioFixture::amixer({"sset", "Capture", "10%,20%"});
    ASSERT_TRUE(waitForChange(*mixer_, microphone));
    ASSERT_TRUE(microphone->read(values));
    EXPECT_EQ(values, (std::vector<long>{6554, 13107}));
}

TEST(AudioMixerOpen, NoMixerForTheFileAndSilentDevicesNorForAnUnknownAlsaDevice)
{
    for (const char* choice : {"none", "file:/tmp/orvane-mixer-test.wav", "alsa:orvane_no_such_device"}) {
        SCOPED_TRACE(choice);
        String error;
        EXPECT_EQ(AudioMixer::open(AudioDeviceChoice::parse(choice), &error), nullptr);
        EXPECT_FALSE(error.isEmpty());
    }
}

} // namespace
} // namespace orvane
