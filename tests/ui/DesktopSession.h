#pragma once

// A desktop of the test's own: a private virtual X display with a window manager (openbox)
// on it, made GDK's default display while the session lasts. Windows created meanwhile are
// managed: the window manager places them, decorates them, maximises and minimises them.
// Tests that run at the same time on the shared display (make test runs them in parallel)
// never meet this window manager, and these tests never meet their windows.
//
// The display stays open until the process ends: GDK and wx keep state per display that does
// not survive closing it, and a server whose connection vanishes ends the process. The X
// server is started with -terminate, so it ends by itself once this process has gone. The
// window manager is stopped when the session ends; windows created in the session must be
// gone by then. A missing program is a test failure that names its Debian package.

#include "tests/support/PeerProcess.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

class DesktopSession {
public:
    static constexpr int Width = 1280;
    static constexpr int Height = 1024;

    DesktopSession() : previous_(gdk_display_get_default())
    {
        const std::string xvfb = findPeerBinary({"/usr/bin/Xvfb"}, "xvfb");
        const std::string openbox = findPeerBinary({"/usr/bin/openbox"}, "openbox");
        if (xvfb.empty() || openbox.empty())
            return;
        name_ = startServer(xvfb);
        if (name_.empty())
            return;
        display_ = gdk_display_open(name_.c_str());
        if (!display_) {
            ADD_FAILURE() << "cannot open the private display " << name_;
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
            return;
        }
        if (!startWindowManager(openbox))
            return;
        gdk_display_manager_set_default_display(gdk_display_manager_get(), display_);
        ok_ = true;
    }

    ~DesktopSession()
    {
        if (display_)
            gdk_display_manager_set_default_display(gdk_display_manager_get(), previous_);
        stopWindowManager();
    }

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // The display is up, the window manager has taken it, and it is GDK's default.
    bool ok() const { return ok_; }
    const std::string& displayName() const { return name_; }

private:
    // Starts the X server on a free display number; ":N", or "" (and a failure).
    std::string startServer(const std::string& xvfb)
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return std::string();
        }
        // -displayfd: the server picks a free number and writes it once it accepts clients.
        const std::vector<std::string> args = {
            xvfb, "-displayfd", "3", "-screen", "0", std::to_string(Width) + "x" + std::to_string(Height) + "x24",
            "-nolisten", "tcp", "-terminate"};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        const int rc = spawnProgram(args, &actions, nullptr, server_);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            ADD_FAILURE() << xvfb << ": " << std::strerror(rc);
            return std::string();
        }
        std::string number;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (number.empty() || number.back() != '\n') {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p = {fds[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            char c;
            if (::read(fds[0], &c, 1) != 1)
                break;
            number += c;
        }
        ::close(fds[0]);
        if (number.empty() || number.back() != '\n') {
            ADD_FAILURE() << "the private X server did not start";
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
            return std::string();
        }
        number.pop_back();
        return ":" + number;
    }

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
        return true;
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

    GdkDisplay* previous_;
    GdkDisplay* display_ = nullptr;
    std::string name_;
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    bool ok_ = false;
};

} // namespace orvane::testing
