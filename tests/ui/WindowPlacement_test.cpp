#include "tests/foundation/TempDirectory.h"
#include "tests/ui/DesktopSession.h"
#include "ui/CPersistSDIFrame.h"
#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/weakref.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>

namespace orvane {

void PrintTo(ShowCommand command, std::ostream* out)
{
    *out << "show command " << static_cast<int>(command);
}

} // namespace orvane

using namespace orvane;
using namespace orvane::testing;

namespace {

// Rectangles are compared as text: a printer for wxRect here would clash with the byte dump
// that other test files instantiate for it.
std::string describe(const wxRect& rect)
{
    return wxString::Format("(x %d, y %d, %d by %d)", rect.x, rect.y, rect.width, rect.height).ToStdString();
}

// A rectangle given the way the profile gives it: right and bottom are exclusive.
wxRect edges(int left, int top, int right, int bottom)
{
    return wxRect(left, top, right - left, bottom - top);
}

bool awaitUi(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        wxYield();
        wxMilliSleep(2);
    }
    return true;
}

// Where the window manager has put the frame, decorations included: asked of the X server,
// not of wx's bookkeeping.
wxRect frameOnScreen(wxFrame& frame)
{
    GdkWindow* window = gtk_widget_get_window(frame.GetHandle());
    if (!window || !gdk_window_is_visible(window))
        return wxRect();
    GdkRectangle extents;
    gdk_window_get_frame_extents(window, &extents);
    return wxRect(extents.x, extents.y, extents.width, extents.height);
}

// The window manager has let go of a hidden window: it erases the window's WM_STATE (and
// with it the state it kept for it) once it has seen the window withdrawn.
bool releasedByWindowManager(wxFrame& frame)
{
    GdkWindow* window = gtk_widget_get_window(frame.GetHandle());
    GdkAtom type;
    gint format = 0;
    gint length = 0;
    guchar* data = nullptr;
    const gboolean found = gdk_property_get(window, gdk_atom_intern_static_string("WM_STATE"), GDK_NONE, 0, 2,
                                            FALSE, &type, &format, &length, &data);
    const bool withdrawn = !found || length < 4 || *reinterpret_cast<const long*>(data) == 0;
    g_free(data);
    if (withdrawn) {
        // Whatever the window manager sent before is in by now; let wx and GDK take it in.
        gdk_display_sync(gdk_window_get_display(window));
        wxYield();
    }
    return withdrawn;
}

// Shown, in the normal state, at the rectangle: in wx's view and on the display.
bool standsAt(wxFrame& frame, const wxRect& rect)
{
    return frame.IsShown() && !frame.IsMaximized() && !frame.IsIconized() && frame.GetRect() == rect &&
           frameOnScreen(frame) == rect;
}

TEST(PlacementRectangleText, EachFieldIsFourCharactersWideWithTheMinusSignCounted)
{
    const struct {
        wxRect rect;
        const char* text;
    } cases[] = {
        {edges(100, 50, 320, 600), "0100 0050 0320 0600"},
        {edges(-8, 50, 212, 600), "-008 0050 0212 0600"},
        {edges(0, 0, 1, 1), "0000 0000 0001 0001"},
        // Beyond four characters the fields grow, and still read back.
        {edges(-1200, 12345, -1000, 12400), "-1200 12345 -1000 12400"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(WindowPlacement::formatRect(c.rect).ToStdString(), c.text);
        wxRect read;
        ASSERT_TRUE(WindowPlacement::parseRect(c.text, read));
        EXPECT_EQ(describe(read), describe(c.rect));
    }
}

TEST(PlacementRectangleText, FourBlankSeparatedIntegersAreReadAndNothingElse)
{
    const struct {
        const char* text;
        bool readable;
        wxRect rect;
    } cases[] = {
        {"  100\t50   320 600  ", true, edges(100, 50, 320, 600)},
        {"-8 -0 12 7", true, edges(-8, 0, 12, 7)},
        // Read as written; whether a window can go there is decided later.
        {"0320 0050 0100 0600", true, edges(320, 50, 100, 600)},
        {"", false, {}},
        {"    ", false, {}},
        {"0100 0050 0320", false, {}},
        {"0100 0050 0320 0600 0700", false, {}},
        {"0100,0050,0320,0600", false, {}},
        {"0100 0050 0320 0600x", false, {}},
        {"01OO 0050 0320 0600", false, {}},
        {"+100 0050 0320 0600", false, {}},
        {"- 0050 0320 0600", false, {}},
        {"99999999999999999999 0 1 1", false, {}},
        // The width does not fit an int.
        {"-2147483648 0 2147483647 1", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"");
        wxRect read(1, 2, 3, 4);
        EXPECT_EQ(WindowPlacement::parseRect(c.text, read), c.readable);
        if (c.readable) {
            EXPECT_EQ(describe(read), describe(c.rect));
        }
    }
}

// Frames on a desktop of their own, with a window manager, and a profile in a file of its
// own that each restart writes out and reads again, as the program does.
class FramePlacement : public ::testing::Test {
protected:
    static constexpr int ScreenWidth = DesktopSession::Width;
    static constexpr int ScreenHeight = DesktopSession::Height;

    static void SetUpTestSuite() { desktop = new DesktopSession; }
    static void TearDownTestSuite()
    {
        delete desktop;
        desktop = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(desktop->ok());
        openProfile();
    }

    void TearDown() override
    {
        for (wxWeakRef<CPersistSDIFrame>& frame : frames)
            if (frame)
                destroy(frame.get());
        profile.reset();
    }

    void openProfile()
    {
        profile = std::make_unique<wxFileConfig>(wxEmptyString, wxEmptyString, dir / "profile.ini", wxEmptyString,
                                                 wxCONFIG_USE_LOCAL_FILE);
    }

    // The main frame's default: a column 220 wide and 550 high at the right screen edge,
    // centred vertically.
    static wxRect defaultRect()
    {
        return wxRect(ScreenWidth - 220, (ScreenHeight - 550) / 2, 220, 550);
    }

    CPersistSDIFrame* newFrame()
    {
        auto* frame = new CPersistSDIFrame(*profile, nullptr, wxID_ANY, "Orvane");
        frame->placement().setDefaultRect(defaultRect());
        frames.emplace_back(frame);
        return frame;
    }

    // Destroys the frame the way the program's close path does, and waits until it is gone.
    static void destroy(CPersistSDIFrame* frame)
    {
        wxWeakRef<CPersistSDIFrame> gone(frame);
        frame->Destroy();
        EXPECT_TRUE(awaitUi([&] {
            wxTheApp->ProcessIdle();
            return !gone;
        }));
    }

    // Ends the program and starts it again: the frame goes, the profile is written out and
    // read again from its file, and a new frame is made.
    CPersistSDIFrame* restart(CPersistSDIFrame* frame)
    {
        destroy(frame);
        profile.reset();
        openProfile();
        return newFrame();
    }

    void store(const wxString& rectangle, long iconized = 0, long maximized = 0)
    {
        profile->Write("/Main Frame/Rectangle", rectangle);
        profile->Write("/Main Frame/Iconized", iconized);
        profile->Write("/Main Frame/Maximized", maximized);
    }

    std::string stored(const char* value) const
    {
        return profile->Read(wxString("/Main Frame/") + value, "<none>").ToStdString();
    }

    static DesktopSession* desktop;
    TempDirectory dir;
    std::unique_ptr<wxFileConfig> profile;
    std::vector<wxWeakRef<CPersistSDIFrame>> frames;
};

DesktopSession* FramePlacement::desktop = nullptr;

TEST_F(FramePlacement, TheFrameOpensAtTheStoredRectangleAndStoresItBackUnchanged)
{
    store("0100 0050 0320 0600");
    CPersistSDIFrame* frame = newFrame();
    frame->ActivateFrame();
    EXPECT_EQ(frame->placement().showCommand(), ShowCommand::Normal);
    EXPECT_TRUE(awaitUi([&] { return standsAt(*frame, edges(100, 50, 320, 600)); }))
        << describe(frame->GetRect()) << " on the display " << describe(frameOnScreen(*frame));
    profile->DeleteGroup("/Main Frame");
    destroy(frame);
    EXPECT_EQ(stored("Rectangle"), "0100 0050 0320 0600");
    EXPECT_EQ(stored("Iconized"), "0");
    EXPECT_EQ(stored("Maximized"), "0");
}

// The window manager keeps a window that is being mapped on the screen, so the new frame is
// asked for -8, not seen there.
TEST_F(FramePlacement, ANegativeCoordinateIsStoredWithItsSignAndReadBack)
{
    const wxRect left = edges(-8, 50, 212, 600);
    CPersistSDIFrame* frame = newFrame();
    frame->ActivateFrame();
    ASSERT_TRUE(awaitUi([&] { return frame->IsShown() && !frameOnScreen(*frame).IsEmpty(); }));
    frame->SetSize(left);
    ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, left); })) << describe(frameOnScreen(*frame));

    frame = restart(frame);
    EXPECT_EQ(stored("Rectangle"), "-008 0050 0212 0600");
    frame->placement().load();
    EXPECT_EQ(describe(frame->GetRect()), describe(left));
}

TEST_F(FramePlacement, WithNothingStoredTheFrameOpensAtTheDefaultRectangle)
{
    CPersistSDIFrame* frame = newFrame();
    frame->ActivateFrame();
    EXPECT_TRUE(awaitUi([&] { return standsAt(*frame, defaultRect()); }))
        << describe(frame->GetRect());
    destroy(frame);
    EXPECT_EQ(stored("Rectangle"), WindowPlacement::formatRect(defaultRect()).ToStdString());
}

TEST_F(FramePlacement, AStoredRectangleThatCannotHoldAWindowGivesWayToTheDefault)
{
    const char* cases[] = {
        "",
        "not a rectangle",
        "0100 0050 0320",
        "0100 0050 0100 0600",  // no width
        "0100 0600 0320 0050",  // negative height
        "5000 5000 5220 5550",  // right of and below the only display
        "-900 -900 -700 -300",  // left of and above it
        "0100 0050 40000 0600", // beyond what X can place
    };
    CPersistSDIFrame* frame = newFrame();
    const wxRect elsewhere(10, 10, 300, 300);
    for (const char* text : cases) {
        SCOPED_TRACE(std::string("\"") + text + "\"");
        frame->SetSize(elsewhere);
        store(text);
        frame->placement().load();
        EXPECT_EQ(describe(frame->GetRect()), describe(defaultRect()));
    }
    // A rectangle that overlaps the display only in part is still good.
    store("-100 -100 0100 0100");
    frame->placement().load();
    EXPECT_EQ(describe(frame->GetRect()), describe(edges(-100, -100, 100, 100)));
}

TEST_F(FramePlacement, WithoutAUsableDefaultEitherTheFrameKeepsItsRectangle)
{
    auto* frame = new CPersistSDIFrame(*profile, nullptr, wxID_ANY, "no default");
    frames.emplace_back(frame);
    const wxRect own(40, 30, 300, 200);
    frame->SetSize(own);
    store("0100 0050 0100 0600");
    frame->placement().load();
    EXPECT_EQ(describe(frame->GetRect()), describe(own));
    frame->placement().setDefaultRect(wxRect(5000, 5000, 220, 550));
    frame->placement().load();
    EXPECT_EQ(describe(frame->GetRect()), describe(own));
}

TEST_F(FramePlacement, MinimisedFromMaximisedComesBackMinimisedWithoutFocusAndRestoresMaximised)
{
    const wxRect normal = edges(100, 50, 320, 600);
    store("0100 0050 0320 0600");
    CPersistSDIFrame* frame = newFrame();
    frame->ActivateFrame();
    ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, normal); }));
    frame->Maximize();
    ASSERT_TRUE(awaitUi([&] { return frame->IsMaximized() && frameOnScreen(*frame) != normal; }));
    frame->Iconize();
    ASSERT_TRUE(awaitUi([&] { return frame->IsIconized(); }));

    frame = restart(frame);
    EXPECT_EQ(stored("Rectangle"), "0100 0050 0320 0600");
    EXPECT_EQ(stored("Iconized"), "1");
    EXPECT_EQ(stored("Maximized"), "1");

    frame->ActivateFrame();
    EXPECT_EQ(frame->placement().showCommand(), ShowCommand::MinimizedNoActivate);
    ASSERT_TRUE(awaitUi([&] { return frame->IsShown() && frame->IsIconized(); }));
    EXPECT_FALSE(frame->IsActive());
    frame->Iconize(false);
    EXPECT_TRUE(awaitUi([&] { return !frame->IsIconized() && frame->IsMaximized(); }));
    frame->Maximize(false);
    EXPECT_TRUE(awaitUi([&] { return standsAt(*frame, normal); }))
        << describe(frame->GetRect());
}

// The first frame of a process is shown by wx only once the window manager has told it the
// size of the decorations; one that starts minimised or maximised must still know its
// normal rectangle.
TEST_F(FramePlacement, AFrameThatStartsMinimisedOrMaximisedRestoresToItsRectangle)
{
    const wxRect normal = edges(100, 50, 320, 600);
    const struct {
        long iconized;
        long maximized;
    } cases[] = {{1, 1}, {0, 1}, {1, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "Iconized " << c.iconized << ", Maximized " << c.maximized);
        store("0100 0050 0320 0600", c.iconized, c.maximized);
        CPersistSDIFrame* frame = newFrame();
        frame->ActivateFrame();
        ASSERT_TRUE(awaitUi([&] { return frame->IsIconized() == (c.iconized != 0) && frame->IsMaximized() == (c.maximized != 0); }));
        if (c.iconized) {
            frame->Iconize(false);
            ASSERT_TRUE(awaitUi([&] { return !frame->IsIconized() && frame->IsMaximized() == (c.maximized != 0); }));
        }
        if (c.maximized)
            frame->Maximize(false);
        EXPECT_TRUE(awaitUi([&] { return standsAt(*frame, normal); }))
            << describe(frame->GetRect()) << " on the display "
            << describe(frameOnScreen(*frame));
        destroy(frame);
    }
}

TEST_F(FramePlacement, ARestartShowsTheFrameWhereTheUserLeftIt)
{
    const wxRect moved(300, 200, 400, 500);
    const struct {
        const char* name;
        bool maximize;
        bool hide; // closed to the tray before the program ends
    } cases[] = {
        {"moved", false, false},
        {"moved, then maximised", true, false},
        {"moved, maximised, then closed to the tray", true, true},
        {"moved, then closed to the tray", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        profile->DeleteAll();
        CPersistSDIFrame* frame = newFrame();
        frame->ActivateFrame();
        ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, defaultRect()); }));
        frame->SetSize(moved);
        ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, moved); }));
        if (c.maximize) {
            frame->Maximize();
            ASSERT_TRUE(awaitUi([&] { return frame->IsMaximized() && frame->GetRect() != moved; }));
        }
        if (c.hide) {
            frame->Hide();
            ASSERT_TRUE(awaitUi([&] { return releasedByWindowManager(*frame); }));
        }

        frame = restart(frame);
        EXPECT_EQ(stored("Rectangle"), WindowPlacement::formatRect(moved).ToStdString());
        EXPECT_EQ(stored("Iconized"), "0");
        EXPECT_EQ(stored("Maximized"), c.maximize ? "1" : "0");
        frame->ActivateFrame();
        if (c.maximize) {
            EXPECT_EQ(frame->placement().showCommand(), ShowCommand::Maximized);
            ASSERT_TRUE(awaitUi([&] { return frame->IsShown() && frame->IsMaximized(); }));
            frame->Maximize(false);
        }
        EXPECT_TRUE(awaitUi([&] { return standsAt(*frame, moved); })) << describe(frame->GetRect());
        destroy(frame);
    }
}

TEST_F(FramePlacement, ActivatingAShownFramePutsItBackWhereTheProfileSays)
{
    const wxRect normal = edges(100, 50, 320, 600);
    store("0100 0050 0320 0600");
    CPersistSDIFrame* frame = newFrame();
    frame->ActivateFrame();
    ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, normal); }));
    frame->SetSize(wxRect(500, 300, 300, 300));
    ASSERT_TRUE(awaitUi([&] { return frame->GetRect() != normal; }));
    frame->ActivateFrame();
    EXPECT_TRUE(awaitUi([&] { return standsAt(*frame, normal); }));

    store("0100 0050 0320 0600", 0, 1);
    frame->ActivateFrame();
    EXPECT_TRUE(awaitUi([&] { return frame->IsMaximized(); }));
}

TEST_F(FramePlacement, ThePlacementIsStoredOnceWhileTheFrameStillExists)
{
    const wxRect first = edges(100, 50, 320, 600);
    store("0100 0050 0320 0600");
    CPersistSDIFrame* frame = newFrame();
    frame->ActivateFrame();
    ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, first); }));
    store("");
    wxWeakRef<CPersistSDIFrame> gone(frame);
    frame->Destroy();
    EXPECT_EQ(stored("Rectangle"), "0100 0050 0320 0600");
    // What is written after Destroy() stays: the deletion that follows stores nothing more.
    profile->Write("/Main Frame/Rectangle", "written later");
    ASSERT_TRUE(awaitUi([&] {
        wxTheApp->ProcessIdle();
        return !gone;
    }));
    EXPECT_EQ(stored("Rectangle"), "written later");

    // Deleted without Destroy(), the frame still stores its placement.
    const wxRect second = edges(200, 100, 500, 400);
    store("0200 0100 0500 0400");
    frame = newFrame();
    frame->ActivateFrame();
    ASSERT_TRUE(awaitUi([&] { return standsAt(*frame, second); }));
    store("");
    delete frame;
    EXPECT_EQ(stored("Rectangle"), "0200 0100 0500 0400");
}

TEST_F(FramePlacement, AFrameNeitherLoadedNorShownStoresNothing)
{
    store("0100 0050 0320 0600");
    destroy(newFrame());
    EXPECT_EQ(stored("Rectangle"), "0100 0050 0320 0600");
}

TEST_F(FramePlacement, WithoutASectionNameThePlacementIsKeptUnderWindowSize)
{
    auto* frame = new wxFrame(nullptr, wxID_ANY, "tool");
    {
        WindowPlacement placement(*frame, *profile);
        EXPECT_EQ(placement.section().ToStdString(), "Window size");
        placement.setDefaultRect(edges(100, 50, 320, 600));
        placement.load();
        placement.save();
    }
    frame->Destroy();
    EXPECT_EQ(profile->Read("/Window size/Rectangle", "<none>").ToStdString(), "0100 0050 0320 0600");
    EXPECT_FALSE(profile->HasGroup("/Main Frame"));
}

} // namespace
