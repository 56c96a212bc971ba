#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/File.h"
#include "foundation/Paths.h"
#include "foundation/String.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <set>
#include <string>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace orvane;
using orvane::testing::CurrentDirectoryGuard;
using orvane::testing::permissionsOf;
using orvane::testing::readBytes;
using orvane::testing::TempDirectory;
using orvane::testing::writeBytes;

namespace {

bool writeText(const std::string& path, const std::string& bytes)
{
    return File::writeAll(path.c_str(), bytes.data(), static_cast<int>(bytes.size()));
}

std::set<std::string> entriesOf(const std::string& dir)
{
    StringArray names;
    listDirectory(dir.c_str(), names);
    std::set<std::string> s;
    for (const String& n : names)
        s.insert(n.c_str());
    return s;
}

// Runs the step in a child process and answers 1 (true) or 0 (false); other values mean the
// child could not run it. With dropPrivileges a root run becomes the unprivileged user
// 65534 first, since root writes whatever the permissions say.
int runInChild(const std::function<bool()>& step, bool dropPrivileges)
{
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (dropPrivileges && geteuid() == 0) {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
        }
        _exit(step() ? 1 : 0);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

TEST(File, OpenThrowsByModeAndCloseForgetsTheHandle)
{
    TempDirectory tmp;
    File file;
    EXPECT_THROW(file.open((tmp / "missing").c_str(), File::ReadFlags), FileCantOpenException);
    EXPECT_THROW(file.open((tmp / "no/dir/f").c_str(), File::WriteFlags), FileCantCreateException);
    EXPECT_THROW(file.open(nullptr, File::ReadFlags), FileCantOpenException);
    EXPECT_EQ(file.handle(), -1);

    file.open((tmp / "f").c_str(), File::WriteFlags);
    EXPECT_GE(file.handle(), 0);
    EXPECT_EQ(permissionsOf(tmp / "f"), 0600u);
    file.close();
    EXPECT_EQ(file.handle(), -1);
    file.close(); // closing twice is harmless

    file.open((tmp / "f").c_str(), File::ReadFlags);
    EXPECT_GE(file.handle(), 0);
}

TEST(File, ReadAllAnswersTheWholeFileOrFalse)
{
    TempDirectory tmp;
    const std::string zeros("\0\x01\0", 3);
    writeBytes(tmp / "three", zeros);
    writeBytes(tmp / "empty", "");
    ASSERT_EQ(mkdir((tmp / "dir").c_str(), 0700), 0);

    String out("previous contents");
    EXPECT_TRUE(File::readAll((tmp / "three").c_str(), out));
    EXPECT_EQ(out.length(), 3);
    EXPECT_EQ(std::string(out.data(), 3), zeros);

    // Every failure leaves the string empty, never stale or partly filled.
    for (const std::string& bad : {tmp / "empty", tmp / "missing", tmp / "dir", tmp / "three/x"}) {
        out = "previous contents";
        EXPECT_FALSE(File::readAll(bad.c_str(), out)) << bad;
        EXPECT_EQ(out.length(), 0) << bad;
    }
    out = "kept";
    EXPECT_FALSE(File::readAll(nullptr, out));

    const std::string big(1 << 20, 'q');
    writeBytes(tmp / "big", big);
    EXPECT_TRUE(File::readAll((tmp / "big").c_str(), out));
    EXPECT_EQ(out.length(), 1 << 20);
    EXPECT_EQ(std::string(out.c_str(), out.length()), big);

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_TRUE(File::readAll("three", out));
    EXPECT_EQ(out.length(), 3);
}

TEST(File, ReadAllOfAPipeAnswersFalseWithoutWaitingForAWriter)
{
    TempDirectory tmp;
    ASSERT_EQ(mkfifo((tmp / "fifo").c_str(), 0600), 0);
    String out("x");
    EXPECT_FALSE(File::readAll((tmp / "fifo").c_str(), out));
    EXPECT_EQ(out.length(), 0);
}

TEST(File, WriteAllCreatesOwnerOnlyFileAndReadsBack)
{
    TempDirectory tmp;
    const std::string path = tmp / "data.bin";
    std::string bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>(i * 7);
    ASSERT_TRUE(writeText(path, bytes));
    EXPECT_EQ(permissionsOf(path), 0600u);
    EXPECT_EQ(readBytes(path), bytes);

    String back;
    ASSERT_TRUE(File::readAll(path.c_str(), back));
    EXPECT_EQ(std::string(back.c_str(), back.length()), bytes);

    // Replacing shorter contents leaves no tail and no temporary file.
    ASSERT_TRUE(writeText(path, "short"));
    EXPECT_EQ(readBytes(path), "short");
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"data.bin"}));

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_TRUE(File::writeAll("rel.txt", "rel", 3));
    EXPECT_EQ(readBytes(tmp / "rel.txt"), "rel");
}

TEST(File, WriteAllOfNothingLeavesAnEmptyFile)
{
    TempDirectory tmp;
    const std::string path = tmp / "f";
    writeBytes(path, "old contents");
    EXPECT_TRUE(File::writeAll(path.c_str(), "ignored", 0));
    EXPECT_EQ(readBytes(path), "");

    writeBytes(path, "old contents");
    EXPECT_TRUE(File::writeAll(path.c_str(), nullptr, 5));
    EXPECT_EQ(readBytes(path), "");

    EXPECT_TRUE(File::writeAll((tmp / "new").c_str(), nullptr, 0));
    EXPECT_EQ(readBytes(tmp / "new"), "");
    String out("x");
    EXPECT_FALSE(File::readAll((tmp / "new").c_str(), out));
}

TEST(File, WriteAllRefusesBadArgumentsAndKeepsTheOldFile)
{
    TempDirectory tmp;
    const std::string path = tmp / "f";
    writeBytes(path, "old");
    EXPECT_FALSE(File::writeAll(path.c_str(), "abc", -1));
    EXPECT_FALSE(File::writeAll(nullptr, "abc", 3));
    EXPECT_FALSE(File::writeAll("", "abc", 3));
    EXPECT_EQ(readBytes(path), "old");
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"f"}));
}

TEST(File, WriteAllKeepsTheModeOfAReplacedFile)
{
    TempDirectory tmp;
    const std::string path = tmp / "shared.txt";
    writeBytes(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(writeText(path, "new"));
    EXPECT_EQ(readBytes(path), "new");
    EXPECT_EQ(permissionsOf(path), 0640u);
}

TEST(File, WriteAllWritesThroughASymbolicLink)
{
    TempDirectory tmp;
    const std::string real = tmp / "real.txt";
    const std::string link = tmp / "link.txt";
    writeBytes(real, "old");
    ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
    ASSERT_TRUE(writeText(link, "new"));
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readBytes(real), "new");
}

TEST(File, FailedWriteAllLeavesTheOldFileIntact)
{
    TempDirectory tmp;

    // Under a missing directory: nothing is created.
    EXPECT_FALSE(writeText(tmp / "missing/f", "x"));
    EXPECT_EQ(fileType((tmp / "missing").c_str()), FileTypeMissing);

    // A directory in the target's place is neither replaced nor littered.
    const std::string dir = tmp / "dir";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    EXPECT_FALSE(writeText(dir, "x"));
    EXPECT_EQ(fileType(dir.c_str()), 5);
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"dir"}));

    // The write itself fails half-way (the file-size limit stops it at 4 KiB).
    const std::string path = tmp / "keep.txt";
    const std::string old(1000, 'o');
    writeBytes(path, old);
    int result = runInChild(
        [&] {
            std::signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {4096, 4096};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
                _exit(4);
            return writeText(path, std::string(100000, 'n'));
        },
        false);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readBytes(path), old);
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"dir", "keep.txt"}));
}

TEST(File, WriteAllRespectsPermissions)
{
    TempDirectory tmp;
    // An unprivileged child must reach the directory.
    ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);

    // A directory that may not be written: the file in it stays as it was.
    const std::string locked = tmp / "locked";
    ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
    const std::string inLocked = locked + "/f.txt";
    writeBytes(inLocked, "old");
    ASSERT_EQ(chmod(inLocked.c_str(), 0666), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    EXPECT_EQ(runInChild([&] { return writeText(inLocked, "new"); }, true), 0);
    EXPECT_EQ(readBytes(inLocked), "old");

    // A read-only file in a writable directory is not replaced behind its back either.
    const std::string open = tmp / "open";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    const std::string readOnly = open + "/ro.txt";
    writeBytes(readOnly, "old");
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    EXPECT_EQ(runInChild([&] { return writeText(readOnly, "new"); }, true), 0);
    EXPECT_EQ(readBytes(readOnly), "old");
    EXPECT_EQ(entriesOf(open), (std::set<std::string>{"ro.txt"}));

    // The same child can write a new file there: the refusals above are about permissions.
    EXPECT_EQ(runInChild([&] { return writeText(open + "/new.txt", "new"); }, true), 1);
    EXPECT_EQ(readBytes(open + "/new.txt"), "new");
}

// ---- what saves cut short leave behind ------------------------------------------------------

TEST(File, ASaveRemovesTheTemporariesThatSavesCutShortLeftAndNothingElse)
{
    TempDirectory tmp;
    const std::string target = tmp / "account.ini";
    writeBytes(target, "old");
    // Left by saves of account.ini that were killed: removed.
    for (const char* stale : {"account.ini.tmp-Ab12Cd", "account.ini.tmp-000000", "account.ini.tmp-zzzzzz"})
        writeBytes(tmp / stale, "<password>c2VjcmV0</password>");
    // Not temporaries of this file's saves, or not files of ours: kept.
    const std::vector<std::string> kept = {
        "account.ini.tmp-Ab12C",   "account.ini.tmp-Ab12Cde", "account.ini.tmp-Ab-2Cd", "account.ini.tmp",
        "config.ini.tmp-Ab12Cd",   "account.ini.bak",         "xaccount.ini.tmp-Ab12Cd",
    };
    for (const std::string& name : kept)
        writeBytes(tmp / name, "x");
    ASSERT_EQ(mkdir((tmp / "account.ini.tmp-Dir123").c_str(), 0700), 0);
    writeBytes(tmp / "elsewhere", "linked");
    ASSERT_EQ(symlink((tmp / "elsewhere").c_str(), (tmp / "account.ini.tmp-Lnk123").c_str()), 0);

    ASSERT_TRUE(writeText(target, "new"));
    EXPECT_EQ(readBytes(target), "new");
    std::set<std::string> expected(kept.begin(), kept.end());
    expected.insert({"account.ini", "account.ini.tmp-Dir123", "account.ini.tmp-Lnk123", "elsewhere"});
    EXPECT_EQ(entriesOf(tmp.path()), expected);
    EXPECT_EQ(readBytes(tmp / "elsewhere"), "linked");

    // Without a save, on their own: the count of those removed.
    writeBytes(tmp / "account.ini.tmp-Qq11Ww", "x");
    EXPECT_EQ(File::removeStaleTemporaries(target.c_str()), 1);
    EXPECT_EQ(File::removeStaleTemporaries(target.c_str()), 0);
    EXPECT_EQ(File::removeStaleTemporaries(nullptr), 0);
    EXPECT_EQ(File::removeStaleTemporaries((tmp / "missing/account.ini").c_str()), 0);
}

TEST(File, ATemporaryThatASaveIsWritingIsLeftAlone)
{
    TempDirectory tmp;
    const std::string target = tmp / "account.ini";
    // A save in progress holds its temporary locked, as writeAll does.
    const std::string busy = tmp / "account.ini.tmp-Busy01";
    writeBytes(busy, "half");
    const int fd = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_EQ(File::removeStaleTemporaries(target.c_str()), 0);
    ASSERT_TRUE(writeText(target, "new"));
    EXPECT_EQ(readBytes(busy), "half");
    // Its save gone (the lock with it), it is stale.
    ::close(fd);
    EXPECT_EQ(File::removeStaleTemporaries(target.c_str()), 1);
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"account.ini"}));
}

TEST(File, SavesKilledMidWayLeaveTheOldFileAndAtMostOneTemporaryUntilASaveEnds)
{
    TempDirectory tmp;
    const std::string target = tmp / "account.ini";
    writeBytes(target, "old");
    std::set<std::string> before = entriesOf(tmp.path());
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        // A save of 64 MiB, killed once its own temporary is there; tried again in the rare
        // case that it was done before the kill came.
        bool killed = false;
        for (int attempt = 0; attempt < 20 && !killed; ++attempt) {
            const pid_t pid = fork();
            ASSERT_GE(pid, 0);
            if (pid == 0)
                _exit(writeText(target, std::string(64 << 20, 'n')) ? 0 : 1);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            for (bool fresh = false; !fresh && std::chrono::steady_clock::now() < deadline;) {
                for (const std::string& name : entriesOf(tmp.path()))
                    fresh = fresh || !before.count(name);
                if (!fresh)
                    std::this_thread::yield();
            }
            ::kill(pid, SIGKILL);
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            killed = WIFSIGNALED(status);
            if (!killed)
                writeBytes(target, "old");
        }
        ASSERT_TRUE(killed) << "every save ended before it could be killed";
        EXPECT_EQ(readBytes(target), "old");
        // The killed save's temporary is all that is left: the one before went at its start.
        before = entriesOf(tmp.path());
        EXPECT_EQ(before.size(), 2u);
    }
    ASSERT_TRUE(writeText(target, "new"));
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"account.ini"}));
    EXPECT_EQ(readBytes(target), "new");
}

TEST(File, SavesOfOneFileFromSeveralThreadsNeverTakeEachOthersTemporaries)
{
    TempDirectory tmp;
    const std::string target = tmp / "registry.xml";
    constexpr int Threads = 4, Saves = 150;
    std::atomic<int> failed{0};
    std::vector<std::thread> savers;
    for (int t = 0; t < Threads; ++t)
        savers.emplace_back([&, t] {
            const std::string text(4096 + t, static_cast<char>('a' + t));
            for (int i = 0; i < Saves; ++i)
                if (!writeText(target, text))
                    ++failed;
        });
    for (std::thread& t : savers)
        t.join();
    EXPECT_EQ(failed.load(), 0) << "a save's temporary was taken away under it";
    const std::string last = readBytes(target);
    ASSERT_FALSE(last.empty());
    EXPECT_EQ(last, std::string(4096 + (last[0] - 'a'), last[0]));
    EXPECT_EQ(entriesOf(tmp.path()), (std::set<std::string>{"registry.xml"}));
}
