#include "foundation/RegistryKey.h"

#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace orvane;
using orvane::testing::readBytes;
using orvane::testing::TempDirectory;
using orvane::testing::writeBytes;

namespace {

const char* const kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Every test gets a store of its own in a folder that does not exist yet.
class RegistryKeyTest : public ::testing::Test {
protected:
    // A key object opened (and created) on path.
    static RegistryKey keyAt(const char* path)
    {
        RegistryKey key;
        EXPECT_TRUE(key.open(path, true)) << path;
        return key;
    }

    TempDirectory temp_;
    std::string store_ = temp_ / "store";

private:
    // Put back as it was when the test ends, whatever the test set it to.
    orvane::testing::ScopedEnv storeFolder_{"ORVANE_REGISTRY_DIR", store_.c_str()};
};

} // namespace

TEST_F(RegistryKeyTest, RootsAndReset)
{
    RegistryKey key;
    EXPECT_EQ(key.getRoot(), HKEY_CURRENT_USER);
    EXPECT_EQ(key.getKeyPath(), "");
    EXPECT_EQ(key.getLastError(), 0);

    for (RegistryRoot root : {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_USER}) {
        EXPECT_TRUE(key.setRoot(root));
        EXPECT_EQ(key.getRoot(), root);
    }
    key.setRoot(HKEY_LOCAL_MACHINE);
    for (RegistryRoot root : {HKEY_CURRENT_CONFIG, HKEY_PERFORMANCE_DATA, RegistryRoot(0), RegistryRoot(0x80000006u)}) {
        EXPECT_FALSE(key.setRoot(root)) << root;
        EXPECT_EQ(key.getRoot(), HKEY_LOCAL_MACHINE);
    }

    ASSERT_TRUE(key.open("Software\\Tavelor", true));
    EXPECT_FALSE(key.open("Missing", false));
    key.reset();
    EXPECT_EQ(key.getRoot(), HKEY_CURRENT_USER);
    EXPECT_EQ(key.getKeyPath(), "");
    EXPECT_EQ(key.getLastError(), 0);
}

TEST_F(RegistryKeyTest, OpenAndCreateKeys)
{
    RegistryKey key;
    // Nothing is created by reading: not even the store folder.
    EXPECT_FALSE(key.open("Software\\Tavelor\\Orvane", false));
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorNotFound);
    EXPECT_EQ(key.getKeyPath(), "");
    EXPECT_EQ(readBytes(store_ + "/HKEY_CURRENT_USER.xml"), "<missing>");

    ASSERT_TRUE(key.open("Software\\Tavelor\\Orvane", true));
    EXPECT_EQ(key.getKeyPath(), "Software\\Tavelor\\Orvane");
    EXPECT_EQ(key.getLastError(), 0);

    // Parents exist on their own; names compare ignoring case; one trailing separator is
    // allowed. A failed open keeps the key that was open.
    RegistryKey other;
    for (const char* path : {"Software", "SOFTWARE\\tavelor", "software\\TAVELOR\\orvane\\"}) {
        EXPECT_TRUE(other.open(path, false)) << path;
        EXPECT_EQ(other.getKeyPath(), path);
    }
    EXPECT_FALSE(other.open("Software\\Tav", false));
    EXPECT_EQ(other.getKeyPath(), "software\\TAVELOR\\orvane\\");

    for (const char* path : {"\\Software", "Software\\\\Tavelor", "\\"}) {
        EXPECT_FALSE(other.open(path, true)) << path;
        EXPECT_EQ(other.getLastError(), RegistryKey::ErrorBadPathName);
    }
    // An empty path selects the root.
    EXPECT_TRUE(other.open("", false));
    EXPECT_EQ(other.getKeyPath(), "");
    EXPECT_TRUE(other.open(nullptr, false));

    // Each root is a registry of its own.
    RegistryKey machine;
    ASSERT_TRUE(machine.setRoot(HKEY_LOCAL_MACHINE));
    EXPECT_FALSE(machine.open("Software", false));
}

TEST_F(RegistryKeyTest, ValuesOfEachTypeAndWhatEachReaderMakesOfThem)
{
    RegistryKey key = keyAt("Software\\Tavelor\\Types");
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05};
    ASSERT_TRUE(key.writeString("Plain", "hello"));
    ASSERT_TRUE(key.writeString("Expand", "%APPDATA%\\Orvane", REG_EXPAND_SZ));
    ASSERT_TRUE(key.writeDword("Number", 0x12345678u));
    ASSERT_TRUE(key.writeBinary("Five", bytes, 5));
    ASSERT_TRUE(key.writeBinary("Two", bytes, 2));
    ASSERT_TRUE(key.writeBinary("Empty", nullptr, 0));
    ASSERT_TRUE(key.writeString("Short", "ab"));

    struct Case {
        const char* name;
        uint32_t type;
        int size;
        const char* string;   // readString with the default "dflt"
        uint32_t dword;       // readDword with the default 77
        int binary;           // readBinary's answer
    };
    const Case cases[] = {
        {"Plain", REG_SZ, 6, "hello", 77, 6},
        {"Expand", REG_EXPAND_SZ, 17, "%APPDATA%\\Orvane", 77, 17}, // not expanded
        {"Number", REG_DWORD, 4, "dflt", 0x12345678u, 4},
        {"Five", REG_BINARY, 5, "dflt", 77, 5},                    // longer than 4 bytes
        {"Two", REG_BINARY, 2, "dflt", 0x0201u, 2},                // zero-filled
        {"Empty", REG_BINARY, 0, "dflt", 0, 0},
        {"Short", REG_SZ, 3, "ab", 0x6261u, 3},                    // any type, its bytes
        {"Missing", 0, -1, "dflt", 77, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(key.getValueType(c.name), c.type);
        EXPECT_EQ(key.getValueSize(c.name), c.size);
        EXPECT_EQ(key.readString(c.name, "dflt"), c.string);
        EXPECT_EQ(key.readDword(c.name, 77), c.dword);
        EXPECT_EQ(key.readBinaryDword(c.name, 77), c.dword);
        ByteArray out;
        out.add(0xEE); // emptied first
        EXPECT_EQ(key.readBinary(c.name, out), c.binary);
        EXPECT_EQ(out.count(), c.binary);
    }
    EXPECT_EQ(key.getValueType("Missing"), 0u);
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorNotFound);

    ByteArray out;
    ASSERT_EQ(key.readBinary("Number", out), 4);
    EXPECT_EQ(out[0], 0x78); // stored little-endian
    EXPECT_EQ(out[3], 0x12);
    ASSERT_EQ(key.readBinary("Plain", out), 6);
    EXPECT_EQ(out[5], 0); // strings carry their terminator

    // Value names ignore case; rewriting replaces the value, whatever its type was.
    EXPECT_EQ(key.readDword("NUMBER", 0), 0x12345678u);
    ASSERT_TRUE(key.writeString("number", "now text"));
    EXPECT_EQ(key.getValueType("Number"), REG_SZ);
    EXPECT_EQ(key.readString("Number", ""), "now text");

    ASSERT_TRUE(key.deleteValue("PLAIN"));
    EXPECT_EQ(key.getValueSize("Plain"), -1);
    EXPECT_FALSE(key.deleteValue("Plain"));
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorNotFound);
}

TEST_F(RegistryKeyTest, StringsLongerThanTheReadBufferGiveTheDefault)
{
    RegistryKey key = keyAt("Software\\Tavelor");
    const std::string fits(254, 'x');     // 255 bytes with the terminator
    const std::string tooLong(255, 'y');  // 256 bytes
    const std::string muchLonger(300, 'z');
    ASSERT_TRUE(key.writeString("Fits", fits.c_str()));
    ASSERT_TRUE(key.writeString("TooLong", tooLong.c_str()));
    ASSERT_TRUE(key.writeString("MuchLonger", muchLonger.c_str(), REG_EXPAND_SZ));

    EXPECT_EQ(key.readString("Fits", "d"), fits.c_str());
    EXPECT_EQ(key.readString("TooLong", "d"), "d");
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorMoreData);
    EXPECT_EQ(key.readString("MuchLonger", "d"), "d");
    // The other readers still see the whole value.
    EXPECT_EQ(key.getValueSize("MuchLonger"), 301);
    ByteArray out;
    EXPECT_EQ(key.readBinary("MuchLonger", out), 301);
}

TEST_F(RegistryKeyTest, AKeyThatIsMissingGivesDefaultsAndRefusesWrites)
{
    RegistryKey key = keyAt("Software\\Tavelor");
    ASSERT_TRUE(key.writeDword("Flag", 1));
    // The same path under another root does not exist.
    ASSERT_TRUE(key.setRoot(HKEY_LOCAL_MACHINE));
    EXPECT_EQ(key.readString("Flag", "d"), "d");
    EXPECT_EQ(key.readDword("Flag", 9), 9u);
    EXPECT_EQ(key.getValueSize("Flag"), -1);
    EXPECT_EQ(key.getValueType("Flag"), 0u);
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorNotFound);
    ByteArray out;
    EXPECT_EQ(key.readBinary("Flag", out), -1);
    EXPECT_FALSE(key.writeDword("Flag", 2));
    EXPECT_FALSE(key.deleteValue("Flag"));
    EXPECT_EQ(readBytes(store_ + "/HKEY_LOCAL_MACHINE.xml"), "<missing>");

    ASSERT_TRUE(key.setRoot(HKEY_CURRENT_USER));
    EXPECT_EQ(key.readDword("Flag", 9), 1u);

    // The root itself always exists and can hold values.
    RegistryKey root;
    EXPECT_EQ(root.readDword("Top", 5), 5u);
    ByteArray none;
    EXPECT_EQ(root.readBinary("Top", none), 0);
    ASSERT_TRUE(root.writeDword("Top", 6));
    EXPECT_EQ(RegistryKey().readDword("Top", 5), 6u);
}

TEST_F(RegistryKeyTest, TextOfAnyKindSurvivesTheStoreFile)
{
    RegistryKey key = keyAt("Software\\Odd <&> \"Names\" 'here'");
    const char* texts[] = {
        "  leading and trailing blanks  ",
        "quote \" apostrophe ' amp & lt < gt > entity &lt; &amp;",
        "line one\r\nline two\ttab",
        "\x7f\x80\xff high bytes",
        "<value name=\"x\" type=\"4\" hex=\"00\"/>",
        "",
    };
    for (int i = 0; i < 6; ++i) {
        std::string name = " name " + std::to_string(i) + " = & \" ";
        ASSERT_TRUE(key.writeString(name.c_str(), texts[i]));
    }
    const uint8_t bytes[] = {0, '"', '<', 0, 0xff};
    ASSERT_TRUE(key.writeValue("Zeros in a string", REG_SZ, bytes, 5));

    RegistryKey again;
    ASSERT_TRUE(again.open("SOFTWARE\\odd <&> \"names\" 'HERE'", false));
    for (int i = 0; i < 6; ++i) {
        std::string name = " name " + std::to_string(i) + " = & \" ";
        EXPECT_EQ(again.readString(name.c_str(), "d"), texts[i]) << i;
    }
    ByteArray out;
    ASSERT_EQ(again.readBinary("Zeros in a string", out), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data()), 5), std::string("\0\"<\0\xff", 5));
    EXPECT_EQ(again.readString("Zeros in a string", "d"), ""); // ends at the first zero
}

TEST_F(RegistryKeyTest, ReadsAStorePreparedByHand)
{
    // The form a test or a user writes to prepare values: one root per file.
    ASSERT_EQ(mkdir(store_.c_str(), 0700), 0);
    writeBytes(store_ + "/HKEY_CURRENT_USER.xml",
               "<registry>\n"
               "<key path=\"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\">"
               "<value name=\"ProxyEnable\" type=\"3\" hex=\"01000000\"/>"
               "<value name=\"ProxyServer\" type=\"1\" text=\"http=127.0.0.1:3128;ftp=proxy:21\"/>"
               "<value name=\"Broken\" type=\"3\" hex=\"0g\"/>"
               "<value name=\"NoType\" text=\"x\"/>"
               "</key>\n"
               "</registry>\n");
    RegistryKey key;
    ASSERT_TRUE(key.open(kInternet, false));
    EXPECT_EQ(key.readBinaryDword("ProxyEnable", 0), 1u);
    EXPECT_EQ(key.readString("proxyserver", ""), "http=127.0.0.1:3128;ftp=proxy:21");
    // Values that cannot be decoded are read failures, not zeros.
    ByteArray out;
    EXPECT_EQ(key.readBinary("Broken", out), -1);
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorInvalidData);
    EXPECT_EQ(key.readString("NoType", "d"), "d");
    // Its parents were not listed, so they do not exist.
    EXPECT_FALSE(RegistryKey().open("Software\\Microsoft", false));
}

TEST_F(RegistryKeyTest, ADamagedStoreIsSetAsideOnTheNextChange)
{
    ASSERT_EQ(mkdir(store_.c_str(), 0700), 0);
    const std::string file = store_ + "/HKEY_CURRENT_USER.xml";
    const std::string damaged = "<registry><key path=\"Software\"><value name=\"x\" type=\"1\" text=\"y\"/></key";
    writeBytes(file, damaged);

    RegistryKey key;
    EXPECT_FALSE(key.open("Software", false));
    EXPECT_EQ(key.getLastError(), RegistryKey::ErrorStoreCorrupt);
    EXPECT_EQ(key.readDword("x", 3), 3u);

    ASSERT_TRUE(key.open("Software", true));
    EXPECT_TRUE(key.writeDword("x", 4));
    EXPECT_EQ(key.readDword("x", 3), 4u);
    EXPECT_EQ(readBytes(file + ".corrupt"), damaged);
}

TEST_F(RegistryKeyTest, ValuesPersistAcrossObjectsAndProcesses)
{
    {
        RegistryKey writer = keyAt("Software\\Tavelor\\Orvane\\Modules");
        ASSERT_TRUE(writer.writeString("Profile", "main"));
    }
    RegistryKey reader;
    ASSERT_TRUE(reader.open("Software\\Tavelor\\Orvane\\Modules", false));
    EXPECT_EQ(reader.readString("Profile", ""), "main");

    // Several processes change the same key at once: the lock around each change keeps
    // every one of their values.
    const int processes = 4;
    const int valuesEach = 15;
    pid_t children[processes];
    for (int p = 0; p < processes; ++p) {
        children[p] = fork();
        ASSERT_GE(children[p], 0);
        if (children[p] == 0) {
            RegistryKey key;
            bool ok = key.open("Software\\Tavelor\\Orvane\\Modules", false);
            for (int i = 0; ok && i < valuesEach; ++i)
                ok = key.writeDword(("P" + std::to_string(p) + "V" + std::to_string(i)).c_str(),
                                    static_cast<uint32_t>(p * 100 + i));
            _exit(ok ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int p = 0; p < processes; ++p)
        for (int i = 0; i < valuesEach; ++i)
            EXPECT_EQ(reader.readDword(("P" + std::to_string(p) + "V" + std::to_string(i)).c_str(), 9999),
                      static_cast<uint32_t>(p * 100 + i));
    EXPECT_EQ(reader.readString("Profile", ""), "main");
    // No temporary file stays behind, and the store is private.
    EXPECT_EQ(orvane::testing::permissionsOf(store_), 0700u);
    EXPECT_EQ(orvane::testing::permissionsOf(store_ + "/HKEY_CURRENT_USER.xml"), 0600u);
}

TEST_F(RegistryKeyTest, StoreFolderFollowsTheConfigurationHome)
{
    const char* xdg = getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    const char* home = getenv("HOME");
    const std::string savedHome = home ? home : "";

    EXPECT_EQ(RegistryKey::storeFolder(), store_.c_str());
    EXPECT_EQ(RegistryKey::storeFile(HKEY_USERS), (store_ + "/HKEY_USERS.xml").c_str());
    EXPECT_EQ(RegistryKey::storeFile(HKEY_CURRENT_CONFIG), "");

    unsetenv("ORVANE_REGISTRY_DIR");
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ(RegistryKey::storeFolder(), "/somewhere/config/Orvane");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegistryKey::storeFolder(), "/home/someone/.config/Orvane");

    if (xdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (home)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}
