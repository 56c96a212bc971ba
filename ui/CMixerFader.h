#pragma once

#include "audio/AudioMixer.h"
#include "ui/kit/CFlatSlider.h"

#include <functional>
#include <memory>
#include <vector>

namespace orvane {

class MixerWatch;

// A flat slider bound to one volume control of the system's mixer: it shows the control's
// values and writes the user's moves back, and it follows changes made elsewhere (another
// program, the system's volume panel) through the mixer's change notices.
//
// The slider runs from 0 to the control's step count; a step is worth range / steps mixer
// units. Four kinds of fader: the left or the right channel alone, MAIN (the louder channel,
// the balance between the two kept as it is) and the balance itself. A vertical fader has
// its maximum at the top.
//
// The mixer is written on the slider's page, thumb-track and end-track notices only: a
// drag writes once for each step of the thumb, and line steps and Home/End are written by
// the end-track notice that closes their move, never once per input event.
//
// The fader is disabled from Init until the control's values have been read; a fader
// whose Init failed stays disabled. Every failure is reported to failureHook with the
// operation's name and a text, and to nobody else: the user only sees the disabled slider.
//
// User-interface thread only.
class CMixerFader : public CFlatSlider {
public:
    enum SubType { Left = 0, Right = 1, Main = 2, Balance = 3 };

    CMixerFader(wxWindow* parent, wxWindowID id, const wxPoint& position = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = wxSL_HORIZONTAL);
    ~CMixerFader() override;

    // Binds the fader to the line's volume control of the watched mixer (NULL or an empty
    // watch: no mixer). False, with the slider disabled, when there is no mixer, the line
    // has no volume control, the control's range or step count is empty, the sub-type is
    // not one of the four, or a line of one value is asked for anything but MAIN.
    bool Init(std::shared_ptr<MixerWatch> mixer, MixerLine line, int subType);

    // Mixer values -> slider position.
    void SetHVSliderPos();
    // Slider position -> mixer values, written to the mixer.
    void SetFaderValue();
    // A change notice of the mixer: re-read and move when it is this fader's control.
    void OnMixerControlChange(AudioMixer& mixer, MixerControl& control);

    bool isBound() const { return control_ != nullptr; }
    int steps() const { return steps_; }
    long stepValue() const { return stepValue_; }
    double balance() const { return balance_; }
    // The values the mixer last gave, or that were last written.
    const std::vector<long>& values() const { return values_; }

    // Where failures go; nowhere by default.
    using FailureHook = std::function<void(const char* operation, const String& text)>;
    static FailureHook failureHook;

private:
    void fail(const char* operation, const String& text);
    // Drops the control and the values, leaving the slider disabled.
    void close();
    // The scroll notices that write: page moves, each step of a drag, and the end of a move
    // (which applies line steps and Home/End, whose own notices do not write).
    void onScroll(wxScrollEvent& event);
    // The larger of the first two values (or the only one), relative to the minimum.
    long louder() const;

    std::shared_ptr<MixerWatch> watch_;
    int subscription_ = 0;
    MixerControl* control_ = nullptr;
    long range_ = 0;
    long stepValue_ = 0;
    int steps_ = 0;
    int subType_ = Main;
    double balance_ = 0.0;
    std::vector<long> values_;
};

} // namespace orvane
