#pragma once

// A desktop for the test: a window manager (openbox) on the test's display, which each test
// process has to itself (the window tests run through scripts/with-xvfb one process each).
// Windows created meanwhile are managed: the window manager places them, decorates them,
// maximises and minimises them. The window manager is stopped when the session ends;
// windows created in the session must be gone by then. A missing program is a test failure
// that names its Debian package.

#include "tests/support/PeerProcess.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

// Asks the display's window manager how large a new window's frame will be and waits for
// the answer (tests/ui/WindowManagerProbe.cpp, which keeps Xlib's macros to itself).
bool windowManagerAnswersFrameExtents(GdkDisplay* display, std::chrono::milliseconds within);

class DesktopSession {
public:
    // The size of the screen scripts/with-xvfb makes.
    static constexpr int Width = 1280;
    static constexpr int Height = 1024;

    DesktopSession() : display_(gdk_display_get_default())
    {
        const char* name = std::getenv("DISPLAY");
        name_ = name ? name : "";
        const std::string openbox = findPeerBinary({"/usr/bin/openbox"}, "openbox");
        if (openbox.empty() || !display_)
            return;
        ok_ = startWindowManager(openbox);
    }

    ~DesktopSession() { stopWindowManager(); }

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // The window manager has taken the display.
    bool ok() const { return ok_; }
    const std::string& displayName() const { return name_; }

private:
    bool startWindowManager(const std::string& openbox)
    {
        // Its own environment: this display, and no user configuration (the packaged one
        // applies).
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::strncmp(*e, "DISPLAY=", 8) != 0 && std::strncmp(*e, "XDG_CONFIG_HOME=", 16) != 0)
                env.push_back(*e);
        env.push_back("DISPLAY=" + name_);
        env.push_back("XDG_CONFIG_HOME=/nonexistent");
        std::vector<char*> envp = argumentVector(env);
        std::vector<std::string> args = {openbox, "--sm-disable"};
        std::vector<char*> argv = argumentVector(args);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) {
            ADD_FAILURE() << openbox << ": " << std::strerror(rc);
            return false;
        }
        windowManager_ = pid;
        // A window manager that follows the EWMH names its check window on the root window
        // once it has taken the display.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!windowManagerPresent()) {
            if (::waitpid(windowManager_, nullptr, WNOHANG) == windowManager_) {
                windowManager_ = -1;
                ADD_FAILURE() << "openbox ended at start";
                return false;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "openbox did not take the display " << name_;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return answersFrameExtents();
    }

    // wx shows a new top-level window only once the window manager has said how large its
    // frame will be, and gives up after a second: the window then comes up without its
    // decorations counted, and grows by them later. A window manager still busy starting
    // on a loaded machine can take that long. So the session starts once the manager
    // answers such a question for a window of ours.
    bool answersFrameExtents()
    {
        if (windowManagerAnswersFrameExtents(display_, std::chrono::seconds(20)))
            return true;
        ADD_FAILURE() << "openbox never said how large a window's frame is";
        return false;
    }

    // SIGTERM, then SIGKILL when it has not ended within three seconds.
    void stopWindowManager()
    {
        if (windowManager_ <= 0)
            return;
        ::kill(windowManager_, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (::waitpid(windowManager_, nullptr, WNOHANG) != windowManager_) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(windowManager_, SIGKILL);
                ::waitpid(windowManager_, nullptr, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        windowManager_ = -1;
    }

    bool windowManagerPresent() const
    {
        GdkWindow* root = gdk_screen_get_root_window(gdk_display_get_default_screen(display_));
        GdkAtom type;
        gint format = 0;
        gint length = 0;
        guchar* data = nullptr;
        const gboolean found = gdk_property_get(root, gdk_atom_intern_static_string("_NET_SUPPORTING_WM_CHECK"),
                                                gdk_atom_intern_static_string("WINDOW"), 0, 1, FALSE, &type,
                                                &format, &length, &data);
        g_free(data);
        return found && length > 0;
    }

    GdkDisplay* display_;
    std::string name_;
    pid_t windowManager_ = -1;
    bool ok_ = false;
};

} // namespace orvane::testing
