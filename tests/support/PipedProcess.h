#pragma once

// A program that a test talks to through its standard streams: lines written to its
// input, the lines it prints collected as they come, its standard error kept in a file.

#include "tests/foundation/TempDirectory.h"
#include "tests/support/LineLog.h"
#include "tests/support/PeerProcess.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <csignal>
#include <vector>

namespace orvane::testing {

class PipedProcess {
public:
    // The last line of `log` once the program's output has ended.
    static constexpr const char* EndLine = "<end>";

    PipedProcess() = default;
    ~PipedProcess() { stop(); }
    PipedProcess(const PipedProcess&) = delete;
    PipedProcess& operator=(const PipedProcess&) = delete;

    // Starts argv[0] (a full path) with the arguments; standard error goes to errorsPath.
    bool start(const std::vector<std::string>& argv, const std::string& errorsPath)
    {
        // A program that died must not take the test with it when its input is written.
        ::signal(SIGPIPE, SIG_IGN);
        errorsPath_ = errorsPath;
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0)
            return false;
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(wake_, O_CLOEXEC) != 0) {
            for (int fd : {in[0], in[1], out[0], out[1]})
                if (fd >= 0)
                    ::close(fd);
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int rc = process_.spawn(argv, actions);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        if (rc != 0) {
            ::close(out[0]);
            ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(rc);
            return false;
        }
        reader_ = std::thread([this, fd = out[0]] { readLines(fd); });
        return true;
    }

    // Writes the text and a newline to the program's input.
    bool writeLine(const std::string& line)
    {
        const std::string text = line + "\n";
        size_t done = 0;
        while (input_ >= 0 && done < text.size()) {
            const ssize_t n = ::write(input_, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return done == text.size();
    }

    // The program reads the end of its input.
    void closeInput()
    {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
        }
    }

    // Ends the program (SIGTERM, SIGKILL after graceMs) and collects what it printed.
    // A process it left behind may still hold its output open: once the program itself
    // is gone, only what is already written is read.
    void stop(int graceMs = 3000)
    {
        closeInput();
        process_.stop(graceMs);
        if (reader_.joinable()) {
            const char byte = 0;
            ssize_t ignored = ::write(wake_[1], &byte, 1);
            (void)ignored;
            reader_.join();
        }
        for (int& fd : wake_)
            if (fd >= 0) {
                ::close(fd);
                fd = -1;
            }
    }

    void kill(int signal = SIGKILL)
    {
        if (process_.pid() > 0)
            ::kill(process_.pid(), signal);
    }

    bool running() { return process_.running(); }
    pid_t pid() const { return process_.pid(); }
    bool exitedCleanly() const { return process_.exitedCleanly(); }
    std::string errors() const { return readBytes(errorsPath_); }

    LineLog log;

private:
    void readLines(int fd)
    {
        std::string pending;
        char buffer[4096];
        bool draining = false;
        for (;;) {
            pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            const int ready = ::poll(fds, draining ? 1 : 2, draining ? 0 : -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                break;
            if (!draining && (fds[1].revents & POLLIN) && !(fds[0].revents & (POLLIN | POLLHUP))) {
                draining = true;
                continue;
            }
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            log.addText(pending, buffer, static_cast<size_t>(n));
        }
        ::close(fd);
        if (!pending.empty())
            log.add(pending);
        log.add(EndLine);
    }

    PeerProcess process_;
    std::string errorsPath_;
    int input_ = -1;
    int wake_[2] = {-1, -1};
    std::thread reader_;
};

} // namespace orvane::testing
