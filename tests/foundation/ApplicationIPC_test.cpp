#include "foundation/ApplicationIPC.h"
#include "foundation/Exception.h"
#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace orvane;

namespace {

// Every test gets its own runtime folder, so parallel runs never share a lock file.
class ApplicationIPCTest : public ::testing::Test {
protected:
    orvane::testing::TempDirectory temp_;
    std::string folder_ = temp_.path();

private:
    // Put back as it was when the test ends, whatever the test set it to.
    orvane::testing::ScopedEnv runtimeFolder_{"ORVANE_RUNTIME_DIR", folder_.c_str()};
};

// A helper process with its standard input and output on pipes. Closing `input` tells
// it to end.
struct Helper {
    pid_t pid = -1;
    int input = -1;
    int output = -1;

    ~Helper()
    {
        closeInput();
        if (output >= 0)
            close(output);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    void closeInput()
    {
        if (input >= 0)
            close(input);
        input = -1;
    }

    // The next line it writes, without the newline; "" at end of file or after 20 s.
    std::string readLine()
    {
        std::string line;
        for (;;) {
            pollfd p{output, POLLIN, 0};
            if (poll(&p, 1, 20000) <= 0)
                return line;
            char c;
            ssize_t n = read(output, &c, 1);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0 || c == '\n')
                return line;
            line += c;
        }
    }

    // Exit status of a helper that ends by itself.
    int wait()
    {
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        pid = -1;
        return status;
    }
};

void startHelper(Helper& helper, std::initializer_list<const char*> args)
{
    int in[2];
    int out[2];
    ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string program = ORVANE_FIXTURE_IPC_HELPER;
    std::vector<char*> argv{program.data()};
    for (const char* a : args)
        argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    int r = posix_spawn(&helper.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    helper.input = in[1];
    helper.output = out[0];
    ASSERT_EQ(r, 0);
}

} // namespace

TEST_F(ApplicationIPCTest, InitDerivesTheNamesAndMapsTheBlock)
{
    ApplicationIPC ipc;
    EXPECT_EQ(ipc.getMutexName(), "");
    EXPECT_EQ(ipc.getView(), nullptr);
    ipc.init("Orvane_Test");
    EXPECT_EQ(ipc.getBaseName(), "Orvane_Test");
    EXPECT_EQ(ipc.getMutexName(), "Orvane_Test_MUTEX");
    EXPECT_EQ(ipc.getMessageName(), "Orvane_Test_REGISTERED_MESSAGE");
    EXPECT_GE(ipc.getMessageId(), 0xC000u);
    EXPECT_LE(ipc.getMessageId(), 0xFFFFu);

    ApplicationIPC same;
    same.init("Orvane_Test");
    EXPECT_EQ(same.getMessageId(), ipc.getMessageId());

    // The whole block can be written and read.
    ASSERT_NE(ipc.getView(), nullptr);
    auto* bytes = static_cast<unsigned char*>(ipc.getView());
    memset(bytes, 0xA5, ApplicationIPC::SharedMemorySize);
    EXPECT_EQ(bytes[ApplicationIPC::SharedMemorySize - 1], 0xA5);
    EXPECT_EQ(ApplicationIPC::SharedMemorySize, 25600);

    // init again maps a fresh block in place of the old one.
    ipc.init("Orvane_Other");
    EXPECT_EQ(ipc.getMutexName(), "Orvane_Other_MUTEX");
    ASSERT_NE(ipc.getView(), nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(ipc.getView())[0], 0);
}

TEST_F(ApplicationIPCTest, SecondGuardInTheSameProcessIsNotFirst)
{
    EXPECT_FALSE(ApplicationIPC::isRunning("Orvane_Same"));
    {
        ApplicationIPC first;
        first.init("Orvane_Same");
        EXPECT_TRUE(first.isFirstInstance());
        EXPECT_TRUE(ApplicationIPC::isRunning("Orvane_Same"));
        // The lock file is named after the mutex, in the runtime folder.
        struct stat st;
        EXPECT_EQ(stat((folder_ + "/Orvane_Same_MUTEX.lock").c_str(), &st), 0);

        ApplicationIPC second;
        second.init("Orvane_Same");
        EXPECT_FALSE(second.isFirstInstance());
        // Asking again changes nothing, and does not drop the lock already held.
        EXPECT_FALSE(first.isFirstInstance());
        EXPECT_TRUE(ApplicationIPC::isRunning("Orvane_Same"));

        ApplicationIPC other;
        other.init("Orvane_Different");
        EXPECT_TRUE(other.isFirstInstance());
    }
    // Gone with the object that held it.
    EXPECT_FALSE(ApplicationIPC::isRunning("Orvane_Same"));
    ApplicationIPC again;
    again.init("Orvane_Same");
    EXPECT_TRUE(again.isFirstInstance());
}

TEST_F(ApplicationIPCTest, AnotherProcessSeesTheHolderUntilItIsKilled)
{
    Helper holder;
    startHelper(holder, {"hold", "Orvane_Kill"});
    ASSERT_EQ(holder.readLine(), "1");
    EXPECT_TRUE(ApplicationIPC::isRunning("Orvane_Kill"));

    Helper second;
    startHelper(second, {"check", "Orvane_Kill"});
    EXPECT_EQ(second.readLine(), "0");
    second.wait();

    ApplicationIPC inHere;
    inHere.init("Orvane_Kill");
    EXPECT_FALSE(inHere.isFirstInstance());

    // A crash (no clean-up at all) releases the guard.
    kill(holder.pid, SIGKILL);
    int status = holder.wait();
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_FALSE(ApplicationIPC::isRunning("Orvane_Kill"));

    Helper next;
    startHelper(next, {"check", "Orvane_Kill"});
    EXPECT_EQ(next.readLine(), "1");
    next.wait();
    // The guard that answered false earlier now finds the lock free.
    EXPECT_TRUE(inHere.isFirstInstance());
}

TEST_F(ApplicationIPCTest, AProgramTheHolderExecutesDoesNotKeepTheGuard)
{
    // The grandchild is reaped here instead of by init.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    Helper holder;
    startHelper(holder, {"spawn", "Orvane_Exec"});
    ASSERT_EQ(holder.readLine(), "1");
    // The executed child reports once it runs the new program; it shares our pipes.
    std::string started = holder.readLine();
    ASSERT_EQ(started.substr(0, 2), "W ");
    pid_t child = atoi(started.c_str() + 2);
    ASSERT_GT(child, 0);
    int status = holder.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(kill(child, 0), 0) << "the executed child should still run";
    EXPECT_FALSE(ApplicationIPC::isRunning("Orvane_Exec"));
    ApplicationIPC next;
    next.init("Orvane_Exec");
    EXPECT_TRUE(next.isFirstInstance());

    holder.closeInput();
    EXPECT_EQ(waitpid(child, nullptr, 0), child);
}

TEST_F(ApplicationIPCTest, AnUnusableFolderThrowsOutsideTheExceptionFamily)
{
    std::string file = folder_ + "/plain-file";
    FILE* f = fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);

    ApplicationIPC badName;
    badName.init("Orvane/../../escape");
    EXPECT_THROW(badName.isFirstInstance(), ApplicationIPC::MutexErrorException);

    setenv("ORVANE_RUNTIME_DIR", (file + "/below").c_str(), 1);
    ApplicationIPC ipc;
    ipc.init("Orvane_Bad");
    bool caughtByFamily = false;
    bool caughtOutside = false;
    try {
        try {
            ipc.isFirstInstance();
        } catch (const Exception&) {
            caughtByFamily = true;
        }
    } catch (const ApplicationIPC::MutexErrorException&) {
        caughtOutside = true;
    }
    EXPECT_FALSE(caughtByFamily);
    EXPECT_TRUE(caughtOutside);
    EXPECT_FALSE(ApplicationIPC::isRunning("Orvane_Bad"));
}

TEST_F(ApplicationIPCTest, RuntimeFolderFallsBackToAPrivateFolder)
{
    const char* xdg = getenv("XDG_RUNTIME_DIR");
    std::string savedXdg = xdg ? xdg : "";
    unsetenv("ORVANE_RUNTIME_DIR");

    setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
    EXPECT_EQ(ApplicationIPC::runtimeFolder(), folder_.c_str());

    unsetenv("XDG_RUNTIME_DIR");
    String fallback = ApplicationIPC::runtimeFolder();
    EXPECT_EQ(fallback, ("/tmp/orvane-" + std::to_string(geteuid())).c_str());
    struct stat st;
    ASSERT_EQ(lstat(fallback.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, geteuid());

    if (xdg)
        setenv("XDG_RUNTIME_DIR", savedXdg.c_str(), 1);
}
