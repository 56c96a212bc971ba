#include "tests/ui/PixelProbe.h"
#include "ui/kit/CTextFont.h"
#include "ui/kit/FontFaces.h"

#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/fontenum.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

// The rows, top to bottom, that hold a pixel darker than mid-grey when `text` is drawn in
// black on white at (0, 0).
int inkHeight(const wxFont& font, const wxString& text)
{
    wxBitmap bitmap(200, 200, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    dc.SetFont(font);
    dc.SetTextForeground(*wxBLACK);
    dc.DrawText(text, 0, 0);
    dc.SelectObject(wxNullBitmap);
    const wxImage image = bitmap.ConvertToImage();
    int top = -1;
    int bottom = -1;
    for (int y = 0; y < image.GetHeight(); ++y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            if (image.GetRed(x, y) < 128) {
                if (top < 0)
                    top = y;
                bottom = y;
                break;
            }
        }
    }
    return top < 0 ? 0 : bottom - top + 1;
}

} // namespace

TEST(TextFont, StartsAsTwelvePixelTimesNewRomanOfNormalWeight)
{
    CTextFont font;
    const LogFont& d = font.description();
    EXPECT_EQ(d.height, -12);
    EXPECT_EQ(d.width, 0);
    EXPECT_EQ(d.escapement, 0);
    EXPECT_EQ(d.orientation, 0);
    EXPECT_EQ(d.weight, 400);
    EXPECT_FALSE(d.italic);
    EXPECT_FALSE(d.underline);
    EXPECT_FALSE(d.strikeOut);
    EXPECT_EQ(d.charSet, 1);        // the default character set
    EXPECT_EQ(d.outPrecision, 0);   // default precisions
    EXPECT_EQ(d.clipPrecision, 0);
    EXPECT_EQ(d.quality, 2);        // proof quality
    EXPECT_EQ(d.pitchAndFamily, 0x12);  // variable pitch, roman family
    EXPECT_EQ(d.faceName, "Times New Roman");
    EXPECT_EQ(font.GetColor(), 0u);
    EXPECT_EQ(font.font().GetFaceName(), "Liberation Serif");
    EXPECT_EQ(font.font().GetNumericWeight(), 400);
}

TEST(TextFont, EachSetterAnswersTheValueItReplaced)
{
    CTextFont font;
    EXPECT_EQ(font.SetSize(20), 12);
    EXPECT_EQ(font.description().height, -20);
    EXPECT_EQ(font.SetSize(9), 20);
    EXPECT_EQ(font.SetWeight(600), 400);
    EXPECT_EQ(font.SetWeight(300), 600);
    EXPECT_EQ(font.SetItalic(true), false);
    EXPECT_EQ(font.SetItalic(true), true);
    EXPECT_EQ(font.SetUnderline(true), false);
    EXPECT_EQ(font.SetUnderline(false), true);
    EXPECT_EQ(font.SetCharSet(0), 1);
    EXPECT_EQ(font.SetCharSet(0), 0);
    EXPECT_EQ(font.SetFaceName("Arial"), "Times New Roman");
    EXPECT_EQ(font.SetFaceName("Courier New"), "Arial");
    EXPECT_EQ(font.SetColor(0x0000ff), 0u);
    EXPECT_EQ(font.SetColor(0x00ff00), 0x0000ffu);

    // The built font follows the description.
    const wxFont& built = font.font();
    EXPECT_EQ(built.GetFaceName(), "Liberation Mono");
    EXPECT_EQ(built.GetNumericWeight(), 300);
    EXPECT_EQ(built.GetStyle(), wxFONTSTYLE_ITALIC);
    EXPECT_FALSE(built.GetUnderlined());
}

TEST(TextFont, SetBoldAnswersWhetherTheOldWeightWasFiveHundredOrMore)
{
    const struct {
        int weight;
        bool bold;
        bool answer;
        int after;
    } cases[] = {
        {400, true, false, 700}, {499, true, false, 700}, {500, false, true, 400},
        {700, false, true, 400}, {900, true, true, 700},  {100, false, false, 400},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weight);
        CTextFont font;
        font.SetWeight(c.weight);
        EXPECT_EQ(font.SetBold(c.bold), c.answer);
        EXPECT_EQ(font.description().weight, c.after);
        EXPECT_EQ(font.font().GetNumericWeight(), c.after);
    }
}

TEST(TextFont, AnUnchangedValueKeepsTheBuiltFontAndAChangedOneRebuildsIt)
{
    CTextFont font;
    const wxObjectRefData* first = font.font().GetRefData();
    font.SetFaceName("Times New Roman");
    font.SetSize(12);
    font.SetBold(false);
    font.SetItalic(false);
    font.SetColor(0x123456);
    EXPECT_EQ(font.font().GetRefData(), first) << "nothing changed: no rebuild";

    // Names compare byte for byte: another spelling of the same face is a change, though
    // the table maps both to the same family.
    font.SetFaceName("times new roman");
    EXPECT_NE(font.font().GetRefData(), first);
    EXPECT_EQ(font.font().GetFaceName(), "Liberation Serif");
}

TEST(TextFont, TheSizeIsACharacterHeightInPixels)
{
    CTextFont font;
    font.SetFaceName("Arial");
    font.SetSize(40);
    // Capitals of the Arial metrics stand 0.716 of the character height: 28.6 pixels here,
    // where a 40-pixel line would give them 24.
    const int capital = inkHeight(font, "H");
    EXPECT_GE(capital, 27);
    EXPECT_LE(capital, 30);
}

TEST(TextFont, ANewColourReachesTheAttachedContextAtOnce)
{
    wxBitmap bitmap(4, 4, 24);
    wxMemoryDC dc(bitmap);
    CTextFont font;
    font.SetContext(&dc);
    font.SetColor(0x0000ff);
    EXPECT_EQ(colorRefOf(dc.GetTextForeground()), 0x0000ffu);
    font.SetContext(nullptr);
    font.SetColor(0x00ff00);
    EXPECT_EQ(colorRefOf(dc.GetTextForeground()), 0x0000ffu) << "detached";
}

TEST(TextFont, CopiesTheDescriptionOfAnotherFont)
{
    CTextFont source;
    source.SetFaceName("Verdana");
    source.SetSize(17);
    source.SetBold(true);
    CTextFont copy;
    copy.copyFrom(source);
    EXPECT_EQ(copy.description(), source.description());
    EXPECT_EQ(copy.font().GetFaceName(), "DejaVu Sans");

    // 12 points are 16 pixels at the 96 dots per inch of the test display.
    ASSERT_EQ(wxGetDisplayPPI().GetHeight(), 96);
    const wxFont window(wxFontInfo(12.0).FaceName("DejaVu Serif").Bold().Italic().Underlined());
    copy.copyFrom(window);
    const LogFont& d = copy.description();
    EXPECT_EQ(d.height, -16);
    EXPECT_EQ(d.weight, 700);
    EXPECT_TRUE(d.italic);
    EXPECT_TRUE(d.underline);
    EXPECT_EQ(d.faceName, "DejaVu Serif");
    EXPECT_EQ(copy.font().GetFaceName(), "DejaVu Serif");

    // A built font read back gives the height it was built with.
    for (int size : {9, 10, 13, 15, 18, 40}) {
        CTextFont built;
        built.SetSize(size);
        CTextFont back;
        back.copyFrom(built.font());
        EXPECT_EQ(back.description().height, -size);
    }
}

TEST(FontFaces, EveryFaceTheProgramNamesMapsToAnInstalledFamily)
{
    const struct {
        const char* windowsFace;
        const char* family;
    } named[] = {
        {"Times New Roman", "Liberation Serif"},
        {"MS Sans Serif", "Liberation Sans"},
        {"Microsoft Sans Serif", "Liberation Sans"},
        {"Arial", "Liberation Sans"},
        {"ARIAL", "Liberation Sans"},
        {"courier new", "Liberation Mono"},
    };
    for (const auto& face : named)
        EXPECT_EQ(presentFace(face.windowsFace), face.family) << face.windowsFace;

    for (const FontFaceMapping& row : fontFaceTable()) {
        EXPECT_TRUE(wxFontEnumerator::IsValidFacename(wxString::FromUTF8(row.presentFace)))
            << row.windowsFace << " -> " << row.presentFace << ": not installed (fonts-liberation2, fonts-dejavu-core)";
    }
}

TEST(FontFaces, AnUnknownNamePassesThroughAsItStands)
{
    EXPECT_EQ(presentFace("DejaVu Sans Mono"), "DejaVu Sans Mono");
    EXPECT_EQ(presentFace("No Such Face"), "No Such Face");
    EXPECT_EQ(presentFace("Arial Black"), "Arial Black") << "a longer name is another face";
    EXPECT_EQ(presentFace(""), "");
}
