#include "ui/kit/CTextFont.h"

#include "ui/kit/FontFaces.h"
#include "ui/kit/Skin.h"

#include <wx/dc.h>
#include <wx/gdicmn.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace orvane {

namespace {

// Beyond this a height is a mistake, not a font; the wx font would ask for a glyph cache
// of that size.
constexpr long long LargestHeight = 2048;

wxFontFamily familyOf(uint8_t pitchAndFamily)
{
    switch (pitchAndFamily & 0xf0) {
    case LogFont::FamilyRoman:
        return wxFONTFAMILY_ROMAN;
    case LogFont::FamilySwiss:
        return wxFONTFAMILY_SWISS;
    case LogFont::FamilyModern:
        return wxFONTFAMILY_MODERN;
    case LogFont::FamilyScript:
        return wxFONTFAMILY_SCRIPT;
    case LogFont::FamilyDecorative:
        return wxFONTFAMILY_DECORATIVE;
    default:
        return (pitchAndFamily & 0x03) == LogFont::FixedPitch ? wxFONTFAMILY_TELETYPE : wxFONTFAMILY_DEFAULT;
    }
}

uint8_t pitchAndFamilyOf(const wxFont& font)
{
    const uint8_t pitch = font.IsFixedWidth() ? LogFont::FixedPitch : LogFont::VariablePitch;
    switch (font.GetFamily()) {
    case wxFONTFAMILY_ROMAN:
        return pitch | LogFont::FamilyRoman;
    case wxFONTFAMILY_SWISS:
        return pitch | LogFont::FamilySwiss;
    case wxFONTFAMILY_MODERN:
    case wxFONTFAMILY_TELETYPE:
        return pitch | LogFont::FamilyModern;
    case wxFONTFAMILY_SCRIPT:
        return pitch | LogFont::FamilyScript;
    case wxFONTFAMILY_DECORATIVE:
        return pitch | LogFont::FamilyDecorative;
    default:
        return pitch | LogFont::FamilyDontCare;
    }
}

// The smallest int has no negative; its neighbour stands in.
int negated(int value)
{
    return value == std::numeric_limits<int>::min() ? std::numeric_limits<int>::max() : -value;
}

// Dots per inch of the display, by which text is laid out.
double displayResolution()
{
    const int ppi = wxGetDisplayPPI().GetHeight();
    return ppi > 0 ? ppi : 96.0;
}

} // namespace

CTextFont::CTextFont() : font_(build(description_)) {}

CTextFont::CTextFont(const LogFont& description) : description_(description), font_(build(description_)) {}

wxFont CTextFont::build(const LogFont& description)
{
    const long long height = std::min(LargestHeight, std::abs(static_cast<long long>(description.height)));
    // wx's pixel size is the height of a line (a cell height); a character height is the
    // font's size proper, given in points at the display's resolution.
    wxFontInfo info;
    if (description.height < 0)
        info = wxFontInfo(static_cast<double>(height) * 72.0 / displayResolution());
    else if (description.height > 0)
        info = wxFontInfo(wxSize(0, static_cast<int>(height)));
    info.Family(familyOf(description.pitchAndFamily))
        .Weight(description.weight > 0 ? std::clamp(description.weight, 1, 1000) : LogFont::Normal)
        .Italic(description.italic)
        .Underlined(description.underline)
        .Strikethrough(description.strikeOut);
    if (!description.faceName.empty())
        info.FaceName(presentFace(description.faceName));
    return wxFont(info);
}

template <typename Value>
Value CTextFont::change(Value LogFont::*field, Value value)
{
    Value old = description_.*field;
    if (!(old == value)) {
        description_.*field = std::move(value);
        rebuild();
    }
    return old;
}

int CTextFont::SetSize(int size)
{
    return negated(change(&LogFont::height, negated(size)));
}

int CTextFont::SetWeight(int weight)
{
    return change(&LogFont::weight, weight);
}

bool CTextFont::SetBold(bool bold)
{
    return change(&LogFont::weight, bold ? LogFont::Bold : LogFont::Normal) >= 500;
}

bool CTextFont::SetItalic(bool italic)
{
    return change(&LogFont::italic, italic);
}

bool CTextFont::SetUnderline(bool underline)
{
    return change(&LogFont::underline, underline);
}

uint8_t CTextFont::SetCharSet(uint8_t charSet)
{
    return change(&LogFont::charSet, charSet);
}

std::string CTextFont::SetFaceName(const std::string& faceName)
{
    return change(&LogFont::faceName, faceName);
}

void CTextFont::copyFrom(const CTextFont& other)
{
    if (description_ != other.description_) {
        description_ = other.description_;
        rebuild();
    }
}

void CTextFont::copyFrom(const wxFont& font)
{
    if (!font.IsOk())
        return;
    LogFont description;
    description.height = -static_cast<int>(std::lround(font.GetFractionalPointSize() * displayResolution() / 72.0));
    description.weight = font.GetNumericWeight();
    description.italic = font.GetStyle() != wxFONTSTYLE_NORMAL;
    description.underline = font.GetUnderlined();
    description.strikeOut = font.GetStrikethrough();
    description.pitchAndFamily = pitchAndFamilyOf(font);
    description.faceName = font.GetFaceName().utf8_string();
    if (description_ != description) {
        description_ = std::move(description);
        rebuild();
    }
}

ColorRef CTextFont::SetColor(ColorRef color)
{
    const ColorRef old = std::exchange(color_, color);
    if (context_)
        context_->SetTextForeground(colourOf(color_));
    return old;
}

} // namespace orvane
