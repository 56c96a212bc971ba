#include "ui/CMixerFader.h"

#include "ui/MixerWatch.h"

#include <algorithm>
#include <climits>

namespace orvane {

namespace {

// The mixer lines under the names the program's messages have always given them.
const char* destinationName(MixerLine line)
{
    return line == MixerLine::Speakers ? "MIXERLINE_COMPONENTTYPE_DST_SPEAKERS" : "MIXERLINE_COMPONENTTYPE_DST_WAVEIN";
}

String lineNotFound(MixerLine line)
{
    String text;
    if (line == MixerLine::Speakers)
        text.format("Warning: the destination line \n%s\nwas not found.", destinationName(line));
    else
        text.format("Warning: the source line \n%s\n not found.\n\n(Associated to Destination line \n%s)",
                    "MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE", destinationName(line));
    return text;
}

} // namespace

CMixerFader::FailureHook CMixerFader::failureHook;

CMixerFader::CMixerFader(wxWindow* parent, wxWindowID id, const wxPoint& position, const wxSize& size, long style)
    : CFlatSlider(parent, id, 0, 0, 100, position, size, style)
{
    Disable();
    for (const wxEventTypeTag<wxScrollEvent>& notice :
         {wxEVT_SCROLL_PAGEUP, wxEVT_SCROLL_PAGEDOWN, wxEVT_SCROLL_THUMBTRACK, wxEVT_SCROLL_CHANGED})
        Bind(notice, &CMixerFader::onScroll, this);
}

CMixerFader::~CMixerFader()
{
    close();
}

void CMixerFader::fail(const char* operation, const String& text)
{
    if (failureHook)
        failureHook(operation, text);
}

void CMixerFader::close()
{
    if (watch_ && subscription_)
        watch_->unsubscribe(subscription_);
    subscription_ = 0;
    watch_.reset();
    control_ = nullptr;
    values_.clear();
}

bool CMixerFader::Init(std::shared_ptr<MixerWatch> mixer, MixerLine line, int subType)
{
    Disable();
    close();
    if (subType == Balance)
        SetValue((GetMin() + GetMax()) / 2);
    if (subType < Left || subType > Balance) {
        String text;
        text.format("Wrong sub-type for a fader control: %d", subType);
        fail("CMixerFader::Init", text);
        return false;
    }
    if (!mixer || !mixer->mixer()) {
        fail("CMixerBase::Init", "No mixer device present");
        return false;
    }
    MixerControl* control = mixer->mixer()->control(line);
    if (!control) {
        fail("CMixerBase::Init", lineNotFound(line));
        return false;
    }
    // Both give a division below: an empty range cannot be moved, and a step count of 0
    // (or one above the range, whose steps would be worth nothing) cannot be shown.
    const long range = control->maximum() - control->minimum();
    const long steps = std::min(control->steps(), range);
    if (range <= 0 || steps <= 0 || steps > INT_MAX) {
        String text;
        text.format("The control %s has an empty range or no steps.", control->name().c_str());
        fail("CMixerFader::Init", text);
        return false;
    }
    if (control->channelCount() < 2 && subType != Main) {
        String text;
        text.format("Only one channel available on this line. Use Fader type MAIN only.\nWindows control will be "
                    "disabled.\n\nItem: %s.\n\n( Line: %s )",
                    control->name().c_str(), destinationName(line));
        fail("CMixerFader::Init", text);
        if (subType == Balance)
            SetValue((GetMin() + GetMax()) / 2);
        return false;
    }
    range_ = range;
    steps_ = static_cast<int>(steps);
    stepValue_ = range / steps;
    subType_ = subType;
    SetRange(0, steps_);
    SetLineSize(std::max(1, steps_ / 100));
    SetPageSize(std::max(1, steps_ / 10));
    watch_ = std::move(mixer);
    control_ = control;
    subscription_ = watch_->subscribe(
        [this](AudioMixer& changedMixer, MixerControl& changed) { OnMixerControlChange(changedMixer, changed); });
    // A failed read leaves the fader bound but disabled until a change notice reads.
    if (control_->read(values_)) {
        Enable();
        SetHVSliderPos();
    }
    return true;
}

long CMixerFader::louder() const
{
    if (values_.empty())
        return 0;
    const long minimum = control_->minimum();
    const long first = values_[0] - minimum;
    return values_.size() < 2 ? first : std::max(first, values_[1] - minimum);
}

void CMixerFader::SetHVSliderPos()
{
    if (!control_ || values_.empty())
        return;
    const long minimum = control_->minimum();
    const long loud = louder();
    if (values_.size() >= 2 && loud > 0)
        balance_ = static_cast<double>((values_[1] - minimum) - (values_[0] - minimum)) / static_cast<double>(loud);
    long position = 0;
    switch (subType_) {
    case Left:
        position = (values_[0] - minimum) / stepValue_;
        break;
    case Right:
        position = (values_[1] - minimum) / stepValue_;
        break;
    case Main:
        position = loud / stepValue_;
        break;
    case Balance:
        if (loud <= 0)
            return;
        position = static_cast<long>((balance_ + 1.0) * steps_ / 2.0);
        break;
    default:
        return;
    }
    position = std::clamp<long>(position, 0, steps_);
    SetValue(static_cast<int>(isVertical() ? steps_ - position : position));
}

void CMixerFader::SetFaderValue()
{
    if (!control_ || values_.empty()) {
        fail("CMixerFader::SetFaderValue", "Error: Did you call Init() first?");
        return;
    }
    const long position = isVertical() ? steps_ - GetValue() : GetValue();
    const double v = static_cast<double>(position) * static_cast<double>(stepValue_);
    const double loud = static_cast<double>(louder());
    const long minimum = control_->minimum();
    std::vector<double> relative(values_.size());
    for (size_t i = 0; i < values_.size(); ++i)
        relative[i] = static_cast<double>(values_[i] - minimum);
    switch (subType_) {
    case Left:
        relative[0] = v;
        break;
    case Right:
        relative[1] = v;
        break;
    case Main:
        if (relative.size() < 2) {
            relative[0] = v;
        } else if (balance_ <= 0) {
            relative[0] = v;
            relative[1] = (balance_ + 1.0) * v;
        } else {
            relative[1] = v;
            relative[0] = (1.0 - balance_) * v;
        }
        break;
    case Balance: {
        const double range = static_cast<double>(range_);
        if (v <= range / 2) {
            relative[1] = 2.0 * v * loud / range;
            relative[0] = loud;
        } else {
            relative[1] = loud;
            relative[0] = 2.0 * (1.0 - v / range) * loud;
        }
        break;
    }
    default:
        return;
    }
    for (size_t i = 0; i < values_.size(); ++i)
        values_[i] = std::clamp(minimum + static_cast<long>(relative[i]), minimum, control_->maximum());
    if (!control_->write(values_))
        fail("CMixerBase::SetControlDetails", "The mixer refused the values.");
}

void CMixerFader::OnMixerControlChange(AudioMixer& mixer, MixerControl& control)
{
    if (!watch_ || watch_->mixer() != &mixer || &control != control_)
        return;
    if (control_->read(values_)) {
        Enable();
        SetHVSliderPos();
    }
}

void CMixerFader::onScroll(wxScrollEvent& event)
{
    if (control_)
        SetFaderValue();
    event.Skip();
}

} // namespace orvane
