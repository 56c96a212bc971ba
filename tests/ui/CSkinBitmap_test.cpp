#include "tests/ui/PixelProbe.h"
#include "ui/kit/CMemDC.h"
#include "ui/kit/CSkinBitmap.h"
#include "ui/kit/ResourceBitmaps.h"

#include <gtest/gtest.h>
#include <wx/cmndata.h>
#include <wx/dcps.h>
#include <wx/filename.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr ColorRef Key = 0xff00ff;
constexpr ColorRef Red = 0x0000ff;
constexpr ColorRef Blue = 0xff0000;
constexpr ColorRef Green = 0x00ff00;

// A 4x3 picture: red, with key-coloured pixels at (1,0), (2,0) and (3,2).
wxBitmap keyedPicture()
{
    wxBitmap bitmap = filledBitmap(4, 3, Red);
    wxMemoryDC dc(bitmap);
    dc.SetPen(wxPen(colourOf(Key)));
    for (const wxPoint p : {wxPoint(1, 0), wxPoint(2, 0), wxPoint(3, 2)})
        dc.DrawPoint(p);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

} // namespace

TEST(CSkinBitmap, ResourcesLoadByIdAndAnUnknownIdLeavesItEmpty)
{
    registerResourceBitmap(4711, keyedPicture());
    CSkinBitmap bitmap;
    EXPECT_TRUE(bitmap.LoadBitmap(4711));
    EXPECT_EQ(bitmap.GetWidth(), 4);
    EXPECT_EQ(bitmap.GetHeight(), 3);
    EXPECT_FALSE(bitmap.sizeDiffers(4, 3));
    EXPECT_TRUE(bitmap.sizeDiffers(4, 4));
    EXPECT_FALSE(bitmap.LoadBitmap(4712));
    EXPECT_TRUE(bitmap.isEmpty());
    EXPECT_FALSE(bitmap.LoadMask(4712, Key));
}

TEST(CSkinBitmap, TheMaskIsWhiteWhereTheKeyWasAndBlackElsewhere)
{
    registerResourceBitmap(4713, keyedPicture());
    CSkinBitmap mask;
    ASSERT_TRUE(mask.LoadMask(4713, Key));
    EXPECT_EQ(pixelAt(mask.bitmap(), 1, 0), 0xffffffu);
    EXPECT_EQ(pixelAt(mask.bitmap(), 3, 2), 0xffffffu);
    EXPECT_EQ(pixelAt(mask.bitmap(), 0, 0), 0u);
    EXPECT_EQ(pixelAt(mask.bitmap(), 3, 1), 0u);
}

TEST(CSkinBitmap, TheRegionLeavesOutEveryRunOfTheColourMovedByTheOffset)
{
    CSkinBitmap bitmap;
    EXPECT_FALSE(bitmap.CreateRegion(0, 0, Key).IsOk()) << "an empty bitmap has no region";
    bitmap.Attach(keyedPicture());
    const wxRegion region = bitmap.CreateRegion(10, 20, Key);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            const bool keyed = (y == 0 && (x == 1 || x == 2)) || (y == 2 && x == 3);
            EXPECT_EQ(region.Contains(10 + x, 20 + y) == wxInRegion, !keyed) << x << "," << y;
        }
    }
    EXPECT_EQ(region.GetBox(), wxRect(10, 20, 4, 3));
    // No pixel of the colour: the whole rectangle.
    const wxRegion whole = bitmap.CreateRegion(0, 0, Blue);
    EXPECT_EQ(whole.Contains(wxRect(0, 0, 4, 3)), wxInRegion);
}

TEST(CSkinBitmap, DrawingTransparentlyLeavesTheDestinationWhereTheKeyIs)
{
    CSkinBitmap bitmap;
    bitmap.Attach(keyedPicture());
    for (const int scale : {1, 2}) {
        SCOPED_TRACE(scale);
        wxBitmap target = filledBitmap(12, 8, Green);
        {
            wxMemoryDC dc(target);
            bitmap.DrawTransparent(dc, 2, 1, 4 * scale, 3 * scale, Key);
        }
        EXPECT_EQ(pixelAt(target, 2, 1), Red);
        EXPECT_EQ(pixelAt(target, 2 + 1 * scale, 1), Green) << "key pixel";
        EXPECT_EQ(pixelAt(target, 2 + 3 * scale, 1 + 2 * scale), Green) << "key pixel";
        EXPECT_EQ(pixelAt(target, 2 + 3 * scale, 1 + 1 * scale), Red);
        EXPECT_EQ(pixelAt(target, 1, 1), Green) << "outside";
    }
    // Plain drawing copies the key colour like any other, stretched to the size asked.
    wxBitmap target = filledBitmap(12, 8, Green);
    {
        wxMemoryDC dc(target);
        bitmap.Draw(dc, 0, 0, 8, 6);
    }
    EXPECT_EQ(pixelAt(target, 2, 0), Key);
    EXPECT_EQ(pixelAt(target, 7, 5), Key);
    EXPECT_EQ(pixelAt(target, 7, 3), Red);
    EXPECT_EQ(pixelAt(target, 8, 0), Green);
}

TEST(CSkinBitmap, CopyingMovesARectangleAndStretchesItWhenTheSizesDiffer)
{
    CSkinBitmap bitmap;
    bitmap.Attach(keyedPicture());
    wxBitmap target = filledBitmap(10, 10, Green);
    EXPECT_TRUE(bitmap.copyTo(target, wxRect(1, 0, 2, 1), wxRect(5, 5, 2, 1)));
    EXPECT_EQ(pixelAt(target, 5, 5), Key);
    EXPECT_EQ(pixelAt(target, 7, 5), Green);
    EXPECT_TRUE(bitmap.copyTo(target, wxRect(0, 0, 2, 1), wxRect(0, 0, 4, 2)));
    EXPECT_EQ(pixelAt(target, 1, 1), Red);
    EXPECT_EQ(pixelAt(target, 3, 1), Key);
    CSkinBitmap empty;
    EXPECT_FALSE(empty.copyTo(target, wxRect(0, 0, 1, 1), wxRect(0, 0, 1, 1)));
}

TEST(CMemDC, ThePictureReachesTheTargetInOneCopyOfExactlyItsRectangle)
{
    wxBitmap target = filledBitmap(20, 20, Green);
    wxMemoryDC targetDc(target);
    for (const bool copyBack : {true, false}) {
        SCOPED_TRACE(copyBack);
        {
            const wxRect area(5, 6, 4, 3);
            CMemDC memory(targetDc, &area, copyBack);
            EXPECT_FALSE(memory.isPrinting());
            // Drawn with the target's coordinates, over more than the rectangle.
            memory.dc().SetBackground(wxBrush(colourOf(Blue)));
            memory.dc().SetPen(*wxTRANSPARENT_PEN);
            memory.dc().SetBrush(wxBrush(colourOf(Blue)));
            memory.dc().DrawRectangle(0, 0, 20, 20);
            targetDc.SelectObject(wxNullBitmap);
            EXPECT_EQ(pixelAt(target, 5, 6), Green) << "nothing before the end";
            targetDc.SelectObject(target);
        }
        targetDc.SelectObject(wxNullBitmap);
        EXPECT_EQ(pixelAt(target, 5, 6), copyBack ? Blue : Green);
        EXPECT_EQ(pixelAt(target, 8, 8), copyBack ? Blue : Green);
        EXPECT_EQ(pixelAt(target, 9, 8), Green);
        EXPECT_EQ(pixelAt(target, 4, 6), Green);
        EXPECT_EQ(pixelAt(target, 5, 9), Green);
        targetDc.SelectObject(target);
        if (copyBack) {
            targetDc.SetBackground(wxBrush(colourOf(Green)));
            targetDc.Clear();
        }
    }
}

TEST(CMemDC, OverAPrintingContextItDrawsStraightIntoIt)
{
    wxPrintData print;
    print.SetFilename(wxFileName::CreateTempFileName("orvane-print"));
    print.SetPrintMode(wxPRINT_MODE_FILE);
    wxPostScriptDC printer(print);
    ASSERT_TRUE(printer.IsOk());
    ASSERT_TRUE(printer.StartDoc("memdc"));
    printer.StartPage();
    {
        const wxRect area(0, 0, 10, 10);
        CMemDC memory(printer, &area);
        EXPECT_TRUE(memory.isPrinting());
        EXPECT_EQ(&memory.dc(), &printer);
    }
    printer.EndPage();
    printer.EndDoc();
    wxRemoveFile(print.GetFilename());
}
