#pragma once

#include "core/module/ModuleInterfaces.h"
#include "ui/kit/LogFont.h"

#include <wx/font.h>

#include <string>

class wxDC;

namespace orvane {

// A font that keeps its full description and is rebuilt from it whenever one attribute
// changes, so that a caller can change the size of a font without knowing its other
// attributes. It starts as a 12-pixel "Times New Roman" of normal weight; the face names
// are the program's own and go through the face table (FontFaces.h) when the font is built.
//
// Each setter answers the attribute's previous value and rebuilds the font only when the
// value changed. The font also carries a text colour for those who draw with it; when a
// context is attached, a new colour is applied to it at once.
//
// User-interface thread only.
class CTextFont {
public:
    CTextFont();
    explicit CTextFont(const LogFont& description);

    const LogFont& description() const { return description_; }
    // The built font: hand it to SetFont of a context or a window.
    const wxFont& font() const { return font_; }
    operator const wxFont&() const { return font_; }

    // A character height of `size` pixels (the height field becomes -size); answers the size
    // it had before, that is the previous height negated.
    int SetSize(int size);
    int SetWeight(int weight);
    // 700 or 400; answers whether the previous weight counted as bold (500 or more).
    bool SetBold(bool bold);
    bool SetItalic(bool italic);
    bool SetUnderline(bool underline);
    uint8_t SetCharSet(uint8_t charSet);
    // Compared byte for byte: the same name keeps the font as it is.
    std::string SetFaceName(const std::string& faceName);
    // Takes the whole description of another font.
    void copyFrom(const CTextFont& other);
    // Takes what a wx font tells of itself: its size as a character height, weight, style,
    // decorations, family and face; the rest of the description returns to the defaults.
    void copyFrom(const wxFont& font);

    ColorRef GetColor() const { return color_; }
    // Answers the previous colour. Never rebuilds the font.
    ColorRef SetColor(ColorRef color);
    // The context that follows colour changes; null detaches it. It is not owned and must
    // outlive its attachment.
    void SetContext(wxDC* context) { context_ = context; }

    // The wx font for a description.
    static wxFont build(const LogFont& description);

private:
    void rebuild() { font_ = build(description_); }
    template <typename Value>
    Value change(Value LogFont::*field, Value value);

    LogFont description_;
    wxFont font_;
    ColorRef color_ = 0;
    wxDC* context_ = nullptr;
};

} // namespace orvane
