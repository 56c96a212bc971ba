#pragma once

// The headless client (orvane-headless) as a child process with folders of its own: its
// output lines collected as they come, commands written to its input.

#include "tests/core/ClientTestSupport.h"
#include "tests/support/PipedProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

namespace orvane::testing {

class HeadlessProcess {
public:
    explicit HeadlessProcess(const std::string& serverUrl) : folders(serverUrl) {}
    ~HeadlessProcess() { stop(); }
    HeadlessProcess(const HeadlessProcess&) = delete;
    HeadlessProcess& operator=(const HeadlessProcess&) = delete;

    // Starts the client and waits until it is ready (or reports that it could not start).
    // The launcher, when given, comes first: {"ip", "netns", "exec", NAMESPACE} runs the
    // client in a network namespace (NatLab::launcher).
    bool start(const std::vector<std::string>& extra = {}, const std::vector<std::string>& launcher = {})
    {
        std::vector<std::string> argv = launcher;
        for (const std::string& arg : {std::string(ORVANE_HEADLESS_PROGRAM),
                                       std::string("--program-folder"), folders.programFolder,
                                       std::string("--config-home"), folders.configHome,
                                       std::string("--runtime-dir"), folders.runtimeDir,
                                       std::string("--registry-dir"), folders.registryDir})
            argv.push_back(arg);
        argv.insert(argv.end(), extra.begin(), extra.end());
        if (!process_.start(argv, folders.root / "stderr.log"))
            return false;
        const int ready = log.waitUntil(
            [](const std::string& line) { return line == "ready" || line == "start-failed" || line == PipedProcess::EndLine; },
            20000);
        return ready >= 0 && log.lines()[static_cast<size_t>(ready)] == "ready";
    }

    // Writes one command and waits for its "done" line; false when it did not come.
    bool command(const std::string& line, int timeoutMs = 10000)
    {
        const size_t from = log.size();
        if (!process_.writeLine(line))
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
        if (process_.pid() > 0 && process_.writeLine("quit")) {
            process_.closeInput();
            log.waitFor(PipedProcess::EndLine, 15000);
        }
        process_.stop(5000);
    }

    void kill() { process_.kill(SIGKILL); }
    pid_t pid() const { return process_.pid(); }

    std::string errors() const { return process_.errors(); }

    ClientFolders folders;

private:
    PipedProcess process_; // before log, which refers into it

public:
    LineLog& log = process_.log;
};

} // namespace orvane::testing
