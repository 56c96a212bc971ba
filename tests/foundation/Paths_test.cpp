#include "foundation/Containers.h"
#include "foundation/Paths.h"
#include "foundation/String.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace orvane;
using orvane::testing::CurrentDirectoryGuard;
using orvane::testing::permissionsOf;
using orvane::testing::TempDirectory;
using orvane::testing::writeBytes;

namespace {

std::set<std::string> asSet(const StringArray& a)
{
    std::set<std::string> s;
    for (const String& x : a)
        s.insert(x.c_str());
    return s;
}

bool isDir(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

TEST(Paths, IsAlphaTakesOnlyAsciiLetters)
{
    for (char c : {'a', 'z', 'A', 'Z', 'm'})
        EXPECT_TRUE(isAlpha(c)) << c;
    for (char c : {'0', '@', '[', '`', '{', ' ', '\0', '/', char(0xC4), char(0xE9)})
        EXPECT_FALSE(isAlpha(c)) << int(c);
}

TEST(Paths, AbsolutePathKeepsRootedPathsAndPrefixesTheRest)
{
    TempDirectory tmp;
    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    const std::string cwd = tmp.path();
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"/abs/x", "/abs/x"},
        {"//server/share", "//server/share"},
        {"/", "/"},
        {"name", cwd + "/name"},
        {"a/b/", cwd + "/a/b/"},
        {"./x", cwd + "/./x"},
        // Drive letters mean nothing here: such a name is relative like any other.
        {"C:\\x", cwd + "/C:\\x"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(absolutePath(c.in).c_str(), c.out.c_str()) << c.in;
    EXPECT_TRUE(absolutePath(nullptr).isEmpty());
    EXPECT_TRUE(absolutePath("").isEmpty());

    // In the root directory a relative name gets exactly one separator.
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_STREQ(absolutePath("etc").c_str(), "/etc");
}

TEST(Paths, CurrentDirectoryReadsDeepDirectoriesInFull)
{
    TempDirectory tmp;
    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_STREQ(currentDirectory().c_str(), tmp.path().c_str());

    // Well past 256 bytes, and past the 4096 that one system call can report.
    std::string expected = tmp.path();
    const std::string component(200, 'd');
    for (int depth = 0; depth < 26; ++depth) {
        ASSERT_EQ(mkdir(component.c_str(), 0700), 0);
        ASSERT_EQ(chdir(component.c_str()), 0);
        expected += "/" + component;
        if (depth == 1) {
            EXPECT_STREQ(currentDirectory().c_str(), expected.c_str());
        }
    }
    ASSERT_GT(expected.size(), 5000u);
    String cwd = currentDirectory();
    EXPECT_EQ(cwd.length(), static_cast<int>(expected.size()));
    EXPECT_STREQ(cwd.c_str(), expected.c_str());
    EXPECT_STREQ(absolutePath("f").c_str(), (expected + "/f").c_str());
}

TEST(Paths, RemovedCurrentDirectoryReadsAsNull)
{
    TempDirectory tmp;
    CurrentDirectoryGuard guard;
    const std::string gone = tmp / "gone";
    ASSERT_EQ(mkdir(gone.c_str(), 0700), 0);
    ASSERT_EQ(chdir(gone.c_str()), 0);
    ASSERT_EQ(rmdir(gone.c_str()), 0);

    EXPECT_STREQ(currentDirectory().c_str(), "null");
    EXPECT_STREQ(absolutePath("x").c_str(), "null/x");
    // Without a base a relative name has no full path; a rooted one still has.
    EXPECT_TRUE(fullPath("x").isEmpty());
    EXPECT_STREQ(fullPath("/a/../b").c_str(), "/b");
    // Every parent of "null/a/b" is relative too: the walk up must end, not loop.
    EXPECT_FALSE(makeDirectories("a/b"));
    EXPECT_FALSE(makeDirectories("null/a"));
    EXPECT_EQ(fileType("x"), FileTypeMissing);
}

TEST(Paths, FullPathResolvesDotsWithoutTouchingTheDisk)
{
    TempDirectory tmp;
    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    const std::string cwd = tmp.path();
    struct Case {
        const char* in;
        std::string out;
    } cases[] = {
        {"/a/b/c", "/a/b/c"},
        {"/a//b///c", "/a/b/c"},
        {"/a/./b/../c", "/a/c"},
        {"/a/b/", "/a/b/"},
        {"/a/b/..", "/a"},
        {"/..", "/"},
        {"/../../x", "/x"},
        {"/", "/"},
        {"//", "/"},
        {"/a/.hidden/./f", "/a/.hidden/f"},
        {"/a/...", "/a/..."},
        {"missing/dir/file", cwd + "/missing/dir/file"},
        {".", cwd},
        {"sub/..", cwd},
        {"..", cwd.substr(0, cwd.rfind('/'))},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(fullPath(c.in).c_str(), c.out.c_str()) << c.in;
    EXPECT_TRUE(fullPath(nullptr).isEmpty());
    EXPECT_TRUE(fullPath("").isEmpty());
}

TEST(Paths, FileTypeBits)
{
    TempDirectory tmp;
    const std::string file = tmp / "plain.txt";
    const std::string hiddenFile = tmp / ".profile";
    const std::string dir = tmp / "dir";
    const std::string hiddenDir = tmp / ".cache";
    writeBytes(file, "abc");
    writeBytes(hiddenFile, "");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(hiddenDir.c_str(), 0700), 0);
    ASSERT_EQ(symlink(file.c_str(), (tmp / "link").c_str()), 0);
    ASSERT_EQ(symlink((tmp / "nowhere").c_str(), (tmp / "dangling").c_str()), 0);

    struct Case {
        std::string path;
        int type;
    } cases[] = {
        {file, 3},
        {hiddenFile, 1 + 2 + 8},
        {dir, 5},
        {dir + "/", 5},
        {hiddenDir, 13},
        {hiddenDir + "/", 13},
        {tmp.path() + "/.", 5},
        {dir + "/..", 5},
        {tmp / "link", 3},
        {tmp / "dangling", 0},
        {tmp / "missing", 0},
        {tmp / ".missing", 0},
        {file + "/x", 0},
        {"/", 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileType(c.path.c_str()), c.type) << c.path;
    EXPECT_EQ(fileType(nullptr), 0);
    EXPECT_EQ(fileType(""), 0);

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_EQ(fileType(".cache"), 13);
    EXPECT_EQ(fileType("plain.txt"), 3);
    EXPECT_EQ(fileType("."), 5);
}

TEST(Paths, FileSize)
{
    TempDirectory tmp;
    writeBytes(tmp / "three", std::string("a\0b", 3));
    writeBytes(tmp / "empty", "");
    writeBytes(tmp / "big", std::string(100000, 'x'));
    EXPECT_EQ(fileSize((tmp / "three").c_str()), 3);
    EXPECT_EQ(fileSize((tmp / "empty").c_str()), 0);
    EXPECT_EQ(fileSize((tmp / "big").c_str()), 100000);
    EXPECT_EQ(fileSize((tmp / "missing").c_str()), 0);
    EXPECT_EQ(fileSize(tmp.path().c_str()), 0);
    EXPECT_EQ(fileSize(nullptr), -1);

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_EQ(fileSize("three"), 3);
}

TEST(Paths, AsDirectoryPathAndFileNameOf)
{
    TempDirectory tmp;
    const std::string dir = tmp / "dir";
    const std::string file = tmp / "file.txt";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    writeBytes(file, "x");

    EXPECT_STREQ(asDirectoryPath(dir.c_str()).c_str(), (dir + "/").c_str());
    EXPECT_STREQ(asDirectoryPath((dir + "/").c_str()).c_str(), (dir + "/").c_str());
    EXPECT_STREQ(asDirectoryPath(file.c_str()).c_str(), file.c_str());
    EXPECT_STREQ(asDirectoryPath((tmp / "missing").c_str()).c_str(), (tmp / "missing").c_str());
    EXPECT_STREQ(asDirectoryPath("/").c_str(), "/");
    EXPECT_TRUE(asDirectoryPath(nullptr).isEmpty());
    EXPECT_TRUE(asDirectoryPath("").isEmpty());

    EXPECT_STREQ(fileNameOf(dir.c_str()).c_str(), "dir");
    EXPECT_STREQ(fileNameOf((dir + "/").c_str()).c_str(), "dir");
    EXPECT_STREQ(fileNameOf(file.c_str()).c_str(), "file.txt");
    // Only an existing directory loses its trailing separator.
    EXPECT_STREQ(fileNameOf((tmp / "missing/").c_str()).c_str(), "");
    EXPECT_STREQ(fileNameOf("bare").c_str(), "bare");
    EXPECT_STREQ(fileNameOf("/").c_str(), "");
    EXPECT_TRUE(fileNameOf(nullptr).isEmpty());

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_STREQ(asDirectoryPath("dir").c_str(), "dir/");
    EXPECT_STREQ(fileNameOf("dir/").c_str(), "dir");
}

TEST(Paths, MakeDirectoriesCreatesMissingLevelsAndAnswersFalseForExisting)
{
    TempDirectory tmp;
    const std::string deep = tmp / "one/two";
    EXPECT_TRUE(makeDirectories(deep.c_str()));
    EXPECT_TRUE(isDir(tmp / "one"));
    EXPECT_TRUE(isDir(deep));
    EXPECT_EQ(permissionsOf(deep), 0700u);
    EXPECT_FALSE(makeDirectories(deep.c_str()));
    EXPECT_FALSE(makeDirectories((deep + "/").c_str()));

    // One trailing separator is dropped before creating.
    EXPECT_TRUE(makeDirectories((tmp / "a/b/c/").c_str()));
    EXPECT_TRUE(isDir(tmp / "a/b/c"));

    // A file in the way.
    writeBytes(tmp / "file", "x");
    EXPECT_FALSE(makeDirectories((tmp / "file/sub").c_str()));
    EXPECT_FALSE(makeDirectories((tmp / "file").c_str()));

    // The root and odd paths end quickly with false.
    for (const char* odd : {"/", "//", "///", "/./", "", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(makeDirectories(odd)) << (odd ? odd : "NULL");

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_TRUE(makeDirectories("rel/x"));
    EXPECT_TRUE(isDir(tmp / "rel/x"));
}

TEST(Paths, ReadDirYieldsEveryEntryThenNull)
{
    TempDirectory tmp;
    const std::string empty = tmp / "empty";
    ASSERT_EQ(mkdir(empty.c_str(), 0700), 0);

    DirListing* listing = openDir(empty.c_str());
    ASSERT_NE(listing, nullptr);
    std::set<std::string> names;
    while (const char* name = readDir(listing))
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{".", ".."}));
    EXPECT_EQ(readDir(listing), nullptr); // stays exhausted
    EXPECT_EQ(closeDir(listing), 0);

    // Closing before the end releases the handle too (ASan reports a leak otherwise).
    writeBytes(tmp / "f", "x");
    listing = openDir(tmp.path().c_str());
    ASSERT_NE(listing, nullptr);
    EXPECT_NE(readDir(listing), nullptr);
    EXPECT_EQ(closeDir(listing), 0);

    EXPECT_EQ(openDir((tmp / "missing").c_str()), nullptr);
    EXPECT_EQ(openDir((tmp / "f").c_str()), nullptr);
    EXPECT_EQ(openDir(nullptr), nullptr);
    EXPECT_EQ(openDir(""), nullptr);
    EXPECT_EQ(readDir(nullptr), nullptr);
    EXPECT_EQ(closeDir(nullptr), 0);

    listing = openDir("/");
    ASSERT_NE(listing, nullptr);
    EXPECT_EQ(closeDir(listing), 0);
}

TEST(Paths, ListDirectoryLeavesOutDotEntries)
{
    TempDirectory tmp;
    const std::string dir = tmp / "three";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    writeBytes(dir + "/a.txt", "1");
    writeBytes(dir + "/.hidden", "2");
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((tmp / "empty").c_str(), 0700), 0);

    StringArray out;
    out.add(String("stale"));
    listDirectory(dir.c_str(), out);
    EXPECT_EQ(out.count(), 3);
    EXPECT_EQ(asSet(out), (std::set<std::string>{"a.txt", ".hidden", "sub"}));

    for (const std::string& nothing : {tmp / "empty", dir + "/a.txt", tmp / "missing"}) {
        out.add(String("stale"));
        listDirectory(nothing.c_str(), out);
        EXPECT_EQ(out.count(), 0) << nothing;
    }
    out.add(String("stale"));
    listDirectory(nullptr, out);
    EXPECT_EQ(out.count(), 0);

    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    listDirectory("three", out);
    EXPECT_EQ(out.count(), 3);
}

TEST(Paths, ListDirectoryPathsJoinsWithExactlyOneSeparator)
{
    TempDirectory tmp;
    const std::string dir = tmp / "d";
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    for (const char* name : {"x", "y", "z"})
        writeBytes(dir + "/" + name, name);
    const std::set<std::string> expected = {dir + "/x", dir + "/y", dir + "/z"};

    StringArray plain, slashed;
    EXPECT_TRUE(listDirectoryPaths(dir.c_str(), plain));
    EXPECT_TRUE(listDirectoryPaths((dir + "/").c_str(), slashed));
    EXPECT_EQ(asSet(plain), expected);
    EXPECT_EQ(asSet(slashed), expected);
    EXPECT_EQ(plain.count(), 3);

    StringArray out;
    out.add(String("stale"));
    EXPECT_FALSE(listDirectoryPaths((tmp / "d/x/..").c_str(), out));
    EXPECT_FALSE(listDirectoryPaths((dir + "/x").c_str(), out));
    EXPECT_FALSE(listDirectoryPaths((tmp / "missing").c_str(), out));
    EXPECT_FALSE(listDirectoryPaths(nullptr, out));
    EXPECT_EQ(out.count(), 0);

    // A relative directory gives relative paths, as given.
    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);
    EXPECT_TRUE(listDirectoryPaths("d", out));
    EXPECT_EQ(asSet(out), (std::set<std::string>{"d/x", "d/y", "d/z"}));
}

TEST(Paths, OpenFileCreatesOwnerOnlyAndCloseOnExec)
{
    TempDirectory tmp;
    CurrentDirectoryGuard guard;
    ASSERT_EQ(chdir(tmp.path().c_str()), 0);

    int fd = openFile("new.bin", O_RDWR | O_CREAT);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    ::close(fd);
    EXPECT_EQ(permissionsOf(tmp / "new.bin"), 0600u);

    fd = openFile((tmp / "new.bin").c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(openFile((tmp / "missing").c_str(), O_RDONLY), -1);
    EXPECT_EQ(openFile((tmp / "no/dir").c_str(), O_RDWR | O_CREAT), -1);
    EXPECT_EQ(openFile(nullptr, O_RDONLY), -1);
    EXPECT_EQ(openFile("", O_RDONLY), -1);
}
