// The sliding notice on a real display. Where it is comes from the X server (its window's
// place on the root window, sampled at every turn of the event loop), what it shows from
// the screen's pixels or its drawing, the work area from the root window's property as the
// test or a window manager (openbox with a panel of the test's) sets it, and the pointer
// and clicks go through the X server.

#include "core/app/ThreadMessages.h"
#include "core/module/ModuleBase.h"
#include "resources/ProgramImages.h"
#include "resources/ResourceIds.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/PixelProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/CTaskbarNotifier.h"
#include "ui/WorkArea.h"
#include "ui/kit/ResourceBitmaps.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

// Last: Xlib's macros (None, Bool, Status) would trip the headers above.
#include <X11/Xatom.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Clock = std::chrono::steady_clock;
using State = CTaskbarNotifier::State;
using Direction = CTaskbarNotifier::Direction;

constexpr int ScreenWidth = DesktopSession::Width;
constexpr int ScreenHeight = DesktopSession::Height;
// Bitmap 160.
constexpr int NoticeWidth = 143;
constexpr int NoticeHeight = 82;
constexpr ColorRef Black = 0x000000;
constexpr ColorRef White = 0xffffff;
constexpr ColorRef HoverGreen = 0x14c814; // RGB(20, 200, 20)
constexpr ColorRef Red = 0x0000ff;
// Pictures of the test's own, registered beside the program's.
constexpr int RedSkin = 9160;
constexpr int FlatSkin = 9161;
constexpr int NarrowSkin = 9162;

Display* xdisplay()
{
    return GDK_DISPLAY_XDISPLAY(gdk_display_get_default());
}

// The root window's work area: published as the window manager publishes it, or taken away.
void publishWorkArea(const wxRect& area)
{
    const long values[4] = {area.x, area.y, area.width, area.height};
    Display* x = xdisplay();
    XChangeProperty(x, DefaultRootWindow(x), XInternAtom(x, "_NET_WORKAREA", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(values), 4);
    XSync(x, False);
}

void withdrawWorkArea()
{
    Display* x = xdisplay();
    XDeleteProperty(x, DefaultRootWindow(x), XInternAtom(x, "_NET_WORKAREA", False));
    XDeleteProperty(x, DefaultRootWindow(x), XInternAtom(x, "_NET_CURRENT_DESKTOP", False));
    XSync(x, False);
}

// A desktop panel: an X window of its own connection along one screen edge, typed as a dock
// and reserving its strip, as panels ask the window manager for their room.
class Panel {
public:
    enum Edge { Left, Right, Top, Bottom };

    Panel(Edge edge, int thickness) : display_(XOpenDisplay(nullptr))
    {
        if (!display_)
            return;
        wxRect strip(0, ScreenHeight - thickness, ScreenWidth, thickness);
        // left, right, top, bottom, then the start and end of each along its edge.
        long strut[12] = {};
        switch (edge) {
        case Left:
            strip = wxRect(0, 0, thickness, ScreenHeight);
            strut[0] = thickness;
            strut[5] = ScreenHeight - 1;
            break;
        case Right:
            strip = wxRect(ScreenWidth - thickness, 0, thickness, ScreenHeight);
            strut[1] = thickness;
            strut[7] = ScreenHeight - 1;
            break;
        case Top:
            strip = wxRect(0, 0, ScreenWidth, thickness);
            strut[2] = thickness;
            strut[9] = ScreenWidth - 1;
            break;
        case Bottom:
            strut[3] = thickness;
            strut[11] = ScreenWidth - 1;
            break;
        }
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), strip.x, strip.y,
                                      static_cast<unsigned>(strip.width), static_cast<unsigned>(strip.height), 0, 0,
                                      0x405060);
        const Atom dock = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DOCK", False);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&dock), 1);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
        XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 4);
        XMapWindow(display_, window_);
        XSync(display_, False);
    }
    ~Panel()
    {
        if (!display_)
            return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    bool ok() const { return display_ != nullptr; }

private:
    Display* display_;
    Window window_ = 0;
};

// A module that keeps the windows it was asked to show.
class ShowingModule : public ModuleBase {
public:
    std::vector<WindowHandle> shown;

    bool init(IModuleHost*) override { return true; }
    void shutdown() override {}
    const char* getId() override { return "Probe"; }
    const char* getName() override { return "Probe"; }
    const char* getVersion() override { return "1.0"; }
    const char* getDisplayName() override { return "Probe"; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return "shows its window when told"; }
    void actOn(IContact*) override {}
    void onIncomingConnection(IContact*, IModuleConnection*) override {}
    void showWindow(WindowHandle window) override { shown.push_back(window); }
};

// One look at the notice on the screen.
struct Sample {
    double ms; // since the trace's origin
    wxPoint position;
    bool shown; // mapped and viewable
    State state;
};

// Where the X server has the notice's window, and whether it shows.
Sample look(CTaskbarNotifier& notice, Clock::time_point origin)
{
    Sample sample{std::chrono::duration<double, std::milli>(Clock::now() - origin).count(), wxPoint(), false,
                  notice.GetState()};
    GdkWindow* window = gtk_widget_get_window(static_cast<GtkWidget*>(notice.GetHandle()));
    if (!window)
        return sample;
    Display* x = xdisplay();
    const Window id = gdk_x11_window_get_xid(window);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x, id, &attributes))
        return sample;
    sample.shown = attributes.map_state == IsViewable;
    Window child = 0;
    XTranslateCoordinates(x, id, DefaultRootWindow(x), 0, 0, &sample.position.x, &sample.position.y, &child);
    return sample;
}

// One turn of the event loop without pausing while something is due, so that a timer of a
// few milliseconds fires on time and not when the test next looks.
void turnEventLoop()
{
    wxTheApp->ProcessPendingEvents();
    if (!g_main_context_iteration(nullptr, FALSE))
        g_usleep(300);
}

// Looks at the notice at every turn of the event loop until the condition holds for a look
// or the limit passes; the last look is the one that satisfied it.
std::vector<Sample> trace(CTaskbarNotifier& notice, Clock::time_point origin,
                          const std::function<bool(const Sample&)>& until,
                          std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    std::vector<Sample> samples;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        samples.push_back(look(notice, origin));
        if (until(samples.back()))
            break;
        turnEventLoop();
    }
    return samples;
}

// The times of a whole run of a notice that rises from a bottom edge and falls back: when it
// first stood fully shown, when it first left that place, when it was first gone.
struct Phases {
    double shown = -1;
    double left = -1;
    double hidden = -1;
};

Phases phasesOf(const std::vector<Sample>& samples, int fullyShownY)
{
    Phases phases;
    for (const Sample& s : samples) {
        if (phases.shown < 0) {
            if (s.shown && s.position.y == fullyShownY)
                phases.shown = s.ms;
        } else if (phases.left < 0) {
            if (!s.shown || s.position.y != fullyShownY)
                phases.left = s.ms;
        }
        if (phases.left >= 0 && !s.shown) {
            phases.hidden = s.ms;
            break;
        }
    }
    return phases;
}

// Kinds of pixel of the texts, which are drawn smoothed: a glyph's pixels lie between its
// colour and the skin's, and a one-pixel line may cover its row only in part.
struct Rgb {
    int r, g, b;
};
using PixelKind = bool (*)(const Rgb&);
bool isDark(const Rgb& p)
{
    return std::max({p.r, p.g, p.b}) <= 160;
}
bool isGreen(const Rgb& p)
{
    return p.g - std::max(p.r, p.b) >= 60;
}
// Light on the title's dark blue band.
bool isLight(const Rgb& p)
{
    return std::min({p.r, p.g, p.b}) >= 180;
}

// The longest horizontal run of pixels of the kind inside the rectangle.
int longestRun(const wxImage& image, const wxRect& area, PixelKind kind)
{
    int longest = 0;
    for (int y = area.y; y <= area.GetBottom(); ++y) {
        int run = 0;
        for (int x = area.x; x <= area.GetRight(); ++x) {
            run = kind(Rgb{image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)}) ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    return longest;
}

// The smallest rectangle holding every pixel where the pictures differ; empty when none do.
wxRect differenceBox(const wxImage& a, const wxImage& b)
{
    int left = a.GetWidth(), top = a.GetHeight(), right = -1, bottom = -1;
    for (int y = 0; y < a.GetHeight(); ++y) {
        for (int x = 0; x < a.GetWidth(); ++x) {
            if (a.GetRed(x, y) != b.GetRed(x, y) || a.GetGreen(x, y) != b.GetGreen(x, y) ||
                a.GetBlue(x, y) != b.GetBlue(x, y)) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    return right < 0 ? wxRect() : wxRect(wxPoint(left, top), wxPoint(right, bottom));
}

ColorRef colourAt(const wxImage& image, int x, int y)
{
    return colorRefOf(wxColour(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y)));
}

// The notice in the test's own frame, dressed as the program's main frame dresses it, on a
// screen whose root window tells no work area unless the test publishes one. The frame
// takes the click message the way the main frame does: the module's window is shown.
class TaskbarNotifier : public ::testing::Test {
protected:
    TaskbarNotifier()
    {
        EXPECT_TRUE(registerProgramImages());
        registerResourceBitmap(RedSkin, filledBitmap(143, 30, Red));
        registerResourceBitmap(FlatSkin, filledBitmap(143, 1, Red));
        registerResourceBitmap(NarrowSkin, filledBitmap(1, 82, Red));
        withdrawWorkArea();
        owner = new wxFrame(nullptr, wxID_ANY, "owner", wxPoint(0, 0), wxSize(200, 150));
        // Shown: wx's input simulation takes the display's scale from a shown window.
        owner->Show();
        owner->Bind(
            EVT_NOTIFIER_CLICK,
            [this](NotifierClickEvent& event) {
                clicks.push_back(event.GetId());
                if (event.module())
                    event.module()->showWindow(event.window());
            },
            ThreadMessage::NotifierClick);
        notice = new CTaskbarNotifier;
        EXPECT_TRUE(notice->Create(owner, ThreadMessage::NotifierClick));
        dressAsTheProgramDoes(*notice);
    }

    ~TaskbarNotifier() override
    {
        // The notice goes with its owner.
        owner->Destroy();
        wxTheApp->ProcessPendingEvents();
        withdrawWorkArea();
    }

    static void dressAsTheProgramDoes(CTaskbarNotifier& n)
    {
        EXPECT_TRUE(n.SetSkin(BitmapNotice, 255, 0, 255));
        n.SetTitle("Orvane");
        n.SetTitleFont("MS Sans Serif", 9, CTaskbarNotifier::Bold);
        n.SetTitleColor(White, Black);
        n.SetTitleRect(8, 2, 131, 13);
        n.SetTextFont("MS Sans Serif", 9, 0, CTaskbarNotifier::Underline);
        n.SetTextColor(Black, HoverGreen);
        EXPECT_EQ(n.GetSkinSize(), wxSize(NoticeWidth, NoticeHeight));
        n.SetTextRect(8, 20, NoticeWidth - 11, NoticeHeight - 8);
    }

    // The notice's whole picture as render draws it.
    wxImage drawn()
    {
        wxBitmap bitmap(NoticeWidth, NoticeHeight, 24);
        wxMemoryDC dc(bitmap);
        notice->render(dc);
        dc.SelectObject(wxNullBitmap);
        return bitmap.ConvertToImage();
    }

    // Runs until the notice stands still fully shown and waits.
    bool awaitWaiting()
    {
        return waitUntil([this] { return notice->GetState() == State::Waiting; });
    }

    // Puts the pointer there and waits until the X server has it there.
    void pointAt(const wxPoint& at)
    {
        mouse.MouseMove(at);
        EXPECT_TRUE(waitUntil([&] { return wxGetMousePosition() == at; })) << at.x << "," << at.y;
    }

    wxFrame* owner;
    CTaskbarNotifier* notice;
    std::vector<int> clicks;
    wxUIActionSimulator mouse;
};

} // namespace

TEST_F(TaskbarNotifier, WithoutAWorkAreaItRisesFromTheScreensBottomStaysFiveSecondsAndFallsBack)
{
    ASSERT_EQ(WorkArea::current().work, wxRect(0, 0, ScreenWidth, ScreenHeight)) << "no work area published";
    const int x = ScreenWidth - NoticeWidth;
    const int fullyShownY = ScreenHeight - NoticeHeight;

    const auto origin = Clock::now();
    notice->Show(wxString("bob is online"), false);
    EXPECT_EQ(notice->GetDirection(), Direction::Up);
    EXPECT_EQ(notice->GetShowStepInterval(), 4) << "200 ms over 41 steps";
    EXPECT_EQ(notice->GetHideStepInterval(), 4);
    const std::vector<Sample> samples =
        trace(*notice, origin, [](const Sample& s) { return !s.shown && s.state == State::Hidden; });
    ASSERT_FALSE(samples.empty());
    EXPECT_TRUE(samples.front().shown);
    EXPECT_EQ(samples.front().position, wxPoint(x, ScreenHeight)) << "starts just below the edge";

    // Up in steps of 2, held, then down the same way; never sideways, never beyond.
    int highest = ScreenHeight;
    bool falling = false;
    for (size_t i = 0; i < samples.size(); ++i) {
        const Sample& s = samples[i];
        if (!s.shown)
            continue;
        SCOPED_TRACE(::testing::Message() << "at " << s.ms << " ms: " << s.position.x << "," << s.position.y);
        EXPECT_EQ(s.position.x, x);
        EXPECT_GE(s.position.y, fullyShownY);
        EXPECT_LE(s.position.y, ScreenHeight);
        EXPECT_EQ((ScreenHeight - s.position.y) % 2, 0);
        if (i > 0 && samples[i - 1].shown) {
            if (s.position.y > samples[i - 1].position.y)
                falling = true;
            if (falling) {
                EXPECT_GE(s.position.y, samples[i - 1].position.y) << "no second rise";
            }
        }
        highest = std::min(highest, s.position.y);
    }
    EXPECT_EQ(highest, fullyShownY);

    const Phases phases = phasesOf(samples, fullyShownY);
    ASSERT_GE(phases.shown, 0);
    ASSERT_GE(phases.left, 0);
    ASSERT_GE(phases.hidden, 0);
    const double in = phases.shown;
    const double stay = phases.left - phases.shown;
    const double out = phases.hidden - phases.left;
    std::printf("measured: slide out %.1f ms, shown %.1f ms, slide back %.1f ms\n", in, stay, out);
    // 41 steps of 4 ms each way; timers never fire early, a loaded machine fires them late.
    EXPECT_GE(in, 41 * 4 - 5);
    EXPECT_LE(in, 1000);
    EXPECT_GE(stay, 5000 - 5);
    EXPECT_LE(stay, 6000);
    EXPECT_GE(out, 40 * 4 - 5);
    EXPECT_LE(out, 1000);
    EXPECT_EQ(notice->GetState(), State::Hidden);
}

TEST_F(TaskbarNotifier, ThePanelsEdgeDecidesWhereTheNoticeComesFrom)
{
    const struct {
        const char* what;
        wxRect work;
        Direction direction;
        wxPoint start;
        wxPoint fullyShown;
    } cases[] = {
        {"bottom", wxRect(0, 0, 1280, 990), Direction::Up, {1280 - 143, 990}, {1280 - 143, 990 - 82}},
        {"top", wxRect(0, 30, 1280, 994), Direction::Down, {1280 - 143, 30 - 82}, {1280 - 143, 30}},
        // Sideways it comes in at the work area's bottom; the last step overshoots by the
        // one pixel that 143 is odd. From the left it passes x = -1 on the way.
        {"left", wxRect(50, 0, 1230, 1000), Direction::Right, {50 - 143, 1000 - 82}, {51, 1000 - 82}},
        {"right", wxRect(0, 0, 1200, 1024), Direction::Left, {1200, 1024 - 82}, {1200 - 144, 1024 - 82}},
        {"none", wxRect(0, 0, 1280, 1024), Direction::Up, {1280 - 143, 1024}, {1280 - 143, 1024 - 82}},
    };
    notice->SetTimings(100, 60000, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        publishWorkArea(c.work);
        const auto origin = Clock::now();
        notice->Show(wxString("moved"), false);
        EXPECT_EQ(notice->GetDirection(), c.direction);
        const std::vector<Sample> samples =
            trace(*notice, origin, [](const Sample& s) { return s.state == State::Waiting; });
        ASSERT_FALSE(samples.empty());
        EXPECT_EQ(samples.front().position, c.start);
        EXPECT_EQ(samples.back().position, c.fullyShown);
        // Along one axis only, a step of 2 at a time: the timer fires at most once a turn.
        const bool vertical = c.direction == Direction::Up || c.direction == Direction::Down;
        for (size_t i = 0; i < samples.size(); ++i) {
            const wxPoint at = samples[i].position;
            EXPECT_EQ(vertical ? at.x : at.y, vertical ? c.start.x : c.start.y) << samples[i].ms;
            if (i > 0) {
                const wxPoint moved = at - samples[i - 1].position;
                const int step = std::abs(vertical ? moved.y : moved.x);
                EXPECT_TRUE(step == 0 || step == 2) << step << " at " << at.x << "," << at.y;
            }
        }
        notice->Hide();
    }
}

TEST_F(TaskbarNotifier, TheWindowManagersWorkAreaLeavesThePanelUncovered)
{
    DesktopSession desktop;
    ASSERT_TRUE(desktop.ok());
    const struct {
        const char* what;
        Panel::Edge edge;
        wxRect work;
        Direction direction;
        wxPoint fullyShown;
    } cases[] = {
        {"bottom panel", Panel::Bottom, wxRect(0, 0, 1280, 984), Direction::Up, {1280 - 143, 984 - 82}},
        {"left panel", Panel::Left, wxRect(60, 0, 1220, 1024), Direction::Right, {61, 1024 - 82}},
    };
    notice->SetTimings(100, 60000, 100);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Panel panel(c.edge, c.edge == Panel::Bottom ? 40 : 60);
        ASSERT_TRUE(panel.ok());
        ASSERT_TRUE(waitUntil([&] { return WorkArea::current().work == c.work; }))
            << "openbox published " << WorkArea::current().work.x << "," << WorkArea::current().work.y << " "
            << WorkArea::current().work.width << "x" << WorkArea::current().work.height;
        notice->Show(wxString("from the window manager"), false);
        EXPECT_EQ(notice->GetDirection(), c.direction);
        ASSERT_TRUE(awaitWaiting());
        EXPECT_EQ(look(*notice, Clock::now()).position, c.fullyShown);
        notice->Hide();
    }
}

TEST_F(TaskbarNotifier, ASecondNoticeWhileAppearingChangesTheTextAndTheSlideGoesOn)
{
    notice->SetTimings(1000, 60000, 1000);
    notice->Show(wxString("first"), false);
    const auto origin = Clock::now();
    trace(*notice, origin, [](const Sample& s) { return s.shown && s.position.y <= ScreenHeight - 30; });
    const Sample before = look(*notice, origin);
    ASSERT_EQ(before.state, State::Appearing);

    notice->Show(wxString("second"), false);
    EXPECT_EQ(notice->GetText(), "second");
    const Sample after = look(*notice, origin);
    EXPECT_LE(after.position.y, before.position.y) << "not back to the start";
    EXPECT_EQ(after.state, State::Appearing);
    const std::vector<Sample> rest =
        trace(*notice, origin, [](const Sample& s) { return s.state == State::Waiting; });
    for (size_t i = 1; i < rest.size(); ++i)
        EXPECT_LE(rest[i].position.y, rest[i - 1].position.y) << "only up, at " << rest[i].ms << " ms";
    EXPECT_EQ(rest.back().position.y, ScreenHeight - NoticeHeight);
}

TEST_F(TaskbarNotifier, ASecondNoticeWhileWaitingStartsTheStayAfresh)
{
    constexpr int Stay = 800;
    notice->SetTimings(50, Stay, 50);
    notice->Show(wxString("first"), false);
    ASSERT_TRUE(awaitWaiting());
    const auto shownAt = Clock::now();
    ASSERT_FALSE(waitUntil([this] { return notice->GetState() != State::Waiting; }, std::chrono::milliseconds(500)));

    const auto againAt = Clock::now();
    notice->Show(wxString("second"), false);
    EXPECT_EQ(notice->GetText(), "second");
    const std::vector<Sample> samples = trace(*notice, againAt, [](const Sample& s) {
        return s.position.y != ScreenHeight - NoticeHeight || !s.shown;
    });
    const double sinceAgain = samples.back().ms;
    const double sinceShown = std::chrono::duration<double, std::milli>(Clock::now() - shownAt).count();
    std::printf("measured: stay after the second notice %.1f ms\n", sinceAgain);
    EXPECT_GE(sinceAgain, Stay - 5);
    EXPECT_LE(sinceAgain, Stay + 1000);
    EXPECT_GE(sinceShown, 500 + Stay - 5) << "the first stay did not end it";
}

TEST_F(TaskbarNotifier, ASecondNoticeWhileDisappearingJumpsBackAndStaysTheWholeStayAgain)
{
    constexpr int Stay = 600;
    notice->SetTimings(50, Stay, 2000);
    notice->Show(wxString("first"), false);
    const auto origin = Clock::now();
    const std::vector<Sample> falling = trace(*notice, origin, [](const Sample& s) {
        return s.state == State::Disappearing && s.position.y >= ScreenHeight - NoticeHeight + 20;
    });
    ASSERT_EQ(falling.back().state, State::Disappearing);

    const auto againAt = Clock::now();
    notice->Show(wxString("second"), false);
    const Sample jumped = look(*notice, againAt);
    EXPECT_EQ(jumped.position, wxPoint(ScreenWidth - NoticeWidth, ScreenHeight - NoticeHeight));
    EXPECT_EQ(jumped.state, State::Disappearing) << "the state stays until the slide back resumes";
    EXPECT_EQ(notice->GetText(), "second");
    const std::vector<Sample> held = trace(*notice, againAt, [](const Sample& s) {
        return s.position.y != ScreenHeight - NoticeHeight || !s.shown;
    });
    std::printf("measured: stay after the jump back %.1f ms\n", held.back().ms);
    EXPECT_GE(held.back().ms, Stay - 5);
    EXPECT_LE(held.back().ms, Stay + 1000);
    EXPECT_TRUE(held.back().shown) << "it slides back rather than vanishing";
    EXPECT_TRUE(waitUntil([this] { return notice->GetState() == State::Hidden; }));
}

TEST_F(TaskbarNotifier, TitleAndTextAreDrawnInTheirRectanglesAndTheHoveredTextIsUnderlinedInGreen)
{
    notice->SetTitle("");
    const wxImage bare = drawn();
    notice->Show(wxString("alice is online now and has a rather long message for you"), true);
    notice->Hide();
    const wxImage textOnly = drawn();
    notice->SetTitle("Orvane");
    const wxImage texts = drawn();

    const wxRect titleArea(8, 2, 131 - 8 + 1, 13 - 2 + 1); // with the shadow's pixel more
    const wxRect textArea(8, 20, 132 - 8, 74 - 20);
    const wxRect title = differenceBox(textOnly, texts);
    const wxRect text = differenceBox(bare, textOnly);
    ASSERT_FALSE(title.IsEmpty());
    ASSERT_FALSE(text.IsEmpty());
    EXPECT_TRUE(titleArea.Contains(title)) << title.x << "," << title.y << " " << title.width << "x" << title.height;
    EXPECT_TRUE(textArea.Contains(text)) << text.x << "," << text.y << " " << text.width << "x" << text.height;
    // Wrapped over lines, centred both ways.
    EXPECT_GT(text.height, 14) << "more than one line";
    EXPECT_NEAR(text.x - textArea.x, textArea.GetRight() - text.GetRight(), 8);
    EXPECT_GT(longestRun(texts, title, isLight), 0);
    EXPECT_GT(longestRun(texts, text, isDark), 0);
    EXPECT_LT(longestRun(texts, text, isDark), 20) << "not underlined";
    EXPECT_EQ(longestRun(texts, text, isGreen), 0);

    // Hovered, through the pointer: green and underlined.
    notice->SetTimings(50, 60000, 50);
    notice->Show(nullptr, true);
    ASSERT_TRUE(awaitWaiting());
    const wxPoint at = notice->GetScreenPosition() + wxPoint(70, 45);
    pointAt(at);
    ASSERT_TRUE(waitUntil([this] { return notice->IsHovered(); }));
    const wxImage hovered = drawn();
    EXPECT_GE(longestRun(hovered, textArea, isGreen), 40) << "the underline";
    EXPECT_EQ(longestRun(hovered, textArea, isDark), 0);
    pointAt(wxPoint(100, 500));
    EXPECT_TRUE(waitUntil([this] { return !notice->IsHovered(); }));
}

TEST_F(TaskbarNotifier, TextsOfAnyLengthStayCentredInsideTheTextRectangle)
{
    notice->SetTitle("");
    const wxImage bare = drawn();
    const wxRect textArea(8, 20, 132 - 8, 74 - 20);
    wxString manyWords;
    for (int i = 0; i < 200; ++i)
        manyWords += "word ";
    const struct {
        const char* what;
        wxString text;
        int minHeight; // of what is drawn
    } cases[] = {
        {"one line", "hi", 5},
        {"line breaks", "one\ntwo\r\nthree", 25},
        {"far too long", wxString('x', 40) + " " + manyWords, 35},
        {"a word wider than the rectangle", wxString('w', 80), 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        notice->Show(c.text, false);
        notice->Hide();
        const wxRect text = differenceBox(bare, drawn());
        ASSERT_FALSE(text.IsEmpty());
        EXPECT_TRUE(textArea.Contains(text)) << text.x << "," << text.y << " " << text.width << "x" << text.height;
        EXPECT_GE(text.height, c.minHeight);
        EXPECT_NEAR(text.y - textArea.y, textArea.GetBottom() - text.GetBottom(), 6) << "centred";
        EXPECT_NEAR(text.x - textArea.x, textArea.GetRight() - text.GetRight(), 6) << "centred";
    }
}

TEST_F(TaskbarNotifier, TheScreenShowsTheSkinTitleAndTextWithTheKeyColourCutAway)
{
    const wxRect place(ScreenWidth - NoticeWidth, ScreenHeight - NoticeHeight, NoticeWidth, NoticeHeight);
    const wxImage behind = screenImage(place);
    ASSERT_TRUE(behind.IsOk());
    notice->SetTimings(50, 60000, 50);
    notice->Show(wxString("bob is online"), false);
    ASSERT_TRUE(awaitWaiting());
    const wxImage expected = drawn();
    // Inside its shape the screen shows the skin as drawn; the texts, smoothed for the
    // screen, may differ from the drawing in their shades.
    const wxRect titleArea(8, 2, 131 - 8 + 1, 13 - 2 + 1);
    const wxRect textArea(8, 20, 132 - 8, 74 - 20);
    const auto skinDifferences = [&](const wxImage& shown) {
        int differing = 0;
        for (int y = 0; y < NoticeHeight; ++y) {
            for (int x = 0; x < NoticeWidth; ++x) {
                if (notice->GetShapeRegion().Contains(x, y) && !titleArea.Contains(x, y) &&
                    !textArea.Contains(x, y))
                    differing += colourAt(shown, x, y) != colourAt(expected, x, y);
            }
        }
        return differing;
    };
    // The rows that came in last are drawn a moment after the slide ends.
    wxImage shown;
    EXPECT_TRUE(waitUntil([&] {
        shown = screenImage(place);
        return shown.IsOk() && skinDifferences(shown) == 0;
    })) << skinDifferences(shown) << " pixels of the skin differ";

    // The key colour's corners and the columns past 140 show what was behind.
    for (const wxPoint p : {wxPoint(0, 0), wxPoint(139, 81), wxPoint(140, 40), wxPoint(142, 40)})
        EXPECT_EQ(colourAt(shown, p.x, p.y), colourAt(behind, p.x, p.y)) << p.x << "," << p.y;
    EXPECT_GT(longestRun(shown, textArea, isDark), 0) << "the text";
    EXPECT_GT(longestRun(shown, titleArea, isLight), 0) << "the title";
}

TEST_F(TaskbarNotifier, AShapeKeepsOnlyTheColumnsUpToAMultipleOfFour)
{
    ASSERT_TRUE(notice->SetSkin(RedSkin, 255, 0, 255));
    notice->SetTitle("");
    const wxRect place(ScreenWidth - 143, ScreenHeight - 30, 143, 30);
    const wxImage behind = screenImage(place);
    notice->SetTimings(50, 60000, 50);
    notice->Show(wxString(), false);
    ASSERT_TRUE(awaitWaiting());
    wxImage shown;
    ASSERT_TRUE(waitUntil([&] {
        shown = screenImage(place);
        return shown.IsOk() && colourAt(shown, 139, 15) == Red;
    }));
    for (int x = 140; x < 143; ++x)
        EXPECT_EQ(colourAt(shown, x, 15), colourAt(behind, x, 15)) << x;
    EXPECT_TRUE(notice->GetShapeRegion().Contains(139, 15));
    EXPECT_FALSE(notice->GetShapeRegion().Contains(140, 15));
}

TEST_F(TaskbarNotifier, AClickOnAModulesNoticeEndsInThatModulesShowWindow)
{
    ShowingModule module;
    int moduleWindow = 0;
    notice->SetTimings(50, 60000, 50);
    notice->SetClickParams(&module, &moduleWindow);
    notice->Show(wxString("a message from the module"), true);
    ASSERT_TRUE(awaitWaiting());
    EXPECT_EQ(gdk_cursor_get_cursor_type(notice->GetCursor().GetCursor()), GDK_HAND2);

    pointAt(notice->GetScreenPosition() + wxPoint(70, 45));
    ASSERT_TRUE(waitUntil([this] { return notice->IsHovered(); }));
    mouse.MouseClick();
    ASSERT_TRUE(waitUntil([&] { return !module.shown.empty(); }));
    EXPECT_EQ(clicks, std::vector<int>{ThreadMessage::NotifierClick});
    EXPECT_EQ(module.shown, std::vector<WindowHandle>{&moduleWindow});
    pointAt(wxPoint(100, 500));
}

TEST_F(TaskbarNotifier, APlainNoticeIgnoresThePointerAndClicksWhileAClickableOnePausesUnderIt)
{
    for (const bool clickable : {false, true}) {
        SCOPED_TRACE(clickable ? "clickable" : "plain");
        ShowingModule module;
        clicks.clear();
        notice->SetTimings(50, 1000, 300);
        notice->SetClickParams(&module, nullptr);
        notice->Show(wxString("over and out"), clickable);
        ASSERT_TRUE(awaitWaiting());
        EXPECT_EQ(gdk_cursor_get_cursor_type(notice->GetCursor().GetCursor()), clickable ? GDK_HAND2 : GDK_LEFT_PTR);

        // What the notice's own handlers have seen of the pointer, seen after them.
        bool entered = false;
        bool released = false;
        auto onEnter = [&](wxMouseEvent& e) {
            entered = true;
            e.Skip();
        };
        auto onUp = [&](wxMouseEvent& e) {
            released = true;
            e.Skip();
        };
        notice->Bind(wxEVT_ENTER_WINDOW, onEnter);
        notice->Bind(wxEVT_LEFT_UP, onUp);
        pointAt(notice->GetScreenPosition() + wxPoint(70, 45));
        ASSERT_TRUE(waitUntil([&] { return entered; }));
        EXPECT_EQ(notice->IsHovered(), clickable);
        mouse.MouseClick();
        ASSERT_TRUE(waitUntil([&] { return released; }));
        wxTheApp->ProcessPendingEvents();
        EXPECT_EQ(clicks.size(), clickable ? 1u : 0u);
        notice->Unbind(wxEVT_ENTER_WINDOW, onEnter);
        notice->Unbind(wxEVT_LEFT_UP, onUp);

        if (clickable) {
            // Well past the stay and several steps back, it has not moved.
            const wxPoint held = notice->GetScreenPosition();
            EXPECT_FALSE(waitUntil([this] { return notice->GetState() != State::Waiting; },
                                   std::chrono::milliseconds(1000 + 300)));
            EXPECT_EQ(notice->GetScreenPosition(), held);
            pointAt(wxPoint(100, 500));
        }
        EXPECT_TRUE(waitUntil([this] { return notice->GetState() == State::Hidden; }));
        pointAt(wxPoint(100, 500));
    }
}

TEST_F(TaskbarNotifier, ANoticeWithoutStepsOrWithoutTimeShowsAndHides)
{
    const struct {
        const char* what;
        int skin; // 0: none
        int show, stay, hide;
    } cases[] = {
        {"lower than a step", FlatSkin, 200, 100, 200},
        {"narrower than a step on a side panel", NarrowSkin, 200, 100, 200},
        {"no skin", 0, 200, 100, 200},
        {"zero times", BitmapNotice, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.skin == NarrowSkin)
            publishWorkArea(wxRect(0, 0, 1200, 1024));
        else
            withdrawWorkArea();
        CTaskbarNotifier* bare = new CTaskbarNotifier;
        ASSERT_TRUE(bare->Create(owner, ThreadMessage::NotifierClick));
        if (c.skin) {
            ASSERT_TRUE(bare->SetSkin(c.skin, 255, 0, 255));
        }
        bare->SetTimings(c.show, c.stay, c.hide);
        const auto origin = Clock::now();
        bare->Show(wxString("short"), false);
        EXPECT_GE(bare->GetShowStepInterval(), 1);
        EXPECT_GE(bare->GetHideStepInterval(), 1);
        bool waited = false;
        const std::vector<Sample> samples = trace(*bare, origin, [&](const Sample& s) {
            waited = waited || s.state == State::Waiting;
            return s.state == State::Hidden;
        });
        EXPECT_TRUE(waited);
        EXPECT_EQ(samples.back().state, State::Hidden);
        EXPECT_LT(samples.back().ms, c.show + c.stay + c.hide + 2000);
        bare->Destroy();
    }
}

TEST_F(TaskbarNotifier, AnUnknownSkinIsRefusedAndTheOldOneKept)
{
    EXPECT_FALSE(notice->SetSkin(4242, 255, 0, 255));
    notice->Show(wxString("still the same"), false);
    EXPECT_EQ(notice->GetSize(), wxSize(NoticeWidth, NoticeHeight));
    EXPECT_EQ(notice->GetTextRect(), wxRect(8, 20, NoticeWidth - 19, NoticeHeight - 28));
    EXPECT_TRUE(notice->GetShapeRegion().Contains(70, 40));
    notice->Hide();
    EXPECT_FALSE(notice->IsShown());
}
