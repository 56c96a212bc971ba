#include "ui/kit/CGradientButton.h"

#include "ui/kit/Edges.h"
#include "ui/kit/Skin.h"

#include <algorithm>
#include <cstdint>

namespace orvane {

namespace {

// The palette index of the face colour; below it the ramp darkens toward black, above it
// lightens toward white.
constexpr int FaceIndex = 192;
// How far the shading spreads around the face index, in palette steps.
constexpr int Spread = 48;

// A small fixed-seed generator: the grain must look the same at every build of the pictures.
class Grain {
public:
    explicit Grain(int amount) : amount_(amount) {}
    int next()
    {
        if (amount_ <= 0)
            return 0;
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<int>((state_ >> 16) % static_cast<uint32_t>(2 * amount_ + 1)) - amount_;
    }

private:
    uint32_t state_ = 0x2545F491u;
    int amount_;
};

// A shade in -1..1 (1 lightest) for the pixel, by kind.
double shadeAt(int kind, int x, int y, int width, int height)
{
    const double fx = width > 1 ? static_cast<double>(x) / (width - 1) : 0.5;
    const double fy = height > 1 ? static_cast<double>(y) / (height - 1) : 0.5;
    switch (kind) {
    case CGradientButton::HorizontalShade:
        return 1.0 - 2.0 * fx;
    case CGradientButton::DiagonalShade:
        return 1.0 - (fx + fy);
    case CGradientButton::HorizontalBump:
        return 1.0 - 4.0 * (fy - 0.5) * (fy - 0.5) * 2.0;
    case CGradientButton::VerticalBump:
        return 1.0 - 4.0 * (fx - 0.5) * (fx - 0.5) * 2.0;
    case CGradientButton::Noise:
        return 0.0;
    default:
        return 1.0 - 2.0 * fy;
    }
}

uint8_t rampChannel(int face, int index)
{
    if (index <= FaceIndex)
        return static_cast<uint8_t>(face * index / FaceIndex);
    return static_cast<uint8_t>(face + (255 - face) * (index - FaceIndex) / (255 - FaceIndex));
}

} // namespace

CGradientButton::CGradientButton(wxWindow* parent, wxWindowID id, const wxString& label, const wxPoint& position,
                                 const wxSize& size, long style)
    : CIconButton(parent, id, label, position, size, style)
{
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        if (shaded_)
            build();
    });
}

void CGradientButton::SetShade(int kind, int granularity, int highlight, int coloring, ColorRef color)
{
    kind_ = kind >= VerticalShade && kind <= Noise ? kind : VerticalShade;
    granularity_ = std::clamp(granularity, 0, 64);
    highlight_ = std::clamp(highlight, 0, 100);
    coloring_ = std::clamp(coloring, 0, 100);
    color_ = color;
    shaded_ = true;
    build();
    Refresh();
}

void CGradientButton::build()
{
    const wxSize size = GetClientSize();
    if (!normal_.Create(std::max(1, size.GetWidth()), std::max(1, size.GetHeight()), 8))
        return;
    const wxColour face = colourOf(systemColor(wxSYS_COLOUR_BTNFACE));
    for (int i = 0; i < 256; ++i)
        normal_.SetPaletteEntry(i, rampChannel(face.Red(), i), rampChannel(face.Green(), i),
                                rampChannel(face.Blue(), i));
    normal_.TintPalette(color_, coloring_);

    Grain grain(granularity_);
    for (int y = 0; y < normal_.height(); ++y) {
        for (int x = 0; x < normal_.width(); ++x) {
            const double shade = shadeAt(kind_, x, y, normal_.width(), normal_.height());
            const int index = FaceIndex + static_cast<int>(shade * Spread) + grain.next();
            normal_.SetPixel(x, y, static_cast<uint8_t>(std::clamp(index, 0, 255)));
        }
    }
    hot_.Copy(normal_);
    hot_.TintPalette(0xFFFFFF, highlight_);
}

void CGradientButton::OnDrawBackground(wxDC& dc, wxRect& rect)
{
    if (!shaded_ || normal_.width() == 0) {
        CIconButton::OnDrawBackground(dc, rect);
        return;
    }
    if (!isHot()) {
        normal_.Draw(dc, 0, 0);
        return;
    }
    if (isPressed()) {
        // The strip the shifted picture leaves bare takes the hot background colour.
        fillSolidRect(dc, rect, GetColor(HotBackground));
        hot_.Draw(dc, 1, 1);
    } else {
        hot_.Draw(dc, 0, 0);
    }
}

} // namespace orvane
