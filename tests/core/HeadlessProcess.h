#pragma once

// The headless client (orvane-headless) as a child process with folders of its own: its
// output lines collected as they come, commands written to its input.

#include "tests/core/ClientTestSupport.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvane::testing {

class HeadlessProcess {
public:
    explicit HeadlessProcess(const std::string& serverUrl) : folders(serverUrl) {}
    ~HeadlessProcess() { stop(); }
    HeadlessProcess(const HeadlessProcess&) = delete;
    HeadlessProcess& operator=(const HeadlessProcess&) = delete;

    // Starts the client and waits until it is ready (or reports that it could not start).
    bool start(const std::vector<std::string>& extra = {})
    {
        std::vector<std::string> argv{ORVANE_HEADLESS_PROGRAM,
                                      "--program-folder", folders.programFolder,
                                      "--config-home", folders.configHome,
                                      "--runtime-dir", folders.runtimeDir,
                                      "--registry-dir", folders.registryDir};
        argv.insert(argv.end(), extra.begin(), extra.end());
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string errors = folders.root / "stderr.log";
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = process_.spawn(argv, actions);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        if (rc != 0) {
            ::close(out[0]);
            ADD_FAILURE() << "cannot start " << argv[0];
            return false;
        }
        reader_ = std::thread([this, fd = out[0]] { readLines(fd); });
        const int ready = log.waitUntil(
            [](const std::string& line) { return line == "ready" || line == "start-failed" || line == "<end>"; },
            20000);
        return ready >= 0 && log.lines()[static_cast<size_t>(ready)] == "ready";
    }

    // Writes one command and waits for its "done" line; false when it did not come.
    bool command(const std::string& line, int timeoutMs = 10000)
    {
        const size_t from = log.size();
        const std::string text = line + "\n";
        if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            return false;
        const std::string verb = line.substr(0, line.find(' '));
        return log.waitFor("done " + verb, timeoutMs, from) >= 0;
    }

    // Waits for the line from `from` on; fails the test when it does not come.
    int expectLine(const std::string& line, size_t from = 0, int timeoutMs = 10000)
    {
        const int index = log.waitFor(line, timeoutMs, from);
        EXPECT_GE(index, 0) << "no line \"" << line << "\" from the client; its lines:\n" << log.dump();
        return index;
    }

    // Quits through its input and waits for the process to end.
    void stop()
    {
        if (input_ >= 0) {
            const char quit[] = "quit\n";
            ssize_t ignored = ::write(input_, quit, sizeof quit - 1);
            (void)ignored;
            ::close(input_);
            input_ = -1;
            log.waitFor("<end>", 15000);
        }
        process_.stop(5000);
        if (reader_.joinable())
            reader_.join();
    }

    void kill()
    {
        if (process_.pid() > 0)
            ::kill(process_.pid(), SIGKILL);
    }

    std::string errors() const { return readBytes(folders.root / "stderr.log"); }

    ClientFolders folders;
    LineLog log;

private:
    void readLines(int fd)
    {
        std::string pending;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            pending.append(buffer, static_cast<size_t>(n));
            for (size_t lf; (lf = pending.find('\n')) != std::string::npos;) {
                log.add(pending.substr(0, lf));
                pending.erase(0, lf + 1);
            }
        }
        ::close(fd);
        log.add("<end>");
    }

    PeerProcess process_;
    int input_ = -1;
    std::thread reader_;
};

} // namespace orvane::testing
