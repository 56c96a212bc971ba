// Start-up to the first painted main window: the program `orvane` started as a process, timed
// from the spawn until its top-level window is mapped on the X server and painted (its middle
// no longer the unpainted black of a new window), against the peer: a bare wx program that
// shows one frame of the same size at once (bare_frame.cpp). Each run is a fresh process with
// folders of its own; the program's server address leads nowhere, since the window comes
// before the sign-in. The program takes the installation's config.ini, colours and all.

#include <benchmark/benchmark.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

Display* display()
{
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

pid_t pidOf(Window window)
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    pid_t pid = -1;
    if (XGetWindowProperty(display(), window, XInternAtom(display(), "_NET_WM_PID", False), 0, 1, False, XA_CARDINAL,
                           &type, &format, &count, &after, &data) == Success &&
        data && count == 1)
        pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

bool painted(Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display(), window, &attributes) || attributes.map_state != IsViewable)
        return false;
    // What the screen shows there, child windows and all.
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display(), window, DefaultRootWindow(display()), attributes.width / 2,
                          attributes.height / 2, &x, &y, &child);
    XImage* image = XGetImage(display(), DefaultRootWindow(display()), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return false;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return pixel != 0;
}

// Spawns the program and answers the seconds until its window shows painted; -1 when it
// did not within ten seconds. The program is killed afterwards.
double timeToWindow(const std::vector<std::string>& args)
{
    Display* d = display();
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, True);
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    double seconds = -1;
    std::vector<Window> mapped;
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(10)) {
        while (XPending(d)) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == MapNotify)
                mapped.push_back(event.xmap.window);
        }
        bool done = false;
        for (Window w : mapped)
            if (pidOf(w) == pid && painted(w))
                done = true;
        if (done) {
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            break;
        }
        usleep(500);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return seconds;
}

std::string folder()
{
    static std::string dir = [] {
        char pattern[] = "/tmp/orvane-startup-XXXXXX";
        std::string path = mkdtemp(pattern);
        for (const char* sub : {"/program", "/config", "/runtime", "/registry"})
            mkdir((path + sub).c_str(), 0700);
        // The installation's config.ini, with its colours (the one the build puts beside
        // the program); its server is not running, which start-up does not wait for.
        std::ifstream installed(std::string(ORVANE_PROGRAM).substr(0, std::string(ORVANE_PROGRAM).rfind('/')) +
                                "/config.ini");
        std::ofstream(path + "/program/config.ini") << installed.rdbuf();
        std::ofstream(path + "/program/account.ini")
            << "<xml><server><username>bench</username><auto_proxy>no</auto_proxy></server></xml>";
        setenv("ORVANE_PROGRAM_DIR", (path + "/program").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
        setenv("ORVANE_RUNTIME_DIR", (path + "/runtime").c_str(), 1);
        setenv("ORVANE_REGISTRY_DIR", (path + "/registry").c_str(), 1);
        return path;
    }();
    return dir;
}

void run(benchmark::State& state, const std::string& program)
{
    if (!display()) {
        state.SkipWithError("no display: run it under scripts/with-xvfb");
        return;
    }
    folder();
    for (auto _ : state) {
        const double seconds = timeToWindow({program});
        if (seconds < 0) {
            state.SkipWithError("no window within ten seconds");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

void BM_StartupToPaintedWindow_Orvane(benchmark::State& state)
{
    run(state, ORVANE_PROGRAM);
}

void BM_StartupToPaintedWindow_BareWxFrame(benchmark::State& state)
{
    run(state, BARE_FRAME_PROGRAM);
}

} // namespace

BENCHMARK(BM_StartupToPaintedWindow_Orvane)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartupToPaintedWindow_BareWxFrame)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
