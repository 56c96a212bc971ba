#include "ui/kit/CMemDC.h"

#include <wx/dcprint.h>
#include <wx/dcps.h>

namespace orvane {

CMemDC::CMemDC(wxDC& target, const wxRect* area, bool copyBack) : target_(target), copyBack_(copyBack)
{
    printing_ = target.IsKindOf(wxCLASSINFO(wxPrinterDC))
#if wxUSE_POSTSCRIPT
                || target.IsKindOf(wxCLASSINFO(wxPostScriptDC))
#endif
        ;
    if (area) {
        rect_ = *area;
    } else {
        wxCoord x, y, w, h;
        target.GetClippingBox(&x, &y, &w, &h);
        rect_ = w > 0 && h > 0 ? wxRect(x, y, w, h) : wxRect(wxPoint(0, 0), target.GetSize());
    }
    if (printing_ || rect_.IsEmpty())
        return;
    bitmap_.Create(rect_.GetWidth(), rect_.GetHeight(), 24);
    memory_.SelectObject(bitmap_);
    // The caller draws with the target's coordinates.
    memory_.SetDeviceOrigin(-rect_.x, -rect_.y);
}

CMemDC::~CMemDC()
{
    if (printing_ || !bitmap_.IsOk())
        return;
    if (copyBack_)
        target_.Blit(rect_.GetPosition(), rect_.GetSize(), &memory_, rect_.GetPosition());
    memory_.SelectObject(wxNullBitmap);
}

} // namespace orvane
