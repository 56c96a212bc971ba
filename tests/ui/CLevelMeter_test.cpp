#include "tests/ui/PixelProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/kit/CLevelMeter.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>

#include <cstdint>
#include <limits>
#include <string>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr ColorRef Back = 0x000000;
constexpr ColorRef Lit = 0x00ff00;
constexpr ColorRef Unlit = 0x008000;
constexpr int64_t Min64 = std::numeric_limits<int64_t>::min();
constexpr int64_t Max64 = std::numeric_limits<int64_t>::max();

class LevelMeter : public ::testing::Test {
protected:
    LevelMeter()
    {
        frame = new wxFrame(nullptr, wxID_ANY, "meter");
        panel = new wxPanel(frame);
        // 100 by 12 with the default layout: 96 pixels for cells of 4 and gaps of 1 hold 19
        // cells with 1 pixel over; the first starts at 2 + (1 + 2) / 2 = 3.
        horizontal = new CLevelMeter(panel, wxID_ANY, wxPoint(0, 0), wxSize(100, 12));
        vertical = new CLevelMeter(panel, wxID_ANY, wxPoint(0, 20), wxSize(12, 100));
        vertical->SetVertical(true);
        frame->Show();
    }
    ~LevelMeter() override { frame->Destroy(); }

    static wxBitmap drawn(const CLevelMeter& meter)
    {
        const wxSize size = meter.GetClientSize();
        // Filled with a colour the meter never uses, so that an unpainted pixel shows.
        wxBitmap bitmap = filledBitmap(size.GetWidth(), size.GetHeight(), 0xff00ff);
        wxMemoryDC dc(bitmap);
        meter.render(dc);
        dc.SelectObject(wxNullBitmap);
        return bitmap;
    }

    // The cells as drawn, from the low end: 'x' lit, '.' unlit, '?' anything else.
    static std::string cells(const CLevelMeter& meter)
    {
        const wxBitmap bitmap = drawn(meter);
        std::string shown;
        for (int k = 0; k < meter.cellCount(); ++k) {
            const wxRect cell = meter.cellRect(k);
            const ColorRef centre = pixelAt(bitmap, cell.GetLeft() + cell.GetWidth() / 2, cell.GetTop() + cell.GetHeight() / 2);
            shown += centre == Lit ? 'x' : centre == Unlit ? '.' : '?';
        }
        return shown;
    }

    wxFrame* frame;
    wxPanel* panel;
    CLevelMeter* horizontal;
    CLevelMeter* vertical;
};

} // namespace

TEST_F(LevelMeter, CellsAreLaidOutFromTheMarginWithTheRemainderSplitAround)
{
    ASSERT_EQ(horizontal->cellCount(), 19);
    EXPECT_EQ(horizontal->cellRect(0), wxRect(3, 2, 4, 8));
    EXPECT_EQ(horizontal->cellRect(1), wxRect(8, 2, 4, 8));
    EXPECT_EQ(horizontal->cellRect(18), wxRect(93, 2, 4, 8));
    // Upright, the first cell sits at the bottom: 100 - 4 - 2 - (1 + 2) / 2 = 93.
    ASSERT_EQ(vertical->cellCount(), 19);
    EXPECT_EQ(vertical->cellRect(0), wxRect(2, 93, 8, 4));
    EXPECT_EQ(vertical->cellRect(1), wxRect(2, 88, 8, 4));
    EXPECT_EQ(vertical->cellRect(18), wxRect(2, 3, 8, 4));

    // Other sizes and fields: 104 wide leaves no remainder (20 cells from 2 + 1 = 3); cells
    // of 6 with gaps of 2 and a margin of 3 in 100 make 94 / 8 = 11, 6 over, starting at
    // 3 + (6 + 3) / 2 = 7.
    horizontal->SetSize(104, 12);
    EXPECT_EQ(horizontal->cellCount(), 20);
    EXPECT_EQ(horizontal->cellRect(0), wxRect(3, 2, 4, 8));
    horizontal->SetSize(100, 12);
    horizontal->SetMargin(3);
    horizontal->SetGap(2);
    horizontal->SetCellSize(6);
    EXPECT_EQ(horizontal->cellCount(), 11);
    EXPECT_EQ(horizontal->cellRect(0), wxRect(7, 3, 6, 6));
    EXPECT_EQ(horizontal->cellRect(1), wxRect(15, 3, 6, 6));
}

TEST_F(LevelMeter, CellsAtOrBelowThePositionAreLitInBothDirections)
{
    // 19 cells: cell k is lit while k * 100 / 19 is at most the percentage.
    const struct {
        int64_t position;
        const char* shown;
    } cases[] = {
        {0, "x.................."},     // the low end lights the first cell
        {50, "xxxxxxxxxx........."},    // 9 * 100 / 19 = 47, 10 * 100 / 19 = 52
        {100, "xxxxxxxxxxxxxxxxxxx"},
        {-40, "x.................."},    // clamped to the low end
        {250, "xxxxxxxxxxxxxxxxxxx"},   // clamped to the high end
    };
    for (CLevelMeter* meter : {horizontal, vertical}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(meter == vertical ? "vertical " : "horizontal ") + std::to_string(c.position));
            meter->SetPos64(c.position);
            EXPECT_EQ(meter->GetPos(), std::clamp<int64_t>(c.position, 0, 100));
            EXPECT_EQ(cells(*meter), c.shown);
        }
    }
    // The background around the cells, in its own colour.
    const wxBitmap bitmap = drawn(*vertical);
    EXPECT_EQ(pixelAt(bitmap, 0, 0), Back);
    EXPECT_EQ(pixelAt(bitmap, 6, 2), Back) << "above the top cell";
    EXPECT_EQ(pixelAt(bitmap, 6, 92), Back) << "the gap above the first cell";
    EXPECT_EQ(pixelAt(bitmap, 6, 97), Back) << "below the first cell";
}

TEST_F(LevelMeter, TheRangeIsOrderedAndThePositionMovesToItsLowEnd)
{
    horizontal->SetPos64(70);
    horizontal->SetRange64(10, 0);
    EXPECT_EQ(horizontal->GetLow(), 0);
    EXPECT_EQ(horizontal->GetHigh(), 10);
    EXPECT_EQ(horizontal->GetPos(), 0);
    horizontal->SetPos64(100);
    EXPECT_EQ(horizontal->GetPos(), 10);
    EXPECT_EQ(cells(*horizontal), "xxxxxxxxxxxxxxxxxxx");
    // Half of 0..10 lights the lower half.
    horizontal->SetPos64(5);
    EXPECT_EQ(cells(*horizontal), "xxxxxxxxxx.........");
}

TEST_F(LevelMeter, AnEmptyRangeShowsEveryCellUnlit)
{
    horizontal->SetRange64(7, 7);
    EXPECT_EQ(cells(*horizontal), "...................");
    horizontal->SetPos64(100);
    EXPECT_EQ(horizontal->GetPos(), 7);
    EXPECT_EQ(cells(*horizontal), "...................");
}

TEST_F(LevelMeter, TheWholeSixtyFourBitRangeNeitherOverflowsNorLosesAPercent)
{
    const struct {
        int64_t position;
        int64_t low;
        int64_t high;
        int percent;
    } cases[] = {
        {5, 0, 10, 50},
        {Min64, Min64, Max64, 0},
        {Max64, Min64, Max64, 100},
        {0, Min64, Max64, 50},      // 2^63 of 2^64 - 1: a hair over a half
        {-1, Min64, Max64, 49},     // 2^63 - 1 of 2^64 - 1: a hair under
        {Max64 - 1, Min64, Max64, 99},
        {Max64, Max64 - 1, Max64, 100},
        {Min64, Min64, Min64 + 3, 0},
        {Min64 + 1, Min64, Min64 + 3, 33},
        {3, 3, 3, -1},              // empty range
        {Max64, 0, 10, 100},        // outside: taken at the nearer end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.position) + " in " + std::to_string(c.low) + ".." + std::to_string(c.high));
        EXPECT_EQ(CLevelMeter::percentOf(c.position, c.low, c.high), c.percent);
    }
    horizontal->SetRange64(Max64, Min64);
    horizontal->SetPos64(Max64);
    EXPECT_EQ(cells(*horizontal), "xxxxxxxxxxxxxxxxxxx");
    // With 20 cells, cell 10 stands at exactly 50 percent: lit at 0, not at -1.
    horizontal->SetSize(104, 12);
    horizontal->SetPos64(0);
    EXPECT_EQ(cells(*horizontal), "xxxxxxxxxxx.........");
    horizontal->SetPos64(-1);
    EXPECT_EQ(cells(*horizontal), "xxxxxxxxxx..........");
}

TEST_F(LevelMeter, TheLcdColoursAreAGreyGreenLook)
{
    horizontal->SetLcdColors();
    horizontal->SetPos64(50);
    const wxBitmap bitmap = drawn(*horizontal);
    EXPECT_EQ(pixelAt(bitmap, 0, 0), 0x8ca5a5u);
    EXPECT_EQ(pixelAt(bitmap, 5, 6), 0x323c3cu) << "lit";
    EXPECT_EQ(pixelAt(bitmap, 95, 6), 0x829696u) << "unlit";
}

TEST_F(LevelMeter, NoCellsWhereNoneFit)
{
    const struct {
        wxSize size;
        int margin;
        int gap;
        int cell;
    } cases[] = {
        {wxSize(5, 12), 2, 1, 4},   // 1 pixel between the margins
        {wxSize(3, 12), 2, 1, 4},   // the margins overlap
        {wxSize(100, 12), 2, 0, 0}, // nothing to step by
        {wxSize(100, 12), 2, 1, -4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size.GetWidth());
        horizontal->SetSize(c.size);
        horizontal->SetMargin(c.margin);
        horizontal->SetGap(c.gap);
        horizontal->SetCellSize(c.cell);
        EXPECT_EQ(horizontal->cellCount(), 0);
        EXPECT_EQ(pixelAt(drawn(*horizontal), 2, 6), Back);
    }
}

TEST_F(LevelMeter, AShownMeterPaintsWhatItDraws)
{
    horizontal->SetPos64(50);
    const wxRect area(horizontal->ClientToScreen(wxPoint(0, 0)), horizontal->GetClientSize());
    auto shownAt = [&](const wxRect& cell) {
        const wxImage image = screenImage(area);
        return image.IsOk() ? colorRefOf(wxColour(image.GetRed(cell.x + 1, cell.y + 1), image.GetGreen(cell.x + 1, cell.y + 1),
                                                  image.GetBlue(cell.x + 1, cell.y + 1)))
                            : 0xffffffffu;
    };
    EXPECT_TRUE(waitUntil([&] {
        return shownAt(horizontal->cellRect(9)) == Lit && shownAt(horizontal->cellRect(10)) == Unlit &&
               shownAt(wxRect(0, 0, 1, 1)) == Back;
    }));
}
