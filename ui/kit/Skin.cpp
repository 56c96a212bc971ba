#include "ui/kit/Skin.h"

#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"

#include <wx/dc.h>
#include <wx/window.h>

namespace orvane {

wxColour colourOf(ColorRef color)
{
    return wxColour(static_cast<unsigned char>(color & 0xff), static_cast<unsigned char>((color >> 8) & 0xff),
                    static_cast<unsigned char>((color >> 16) & 0xff));
}

ColorRef colorRefOf(const wxColour& colour)
{
    return static_cast<ColorRef>(colour.Red()) | static_cast<ColorRef>(colour.Green()) << 8 |
           static_cast<ColorRef>(colour.Blue()) << 16;
}

ColorRef systemColor(wxSystemColour role)
{
    return colorRefOf(wxSystemSettings::GetColour(role));
}

ColorRef Skin::readColor(const XmlNode* element)
{
    if (!element)
        return 0;
    auto component = [element](const char* name) {
        const XmlNode* child = element->getChild(name);
        return child ? static_cast<ColorRef>(static_cast<uint32_t>(parseInt(child->value.c_str())) & 0xff) : 0u;
    };
    return component("red") | component("green") << 8 | component("blue") << 16;
}

void Skin::load(const XmlNode& skin)
{
    menuSelection_ = readColor(skin.getChild("menu_selection_color"));
    menuBar_ = readColor(skin.getChild("menu_bar_color"));
    text_ = readColor(skin.getChild("text_color"));
    captionText_ = readColor(skin.getChild("caption_text_color"));
    background_ = readColor(skin.getChild("background_color"));
    backgroundLight_ = readColor(skin.getChild("background_color_light"));
    foreground_ = readColor(skin.getChild("foreground_color"));
    progressBarBack_ = readColor(skin.getChild("progressbar_color_back"));
    progressBar_ = readColor(skin.getChild("progressbar_color_progress"));
}

void Skin::fill(WindowHandle window, DeviceContextHandle dc, ColorRef color)
{
    auto* w = static_cast<wxWindow*>(window);
    auto* d = static_cast<wxDC*>(dc);
    if (!w || !d)
        return;
    const wxColour colour = colourOf(color);
    d->SetBackground(wxBrush(colour));
    d->SetTextBackground(colour);
    // The brush alone: an outline would be drawn astride the edge and blend the corners.
    d->SetPen(*wxTRANSPARENT_PEN);
    d->SetBrush(wxBrush(colour));
    const wxSize size = w->GetClientSize();
    d->DrawRectangle(0, 0, size.GetWidth(), size.GetHeight());
}

void Skin::paintBackground(WindowHandle window, DeviceContextHandle dc)
{
    fill(window, dc, background_);
}

void Skin::paintBackgroundLight(WindowHandle window, DeviceContextHandle dc)
{
    fill(window, dc, backgroundLight_);
}

} // namespace orvane
