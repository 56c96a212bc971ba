// Shared browsing between two whole programs: alice and bob (who list each other) signed in
// to the real server, each `orvane` with the webjoin library beside it, on one desktop, and
// the pages served by nginx on loopback. The test works the windows as a person would
// (mouse and keys through the X server) and looks at what each window shows: every page
// has a colour of its own, read back from the screen.

#include "tests/core/ClientTestSupport.h"
#include "tests/network/NginxServer.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr auto PageTime = std::chrono::seconds(30);

struct Colour {
    unsigned char r, g, b;
    const char* name;
};
const Colour Red{255, 0, 0, "red"};
const Colour Green{0, 192, 0, "green"};
const Colour Blue{0, 0, 255, "blue"};
const Colour Yellow{255, 255, 0, "yellow"};
const Colour Cyan{0, 255, 255, "cyan"};

std::string css(const Colour& c)
{
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

// A page that is one colour from edge to edge; `inside` goes into its body.
std::string page(const Colour& colour, const std::string& inside = "")
{
    return "<!DOCTYPE html><html><head><title>" + std::string(colour.name) +
           "</title></head><body style=\"margin:0;background:" + css(colour) + "\">" + inside + "</body></html>";
}

// The pixel's name among the pages' colours, or its values.
std::string colourAt(int x, int y)
{
    const wxImage pixel = screenImage(wxRect(x, y, 1, 1));
    if (!pixel.IsOk())
        return "unreadable";
    const int r = pixel.GetRed(0, 0), g = pixel.GetGreen(0, 0), b = pixel.GetBlue(0, 0);
    for (const Colour& c : {Red, Green, Blue, Yellow, Cyan})
        if (std::abs(r - c.r) < 12 && std::abs(g - c.g) < 12 && std::abs(b - c.b) < 12)
            return c.name;
    return std::to_string(r) + "," + std::to_string(g) + "," + std::to_string(b);
}

// The middle of the pixels in the area that pass the test; (-1, -1) when none does.
template <class Test>
wxPoint middleOf(const wxRect& area, Test test)
{
    const wxImage image = screenImage(area);
    int left = area.width, right = -1, top = area.height, bottom = -1;
    for (int y = 0; image.IsOk() && y < area.height; ++y)
        for (int x = 0; x < area.width; ++x)
            if (test(image.GetRed(x, y), image.GetGreen(x, y), image.GetBlue(x, y))) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (right < 0)
        return wxPoint(-1, -1);
    return wxPoint(area.x + (left + right) / 2, area.y + (top + bottom) / 2);
}

// One `orvane` as a process with folders of its own, the build's module libraries beside it.
struct Program {
    Program(const std::string& name, const std::string& password, const std::string& serverUrl)
        : user(name), folders(serverUrl)
    {
        folders.writeAccount(name, password);
        const std::string program = ORVANE_PROGRAM;
        const std::string modules = program.substr(0, program.rfind('/')) + "/modules";
        EXPECT_EQ(::symlink(modules.c_str(), (folders.programFolder + "/modules").c_str()), 0);
        ::mkdir((folders.root / "cache").c_str(), 0700);
        ::mkdir((folders.root / "data").c_str(), 0700);
    }

    // Starts it and waits for its main window.
    bool start()
    {
        // Each program keeps its web caches apart, as two users' would be.
        ScopedEnv env[] = {{"ORVANE_PROGRAM_DIR", folders.programFolder.c_str()},
                           {"XDG_CONFIG_HOME", folders.configHome.c_str()},
                           {"XDG_CACHE_HOME", (folders.root / "cache").c_str()},
                           {"XDG_DATA_HOME", (folders.root / "data").c_str()},
                           {"ORVANE_RUNTIME_DIR", folders.runtimeDir.c_str()},
                           {"ORVANE_REGISTRY_DIR", folders.registryDir.c_str()},
                           {"ORVANE_AUDIO_DEVICE", ("file:" + played()).c_str()},
                           {"ASAN_OPTIONS", "detect_leaks=0"}};
        if (!process.start({ORVANE_PROGRAM}, log()))
            return false;
        const bool shown = waitUntil([&] { return (main = windowTitled(user + " - Orvane")) != 0; }, PageTime);
        EXPECT_TRUE(shown) << user << " has no main window; its output:\n" << output();
        return shown;
    }

    XWindowId windowTitled(const std::string& title)
    {
        for (XWindowId w : windowsOfProcess(process.pid()))
            if (windowTitle(w) == title && windowShown(w) == WindowShown::Shown)
                return w;
        return 0;
    }

    std::string log() const { return folders.root / "output.log"; }
    // What the program played (its own sounds in these folders are not playable).
    std::string played() const { return folders.root / "played.wav"; }
    std::string output() const { return readBytes(log()); }

    std::string user;
    ClientFolders folders;
    PeerProcess process;
    XWindowId main = 0;
};

class SharedBrowsing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        ASSERT_TRUE(web.ok());
        const std::string link = "<a href=\"b.html\" style=\"position:fixed;left:0;top:0;right:0;bottom:0\"></a>";
        web.putFile("a.html", page(Red, link));
        web.putFile("b.html", page(Green));
        web.putFile("c.html", page(Blue));
        web.putFile("d.html", page(Cyan));
        web.putFile("framed.html", page(Yellow, "<iframe src=\"frame.html\" style=\"position:fixed;left:0;top:0;"
                                                "width:60px;height:60px;border:0\"></iframe>"));
        web.putFile("frame.html", page(Green));
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        const std::string url = "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/";
        alice = std::make_unique<Program>("alice", "alice-pw", url);
        bob = std::make_unique<Program>("bob", "bob-pw", url);
        ASSERT_TRUE(alice->start());
        ASSERT_TRUE(bob->start());
        // Side by side: bob's main window to the left of alice's, both at the right.
        askToMove(bob->main, DesktopSession::Width - 480, 40);
    }

    // Brings the window up with the focus, as a click on its caption would.
    void activate(XWindowId window)
    {
        askToActivate(window);
        ASSERT_TRUE(waitUntil([&] { return activeWindow() == window; })) << "the window did not take the focus";
    }

    void clickAt(int x, int y)
    {
        wxUIActionSimulator mouse;
        mouse.MouseMove(x, y);
        mouse.MouseClick();
    }

    // The session window with the title, moved to (x, y) once it is there; 0 when it never came.
    XWindowId sessionWindow(Program& program, const std::string& title, int x, int y)
    {
        XWindowId window = 0;
        if (!waitUntil([&] { return (window = program.windowTitled(title)) != 0; }, PageTime)) {
            ADD_FAILURE() << "no window \"" << title << "\" from " << program.user << "; its output:\n"
                          << program.output();
            return 0;
        }
        askToMove(window, x, y);
        const bool moved = waitUntil([&] {
            const WindowRect r = windowRect(window);
            return std::abs(r.x - x) < 40 && std::abs(r.y - y) < 60;
        });
        EXPECT_TRUE(moved) << "the window manager did not move " << title;
        return window;
    }

    // Types the address into the session window's address box and presses Enter.
    void goTo(XWindowId window, const std::string& address)
    {
        activate(window);
        const WindowRect r = windowRect(window);
        clickAt(r.x + 300, r.y + 16);
        wxUIActionSimulator keys;
        keys.Char('a', wxMOD_CONTROL);
        keys.Text(address.c_str());
        keys.Char(WXK_RETURN);
    }

    // What the page area of the window shows, by its colour's name.
    std::string shows(XWindowId window)
    {
        const WindowRect r = windowRect(window);
        return colourAt(r.x + 400, r.y + 300);
    }

    // Both windows show the colour in time.
    void expectBothShow(XWindowId a, XWindowId b, const Colour& colour, const char* step)
    {
        EXPECT_TRUE(waitUntil([&] { return shows(a) == colour.name; }, PageTime))
            << step << ": alice's window shows " << shows(a);
        EXPECT_TRUE(waitUntil([&] { return shows(b) == colour.name; }, PageTime))
            << step << ": bob's window shows " << shows(b) << "; bob's output:\n" << bob->output();
    }

    // How often nginx answered the request line, e.g. "GET /r 302".
    int served(const std::string& request)
    {
        std::istringstream lines(web.accessLog());
        int count = 0;
        for (std::string line; std::getline(lines, line);)
            if (line.size() > request.size() &&
                line.compare(line.size() - request.size(), request.size(), request) == 0)
                ++count;
        return count;
    }

    DesktopSession desktop;
    NginxServer web{"    location = /r { return 302 /c.html; }\n"
                    "    location / { add_header Cache-Control no-store; }\n"};
    ServerProcess server;
    std::unique_ptr<Program> alice;
    std::unique_ptr<Program> bob;
};

} // namespace

TEST_F(SharedBrowsing, EveryTopLevelPageOfOneWindowIsFollowedByThePeersWindow)
{
    // alice selects bob in her contact tree (his online picture is the green one) and clicks
    // the Webjoin button at the top of her action bar.
    activate(alice->main);
    const WindowRect main = windowRect(alice->main);
    const auto bobsRow = [&] {
        return middleOf(wxRect(main.x, main.y + 30, main.width - 60, 200),
                        [](int r, int g, int b) { return g > 120 && g > r + 60 && g > b + 60; });
    };
    ASSERT_TRUE(waitUntil([&] { return bobsRow().x >= 0; }, PageTime)) << "bob is not online in alice's tree";
    const wxPoint bobRow = bobsRow();
    clickAt(bobRow.x, bobRow.y);
    const wxRect bar(main.x + main.width - 60, main.y + 30, 60, 120);
    const auto lit = [](int r, int g, int b) { return r + g + b > 450; };
    ASSERT_TRUE(waitUntil([&] { return middleOf(bar, lit).x >= 0; })) << "no Webjoin button";
    const wxPoint button = middleOf(bar, lit);
    clickAt(button.x, button.y);

    // Her window opens at once; bob hears of it with her first page.
    const XWindowId mine = sessionWindow(*alice, "bob - Webjoin", 0, 0);
    ASSERT_NE(mine, 0u);
    EXPECT_EQ(bob->windowTitled("alice - Webjoin"), 0u);
    const size_t playedBefore = readBytes(bob->played()).size();
    goTo(mine, web.url("/a.html"));
    const XWindowId theirs = sessionWindow(*bob, "alice - Webjoin", 0, 400);
    ASSERT_NE(theirs, 0u);
    expectBothShow(mine, theirs, Red, "a typed address");
    EXPECT_TRUE(waitUntil([&] { return readBytes(bob->played()).size() > playedBefore + 44; }))
        << "bob's window came with the module's sound";

    // bob answers from the window that alice's record opened, and alice follows. His window
    // sent nothing before (its first page, about:blank, kept the mark of alice's page), so
    // each page was fetched once in each window: a record sent back would have had alice
    // fetch her page again before bob's.
    goTo(theirs, web.url("/d.html"));
    expectBothShow(mine, theirs, Cyan, "bob's answer");
    EXPECT_EQ(served("GET /a.html 200"), 2) << web.accessLog();
    EXPECT_EQ(served("GET /d.html 200"), 2) << web.accessLog();
    goTo(mine, web.url("/a.html"));
    expectBothShow(mine, theirs, Red, "alice's page again");

    // A link in the page, then Back (the first button of the bar).
    activate(mine);
    clickAt(windowRect(mine).x + 400, windowRect(mine).y + 300);
    expectBothShow(mine, theirs, Green, "a link");
    activate(mine);
    clickAt(windowRect(mine).x + 15, windowRect(mine).y + 16);
    expectBothShow(mine, theirs, Red, "back");

    // A redirect: bob is sent where it ended, never through the redirect himself.
    goTo(mine, web.url("/r"));
    expectBothShow(mine, theirs, Blue, "a redirect");
    // A page with a frame: only the page is sent.
    goTo(mine, web.url("/framed.html"));
    expectBothShow(mine, theirs, Yellow, "a page with a frame");

    // bob navigates, alice follows.
    goTo(theirs, web.url("/d.html"));
    expectBothShow(mine, theirs, Cyan, "bob's address");
    // Every record before bob's has been replayed by now: a frame or a redirect's first
    // hop sent to bob would have been fetched by him once more.
    EXPECT_EQ(served("GET /r 302"), 1) << web.accessLog();
    EXPECT_EQ(served("GET /c.html 200"), 2) << web.accessLog();
    EXPECT_EQ(served("GET /frame.html 200"), 2) << "one frame in each window\n" << web.accessLog();

    // bob closes his window; alice's goes on, and her next page opens a new one at bob's.
    askToClose(theirs);
    ASSERT_TRUE(waitUntil([&] { return bob->windowTitled("alice - Webjoin") == 0; }));
    goTo(mine, web.url("/b.html"));
    EXPECT_TRUE(waitUntil([&] { return shows(mine) == Green.name; }, PageTime))
        << "alice's window shows " << shows(mine);
    const XWindowId again = sessionWindow(*bob, "alice - Webjoin", 0, 400);
    ASSERT_NE(again, 0u);
    EXPECT_NE(again, theirs);
    EXPECT_TRUE(waitUntil([&] { return shows(again) == Green.name; }, PageTime))
        << "bob's new window shows " << shows(again);
    // The new window did not send alice's page back either: once bob's next page has come
    // to alice, the page was fetched once in each window of this visit (two before).
    goTo(again, web.url("/c.html"));
    expectBothShow(mine, again, Blue, "bob's page from his new window");
    EXPECT_EQ(served("GET /b.html 200"), 4) << web.accessLog();

    // Both programs end through Exit with their windows open, the library let go cleanly.
    for (Program* program : {alice.get(), bob.get()}) {
        activate(program->main);
        wxUIActionSimulator keys;
        keys.Char('f', wxMOD_ALT);
        keys.Char('x');
        EXPECT_TRUE(waitUntil([&] { return !program->process.running(); }, PageTime))
            << program->user << " did not end";
        EXPECT_TRUE(program->process.exitedCleanly()) << program->user << "'s output:\n" << program->output();
        const std::string output = program->output();
        EXPECT_EQ(output.find("AddressSanitizer"), std::string::npos) << output;
        EXPECT_EQ(output.find("runtime error"), std::string::npos) << output;
        EXPECT_EQ(output.find("cannot open display"), std::string::npos) << output;
    }
}
