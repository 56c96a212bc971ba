// Start-up to the first painted main window: the program `orvane` started as a process, timed
// from the spawn until its top-level window is mapped on the X server and painted (its middle
// no longer the unpainted black of a new window), against the peer: a bare wx program that
// shows one frame of the same size at once (bare_frame.cpp). The program's server address
// leads nowhere, since the window comes before the sign-in. The program takes the
// installation's config.ini, colours and all.
//
// The cold start is a program's first: its per-user folder, profile and registry store do not
// exist yet, and the program's own files (executable, module libraries, sounds) were dropped
// from the page cache beforehand, as after an installation or a reboot. The warm starts that
// follow find what the first one left. The system's libraries stay cached: other programs
// keep them so on a desktop.

#include <benchmark/benchmark.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
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

// A window that goes away between two requests is no reason to end the benchmark.
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

Display* display()
{
    static Display* d = [] {
        Display* opened = XOpenDisplay(nullptr);
        if (opened)
            XSetErrorHandler(ignoreXError);
        return opened;
    }();
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
    // What the screen shows there, child windows and all: the middle of the part of the
    // window that lies on the screen, never a point outside the root window.
    int left = 0, top = 0;
    Window child = 0;
    if (!XTranslateCoordinates(display(), window, DefaultRootWindow(display()), 0, 0, &left, &top, &child))
        return false;
    const Screen* screen = DefaultScreenOfDisplay(display());
    const int x0 = std::max(left, 0), y0 = std::max(top, 0);
    const int x1 = std::min(left + attributes.width, WidthOfScreen(screen));
    const int y1 = std::min(top + attributes.height, HeightOfScreen(screen));
    if (x1 <= x0 || y1 <= y0)
        return false;
    const int x = (x0 + x1) / 2, y = (y0 + y1) / 2;
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

// Folders of the program's own: the installation's config.ini (the one the build puts beside
// the program, with its colours; its server is not running, which start-up does not wait for)
// and an account, and nothing else, made once: the cold start finds them so, the warm ones
// find what the starts before them left.
void makeFolders()
{
    static const bool made = [] {
        char pattern[] = "/tmp/orvane-startup-XXXXXX";
        const std::string path = mkdtemp(pattern);
        for (const char* sub : {"/program", "/config", "/runtime", "/registry"})
            mkdir((path + sub).c_str(), 0700);
        const std::string program(ORVANE_PROGRAM);
        std::ifstream installed(program.substr(0, program.rfind('/')) + "/config.ini");
        std::ofstream(path + "/program/config.ini") << installed.rdbuf();
        std::ofstream(path + "/program/account.ini")
            << "<xml><server><username>bench</username><auto_proxy>no</auto_proxy></server></xml>";
        setenv("ORVANE_PROGRAM_DIR", (path + "/program").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (path + "/config").c_str(), 1);
        setenv("ORVANE_RUNTIME_DIR", (path + "/runtime").c_str(), 1);
        setenv("ORVANE_REGISTRY_DIR", (path + "/registry").c_str(), 1);
        return true;
    }();
    (void)made;
}

// Asks the kernel to drop a file's cached pages, and those of every file below a folder.
void dropFromPageCache(const std::string& path)
{
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.')
                dropFromPageCache(path + "/" + entry->d_name);
        closedir(dir);
        return;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

void dropProgramFromPageCache(const std::string& program)
{
    const std::string folder = program.substr(0, program.rfind('/'));
    dropFromPageCache(program);
    for (const char* sub : {"/modules", "/sounds"})
        dropFromPageCache(folder + sub);
}

// Times starts of `program`; cold: its files are dropped from the page cache first.
void run(benchmark::State& state, const std::string& program, bool cold)
{
    if (!display()) {
        state.SkipWithError("no display: run it under scripts/with-xvfb");
        return;
    }
    makeFolders();
    if (cold)
        dropProgramFromPageCache(program);
    for (auto _ : state) {
        const double seconds = timeToWindow({program});
        if (seconds < 0) {
            state.SkipWithError("no window within ten seconds");
            return;
        }
        state.SetIterationTime(seconds);
    }
}

} // namespace

// The cold start first, while nothing has warmed the program's files.
BENCHMARK_CAPTURE(run, Orvane_Cold, std::string(ORVANE_PROGRAM), true)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, Orvane_Warm, std::string(ORVANE_PROGRAM), false)
    ->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, BareWxFrame_Cold, std::string(BARE_FRAME_PROGRAM), true)
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(run, BareWxFrame_Warm, std::string(BARE_FRAME_PROGRAM), false)
    ->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
