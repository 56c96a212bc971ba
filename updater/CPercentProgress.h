#pragma once

#include <wx/control.h>

#include <cstdint>

namespace orvane {

// A progress bar that writes its percentage ("%d%%") centred on itself, with settable bar,
// background and text colours given as 0x00BBGGRR values. Paints from its state only.
class CPercentProgress : public wxControl {
public:
    CPercentProgress(wxWindow* parent, wxWindowID id);

    void SetRange(int64_t lower, int64_t upper);
    void SetPos(int64_t position);
    void OffsetPos(int64_t delta) { SetPos(position_ + delta); }
    int64_t GetPos() const { return position_; }
    void SetBarColour(uint32_t bgr);
    void SetBkColour(uint32_t bgr);
    void SetTextColour(uint32_t bgr);
    int Percent() const;

protected:
    wxSize DoGetBestSize() const override;

private:
    void OnPaint(wxPaintEvent& event);

    int64_t lower_ = 0;
    int64_t upper_ = 100;
    int64_t position_ = 0;
    wxColour bar_;
    wxColour background_;
    wxColour text_;
};

} // namespace orvane
