#include "tests/support/PulseAudioFixture.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/CMixerFader.h"
#include "ui/MixerWatch.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

// A mixer control held in memory, for the bounds and channel layouts a sound server does
// not offer (an empty range, a mono line).
class MemoryControl : public MixerControl {
public:
    MemoryControl(MixerLine line, std::vector<long> start, long minimum, long maximum, long steps)
        : line_(line), minimum_(minimum), maximum_(maximum), steps_(steps), values(std::move(start))
    {
    }
    const String& name() const override { return name_; }
    MixerLine line() const override { return line_; }
    int channelCount() const override { return static_cast<int>(values.size()); }
    long minimum() const override { return minimum_; }
    long maximum() const override { return maximum_; }
    long steps() const override { return steps_; }
    bool read(std::vector<long>& out) override
    {
        out = values;
        return true;
    }
    bool write(const std::vector<long>& in) override
    {
        values = in;
        ++writes;
        return true;
    }

private:
    String name_ = "Master";
    MixerLine line_;
    long minimum_;
    long maximum_;
    long steps_;

public:
    std::vector<long> values;
    int writes = 0;
};

class MemoryMixer : public AudioMixer {
public:
    MixerControl* control(MixerLine line) override
    {
        return line == MixerLine::Speakers ? speakers.get() : microphone.get();
    }
    std::vector<pollfd> pollDescriptors() override { return {}; }
    std::vector<MixerControl*> handleEvents() override
    {
        std::vector<MixerControl*> out;
        out.swap(pending);
        return out;
    }
    std::unique_ptr<MemoryControl> speakers;
    std::unique_ptr<MemoryControl> microphone;
    std::vector<MixerControl*> pending;
};

class MixerFader : public ::testing::Test {
protected:
    MixerFader()
    {
        frame = new wxFrame(nullptr, wxID_ANY, "fader");
        panel = new wxPanel(frame);
        CMixerFader::failureHook = [this](const char*, const String& text) { failures.push_back(text.c_str()); };
    }
    ~MixerFader() override
    {
        CMixerFader::failureHook = nullptr;
        frame->Destroy();
    }

    CMixerFader& fader(long style = wxSL_HORIZONTAL)
    {
        return *new CMixerFader(panel, wxID_ANY, wxPoint(0, 0), style & wxSL_VERTICAL ? wxSize(24, 110) : wxSize(110, 24),
                                style);
    }
    // A memory mixer with a speakers control of the values, behind a watch.
    std::shared_ptr<MixerWatch> memoryMixer(std::vector<long> values, long minimum = 0, long maximum = 65535,
                                            long steps = 65535)
    {
        auto mixer = std::make_unique<MemoryMixer>();
        mixer->speakers = std::make_unique<MemoryControl>(MixerLine::Speakers, std::move(values), minimum, maximum, steps);
        memory = mixer.get();
        return std::make_shared<MixerWatch>(std::move(mixer));
    }

    wxFrame* frame;
    wxPanel* panel;
    MemoryMixer* memory = nullptr;
    std::vector<std::string> failures;
};

} // namespace

TEST_F(MixerFader, WithoutAMixerOrItsLineTheFaderStaysDisabledAndSaysWhy)
{
    CMixerFader& noMixer = fader();
    EXPECT_FALSE(noMixer.Init(nullptr, MixerLine::Speakers, CMixerFader::Main));
    EXPECT_FALSE(noMixer.Init(std::make_shared<MixerWatch>(nullptr), MixerLine::Speakers, CMixerFader::Main));
    EXPECT_FALSE(noMixer.IsEnabled());

    auto watch = memoryMixer({100, 100});
    CMixerFader& noLine = fader();
    EXPECT_FALSE(noLine.Init(watch, MixerLine::Microphone, CMixerFader::Main));
    EXPECT_FALSE(noLine.IsEnabled());
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "No mixer device present",
                            "No mixer device present",
                            "Warning: the source line \nMIXERLINE_COMPONENTTYPE_SRC_MICROPHONE\n not found.\n\n"
                            "(Associated to Destination line \nMIXERLINE_COMPONENTTYPE_DST_WAVEIN)",
                        }));
}

TEST_F(MixerFader, AnEmptyRangeOrNoStepsLeavesTheFaderDisabledInsteadOfDividingByZero)
{
    struct Case {
        long minimum, maximum, steps;
    };
    for (const Case& c : {Case{0, 0, 10}, Case{50, 50, 0}, Case{0, 100, 0}, Case{100, 0, 10}}) {
        SCOPED_TRACE(std::to_string(c.minimum) + ".." + std::to_string(c.maximum) + " in " + std::to_string(c.steps));
        CMixerFader& f = fader();
        auto watch = memoryMixer({0, 0}, c.minimum, c.maximum, c.steps);
        EXPECT_FALSE(f.Init(watch, MixerLine::Speakers, CMixerFader::Main));
        EXPECT_FALSE(f.IsEnabled());
        EXPECT_FALSE(f.isBound());
        sendKey(f, WXK_END);
        EXPECT_EQ(memory->speakers->writes, 0);
    }
    // More steps than the range holds would make each step worth nothing: one unit a step.
    CMixerFader& f = fader();
    ASSERT_TRUE(f.Init(memoryMixer({30, 30}, 0, 50, 100), MixerLine::Speakers, CMixerFader::Main));
    EXPECT_EQ(f.steps(), 50);
    EXPECT_EQ(f.stepValue(), 1);
    EXPECT_EQ(f.GetValue(), 30);
}

TEST_F(MixerFader, AMonoLineWorksOnlyAsMain)
{
    for (int subType : {CMixerFader::Left, CMixerFader::Right, CMixerFader::Balance}) {
        SCOPED_TRACE(subType);
        failures.clear();
        CMixerFader& f = fader();
        EXPECT_FALSE(f.Init(memoryMixer({1000}), MixerLine::Speakers, subType));
        EXPECT_FALSE(f.IsEnabled());
        ASSERT_EQ(failures.size(), 1u);
        EXPECT_EQ(failures[0], "Only one channel available on this line. Use Fader type MAIN only.\nWindows control "
                               "will be disabled.\n\nItem: Master.\n\n( Line: MIXERLINE_COMPONENTTYPE_DST_SPEAKERS )");
    }
    CMixerFader& main = fader();
    ASSERT_TRUE(main.Init(memoryMixer({6553}, 0, 65535, 10), MixerLine::Speakers, CMixerFader::Main));
    EXPECT_TRUE(main.IsEnabled());
    EXPECT_EQ(main.GetValue(), 1);  // 6553 / 6553
    sendKey(main, WXK_END);
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{65530}));
}

TEST_F(MixerFader, WrongSubTypesAreRefused)
{
    for (int subType : {-1, 4}) {
        CMixerFader& f = fader();
        EXPECT_FALSE(f.Init(memoryMixer({1, 1}), MixerLine::Speakers, subType));
        EXPECT_FALSE(f.IsEnabled());
    }
    EXPECT_EQ(failures, (std::vector<std::string>{"Wrong sub-type for a fader control: -1",
                                                  "Wrong sub-type for a fader control: 4"}));
}

TEST_F(MixerFader, PositionsFollowTheValuesBySubTypeAndStandUpsideDownWhenVertical)
{
    // 100 steps of 10 units; left 300, right 600: balance 0.5.
    struct Case {
        int subType;
        long style;
        int position;
    };
    const Case cases[] = {
        {CMixerFader::Left, wxSL_HORIZONTAL, 30},  {CMixerFader::Right, wxSL_HORIZONTAL, 60},
        {CMixerFader::Main, wxSL_HORIZONTAL, 60},  {CMixerFader::Balance, wxSL_HORIZONTAL, 75},
        {CMixerFader::Main, wxSL_VERTICAL, 40},    {CMixerFader::Left, wxSL_VERTICAL, 70},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.subType) + (c.style & wxSL_VERTICAL ? " vertical" : " horizontal"));
        CMixerFader& f = fader(c.style);
        ASSERT_TRUE(f.Init(memoryMixer({300, 600}, 0, 1000, 100), MixerLine::Speakers, c.subType));
        EXPECT_EQ(f.GetValue(), c.position);
        EXPECT_DOUBLE_EQ(f.balance(), 0.5);
    }
}

TEST_F(MixerFader, MovesKeepTheBalanceOrSetItAndChangeNoticesMoveTheSlider)
{
    CMixerFader& main = fader();
    auto watch = memoryMixer({300, 600}, 0, 1000, 100);
    ASSERT_TRUE(main.Init(watch, MixerLine::Speakers, CMixerFader::Main));
    sendKey(main, WXK_END);
    // Balance 0.5: the right channel takes the move, the left half of it.
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{500, 1000}));
    sendKey(main, WXK_HOME);
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{0, 0}));
    // At silence the balance is kept for the way back up.
    sendKey(main, WXK_END);
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{500, 1000}));

    CMixerFader& balance = fader();
    ASSERT_TRUE(balance.Init(watch, MixerLine::Speakers, CMixerFader::Balance));
    EXPECT_EQ(balance.GetValue(), 75);
    sendKey(balance, WXK_HOME);  // all the way left: the right channel silent
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{1000, 0}));

    // A change made elsewhere, noticed: the MAIN fader shows the louder channel.
    memory->speakers->values = {200, 100};
    memory->pending.push_back(memory->speakers.get());
    watch->dispatch();
    EXPECT_EQ(main.GetValue(), 20);
    EXPECT_EQ(balance.GetValue(), 25);
}

// The mixer is written on the page, thumb-track and end-track notices only: a drag writes
// once for each step of the thumb and once at its end, however many motion events it took,
// and line steps and Home/End wait for the end of their move.
TEST_F(MixerFader, ADragWritesOncePerNoticeAndKeysWriteAtTheEndOfTheirMove)
{
    frame->Show();  // so that the fader can capture the mouse
    CMixerFader& main = fader();
    ASSERT_TRUE(main.Init(memoryMixer({500, 500}, 0, 1000, 100), MixerLine::Speakers, CMixerFader::Main));
    int tracks = 0;
    main.Bind(wxEVT_SCROLL_THUMBTRACK, [&tracks](wxScrollEvent& e) {
        ++tracks;
        e.Skip();
    });
    const wxRect channel = main.channelRect();
    const wxRect thumb = main.thumbRect();
    const int y = thumb.GetTop() + thumb.GetHeight() / 2;
    sendMouse(main, wxEVT_LEFT_DOWN, thumb.GetLeft() + thumb.GetWidth() / 2, y, true);
    int motions = 0;
    // Forty motion events over ten positions: each position is reached four times.
    for (int step = 1; step <= 10; ++step)
        for (int again = 0; again < 4; ++again, ++motions)
            sendMouse(main, wxEVT_MOTION, channel.GetLeft() + 50 + step, y, true);
    ASSERT_GT(motions, 10);
    EXPECT_EQ(tracks, 10);
    EXPECT_EQ(memory->speakers->writes, 10) << "one write per thumb-track notice";
    sendMouse(main, wxEVT_LEFT_UP, channel.GetLeft() + 60, y, false);
    EXPECT_EQ(memory->speakers->writes, 11) << "and one for the end of the drag";
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{600, 600}));

    // A line step and the jumps to the ends write once each, at the end of their move.
    for (const int code : {WXK_RIGHT, WXK_END, WXK_HOME}) {
        const int before = memory->speakers->writes;
        sendKey(main, code);
        EXPECT_EQ(memory->speakers->writes, before + 1) << code;
    }
    EXPECT_EQ(memory->speakers->values, (std::vector<long>{0, 0}));
}

// The real mixer: ALSA's "pulse" device over a private PulseAudio, moved by amixer.
TEST_F(MixerFader, TheFaderMovesTheSystemMixerAndFollowsChangesMadeOutsideTheProgram)
{
    PulseAudioFixture pulse;
    ASSERT_TRUE(pulse.ready());
    String error;
    auto watch = std::make_shared<MixerWatch>(AudioMixer::open(AudioDeviceChoice::parse("alsa:pulse"), &error));
    ASSERT_TRUE(watch->mixer()) << error.c_str();
    frame->Show();

    CMixerFader& speakers = fader();
    CMixerFader& microphone = fader();
    ASSERT_TRUE(speakers.Init(watch, MixerLine::Speakers, CMixerFader::Main));
    ASSERT_TRUE(microphone.Init(watch, MixerLine::Microphone, CMixerFader::Main));
    EXPECT_TRUE(speakers.IsEnabled());
    EXPECT_EQ(speakers.GetMax(), 65536);
    EXPECT_EQ(speakers.GetValue(), 65536);

    // Balance 0.5 made outside: the fader's move keeps the left channel at half the right.
    PulseAudioFixture::amixer({"sset", "Master", "50%,100%"});
    ASSERT_TRUE(waitUntil([&] { return speakers.balance() == 0.5; }));
    sendKey(speakers, WXK_PAGEUP);  // a tenth down
    EXPECT_EQ(PulseAudioFixture::amixerValues("Master"), (std::vector<long>{29491, 58983}));

    PulseAudioFixture::amixer({"sset", "Master", "30%"});
    EXPECT_TRUE(waitUntil([&] { return speakers.GetValue() == 19661; })) << speakers.GetValue();
    PulseAudioFixture::amixer({"sset", "Capture", "20%"});
    EXPECT_TRUE(waitUntil([&] { return microphone.GetValue() == 13107; })) << microphone.GetValue();

    sendKey(microphone, WXK_HOME);
    EXPECT_EQ(PulseAudioFixture::amixerValues("Capture"), (std::vector<long>{0, 0}));
}
