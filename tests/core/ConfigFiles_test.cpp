// account.ini and config.ini: defaults, the per-user copy and its fallback to the program
// folder, the merge that keeps foreign elements, the time-out rules and the auto-proxy order.

#include "core/ConfigFiles.h"

#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;
using orvane::testing::ScopedEnv;
using orvane::testing::permissionsOf;
using orvane::testing::readBytes;
using orvane::testing::TempDirectory;
using orvane::testing::writeBytes;

namespace {

// A program folder and a user configuration folder inside one temporary directory.
struct Installation {
    TempDirectory root;
    ConfigPaths paths;

    Installation()
    {
        ::mkdir((root / "program").c_str(), 0700);
        paths = ConfigPaths::locate((root / "program").c_str(), (root / "home/.config").c_str());
    }
    std::string programFile(const char* name) const { return root / ("program/" + std::string(name)); }
    std::string userAccount() const { return root / "home/.config/Orvane/account.ini"; }
};

// The indented document the program writes for an account it creates.
std::string accountDocument(const std::string& serverChildren, const std::string& root = "xml")
{
    return "<" + root + ">\r\n\t<server>\r\n" + serverChildren + "\t</server>\r\n</" + root + ">\r\n";
}

std::string line(const char* key, const std::string& value)
{
    if (value.empty())
        return std::string("\t\t<") + key + "/>\r\n";
    return std::string("\t\t<") + key + ">" + value + "</" + key + ">\r\n";
}


} // namespace

TEST(ConfigPathsTest, PerUserCopyBesideTheProgramFolder)
{
    ConfigPaths p = ConfigPaths::locate("/opt/orvane/bin", "/home/ann/.config/");
    EXPECT_EQ(p.programFolder, "/opt/orvane/bin/");
    EXPECT_EQ(p.configPath, "/opt/orvane/bin/config.ini");
    EXPECT_EQ(p.defaultAccountPath, "/opt/orvane/bin/account.ini");
    EXPECT_EQ(p.userFolder, "/home/ann/.config/Orvane");
    EXPECT_EQ(p.accountPath, "/home/ann/.config/Orvane/account.ini");

    // No user configuration folder: the account lives in the program folder.
    ConfigPaths noHome = ConfigPaths::locate("/opt/orvane/bin/", "");
    EXPECT_TRUE(noHome.userFolder.isEmpty());
    EXPECT_EQ(noHome.accountPath, "/opt/orvane/bin/account.ini");
    EXPECT_FALSE(noHome.createUserFolder());
}

TEST(ConfigPathsTest, TheStandardFoldersComeFromTheEnvironmentAndTheExecutable)
{
    // The environment is restored when the test ends.
    struct Restore {
        std::string home, xdg;
        bool hadHome, hadXdg;
        Restore()
        {
            const char* h = std::getenv("HOME");
            const char* x = std::getenv("XDG_CONFIG_HOME");
            hadHome = h != nullptr;
            hadXdg = x != nullptr;
            home = h ? h : "";
            xdg = x ? x : "";
        }
        ~Restore()
        {
            hadHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
            hadXdg ? setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
        }
    } restore;
    setenv("HOME", "/home/someone", 1);
    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    EXPECT_EQ(userConfigHome(), "/xdg/config");
    setenv("XDG_CONFIG_HOME", "relative/config", 1);
    EXPECT_EQ(userConfigHome(), "/home/someone/.config");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(userConfigHome(), "/home/someone/.config");
    unsetenv("HOME");
    EXPECT_TRUE(userConfigHome().isEmpty());

    char exe[4096];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(n, 0);
    std::string self(exe, static_cast<size_t>(n));
    EXPECT_EQ(std::string(executableFolder().c_str()), self.substr(0, self.rfind('/') + 1));

    setenv("XDG_CONFIG_HOME", "/xdg/config", 1);
    ConfigPaths p = ConfigPaths::locate();
    EXPECT_EQ(std::string(p.configPath.c_str()), self.substr(0, self.rfind('/') + 1) + "config.ini");
    EXPECT_EQ(p.accountPath, "/xdg/config/Orvane/account.ini");
}

TEST(AccountFile, NothingOnDiskGivesTheDefaults)
{
    Installation inst;
    AccountSettings account;
    account.userName = "stale";
    account.autoProxy = false;
    account.proxyType = 3;
    account.readAccount(inst.paths);
    EXPECT_TRUE(account.userName.isEmpty());
    EXPECT_TRUE(account.password.isEmpty());
    EXPECT_TRUE(account.networkId.isEmpty());
    EXPECT_TRUE(account.myInternetAddress.isEmpty());
    EXPECT_EQ(account.myInternetPort, 0);
    EXPECT_TRUE(account.bindAddress.isEmpty());
    EXPECT_EQ(account.bindPort, 0);
    EXPECT_TRUE(account.autoProxy);
    EXPECT_TRUE(account.proxyHost.isEmpty());
    EXPECT_EQ(account.proxyPort, 0);
    EXPECT_EQ(account.proxyType, 0);

    // An unparsable file reads the same.
    writeBytes(inst.programFile("account.ini"), "<xml><server><username>ann</server");
    account.readAccount(inst.paths);
    EXPECT_TRUE(account.userName.isEmpty());
    EXPECT_TRUE(account.autoProxy);
}

TEST(AccountFile, AFirstRunReadsTheProgramFoldersCopyAndTheFirstSaveMakesThePerUserOne)
{
    Installation inst;
    writeBytes(inst.programFile("account.ini"),
               "<xml>\n<server>\n<username>ann</username>\n<password>c2VjcmV0</password>\n"
               "<network>net1</network>\n<my_internet_address>203.0.113.9</my_internet_address>\n"
               "<my_internet_port>4100</my_internet_port>\n<bind_address>10.0.0.2</bind_address>\n"
               "<bind_port>5200</bind_port>\n<auto_proxy>no</auto_proxy>\n"
               "<proxy_host>proxy.lan</proxy_host>\n<proxy_port>3128</proxy_port>\n"
               "<proxy_type>1</proxy_type>\n<site_note>kept</site_note>\n</server>\n"
               "<branding>Example</branding>\n</xml>\n");
    AccountSettings account;
    account.readAccount(inst.paths);
    EXPECT_EQ(account.userName, "ann");
    EXPECT_EQ(account.password, "secret");
    EXPECT_EQ(account.networkId, "net1");
    EXPECT_EQ(account.myInternetAddress, "203.0.113.9");
    EXPECT_EQ(account.myInternetPort, 4100);
    EXPECT_EQ(account.bindAddress, "10.0.0.2");
    EXPECT_EQ(account.bindPort, 5200);
    EXPECT_FALSE(account.autoProxy);
    EXPECT_EQ(account.proxyHost, "proxy.lan");
    EXPECT_EQ(account.proxyPort, 3128);
    EXPECT_EQ(account.proxyType, 1);

    // The per-user folder does not exist yet; the save makes it and the file, with the
    // program folder's content, the change, and the foreign elements.
    account.password = "n3w<&>";
    ASSERT_TRUE(account.writeAccount(inst.paths));
    const std::string expected =
        "<xml>\r\n\t<server>\r\n" + line("username", "ann") +
        line("password", "bjN3PCY+") + line("network", "net1") +
        line("my_internet_address", "203.0.113.9") + line("my_internet_port", "4100") +
        line("bind_address", "10.0.0.2") + line("bind_port", "5200") + line("auto_proxy", "no") +
        line("proxy_host", "proxy.lan") + line("proxy_port", "3128") + line("proxy_type", "1") +
        line("site_note", "kept") + "\t</server>\r\n\t<branding>Example</branding>\r\n</xml>\r\n";
    EXPECT_EQ(readBytes(inst.userAccount()), expected);
    // The account holds a password: only its owner may read it.
    EXPECT_EQ(permissionsOf(inst.userAccount()), 0600u);
    // The program folder's copy is never written.
    EXPECT_NE(readBytes(inst.programFile("account.ini")).find("c2VjcmV0"), std::string::npos);

    // From now on the per-user copy is the one read.
    writeBytes(inst.programFile("account.ini"), "<xml><server><username>other</username></server></xml>");
    AccountSettings again;
    again.readAccount(inst.paths);
    EXPECT_EQ(again.userName, "ann");
    EXPECT_EQ(again.password, "n3w<&>");
}

TEST(AccountFile, ANewDocumentHoldsExactlyTheElevenKeys)
{
    Installation inst;
    AccountSettings account;
    account.userName = "bob";
    account.password = "pw";
    account.proxyType = 3;
    account.proxyPort = 1080;
    ASSERT_TRUE(account.writeAccount(inst.paths));
    EXPECT_EQ(readBytes(inst.userAccount()),
              accountDocument(line("username", "bob") + line("password", "cHc=") + line("network", "") +
                              line("my_internet_address", "") + line("my_internet_port", "0") +
                              line("bind_address", "") + line("bind_port", "0") +
                              line("auto_proxy", "yes") + line("proxy_host", "") +
                              line("proxy_port", "1080") + line("proxy_type", "3")));

    // An unparsable per-user document is replaced by a fresh one in the same way.
    writeBytes(inst.userAccount(), "<<<garbage");
    account.userName = "carl";
    ASSERT_TRUE(account.writeAccount(inst.paths));
    EXPECT_EQ(readBytes(inst.userAccount()).rfind("<xml>\r\n\t<server>\r\n\t\t<username>carl</username>", 0), 0u);
}

TEST(AccountFile, AnExistingDocumentKeepsItsRootAndEverythingForeign)
{
    Installation inst;
    ASSERT_TRUE(inst.paths.createUserFolder());
    writeBytes(inst.userAccount(),
               "<settings version=\"3\">\n<server>\n<UserName>old</UserName>\n<extra>x</extra>\n"
               "<proxy_port><nested>1</nested></proxy_port>\n</server>\n<other><deep>y</deep></other>\n"
               "</settings>\n");
    AccountSettings account;
    account.readAccount(inst.paths);
    EXPECT_EQ(account.userName, "old"); // key names match ignoring case
    account.userName = "new";
    ASSERT_TRUE(account.writeAccount(inst.paths));
    EXPECT_EQ(readBytes(inst.userAccount()),
              "<settings>\r\n\t<version>3</version>\r\n\t<server>\r\n" + line("UserName", "new") +
                  line("extra", "x") + line("proxy_port", "0") + line("password", "") +
                  line("network", "") + line("my_internet_address", "") + line("my_internet_port", "0") +
                  line("bind_address", "") + line("bind_port", "0") + line("auto_proxy", "yes") +
                  line("proxy_host", "") + line("proxy_type", "0") +
                  "\t</server>\r\n\t<other>\r\n\t\t<deep>y</deep>\r\n\t</other>\r\n</settings>\r\n");
}

TEST(AccountFile, AutoProxyIsOnUnlessTheFileSaysOtherwise)
{
    const struct {
        const char* element;
        bool expected;
    } cases[] = {
        {"", true},                                   // missing
        {"<auto_proxy></auto_proxy>", true},          // present but empty
        {"<auto_proxy/>", true},
        {"<auto_proxy>no</auto_proxy>", false},
        {"<auto_proxy>0</auto_proxy>", false},
        {"<auto_proxy>off</auto_proxy>", false},
        {"<auto_proxy>YES</auto_proxy>", true},
        {"<auto_proxy>True</auto_proxy>", true},
        {"<auto_proxy>1</auto_proxy>", true},
    };
    Installation inst;
    for (const auto& c : cases) {
        writeBytes(inst.programFile("account.ini"), std::string("<xml><server>") + c.element + "</server></xml>");
        AccountSettings account;
        account.autoProxy = !c.expected;
        account.readAccount(inst.paths);
        EXPECT_EQ(account.autoProxy, c.expected) << c.element;
    }
}

TEST(AccountFile, ABoundPortSurvivesRereadsAndIsWhatTheNextSaveWrites)
{
    Installation inst;
    ASSERT_TRUE(inst.paths.createUserFolder());
    writeBytes(inst.userAccount(),
               "<xml><server><bind_address>10.1.1.1</bind_address><bind_port>0</bind_port></server></xml>");
    AccountSettings account;
    account.readAccount(inst.paths);
    EXPECT_EQ(account.bindAddress, "10.1.1.1");
    EXPECT_EQ(account.bindPort, 0);

    // The TCP server has bound and written back its port.
    account.bindPort = 40123;
    writeBytes(inst.userAccount(),
               "<xml><server><bind_address>10.9.9.9</bind_address><bind_port>5000</bind_port>"
               "<username>ann</username></server></xml>");
    account.readAccount(inst.paths);
    EXPECT_EQ(account.userName, "ann");
    EXPECT_EQ(account.bindAddress, "10.1.1.1");
    EXPECT_EQ(account.bindPort, 40123);

    ASSERT_TRUE(account.writeAccount(inst.paths));
    const std::string written = readBytes(inst.userAccount());
    EXPECT_NE(written.find(line("bind_port", "40123")), std::string::npos);
    EXPECT_NE(written.find(line("bind_address", "10.1.1.1")), std::string::npos);
}

TEST(AccountFile, AFailedSaveIsReportedAndLeavesTheOldFile)
{
    Installation inst;
    ASSERT_TRUE(inst.paths.createUserFolder());
    writeBytes(inst.userAccount(), "<xml><server><username>old</username></server></xml>");
    AccountSettings account;
    account.userName = "new";

    // A folder the program may not write to. (Root may write anywhere: then the save works.)
    ::chmod(inst.paths.userFolder.c_str(), 0500);
    bool saved = account.writeAccount(inst.paths);
    ::chmod(inst.paths.userFolder.c_str(), 0700);
    if (geteuid() != 0) {
        EXPECT_FALSE(saved);
        EXPECT_EQ(readBytes(inst.userAccount()), "<xml><server><username>old</username></server></xml>");
    }
    EXPECT_EQ(account.userName, "new");

    // The per-user folder's place is taken by a file: nothing can be saved.
    Installation blocked;
    ::mkdir((blocked.root / "home").c_str(), 0700);
    ::mkdir((blocked.root / "home/.config").c_str(), 0700);
    writeBytes(blocked.root / "home/.config/Orvane", "not a folder");
    EXPECT_FALSE(account.writeAccount(blocked.paths));
    EXPECT_EQ(readBytes(blocked.programFile("account.ini")), "<missing>");
}

TEST(AccountFile, PasswordsTravelAsBase64)
{
    EXPECT_EQ(AccountSettings::encodePassword("secret"), "c2VjcmV0");
    EXPECT_EQ(AccountSettings::decodePassword("c2VjcmV0"), "secret");
    EXPECT_EQ(AccountSettings::encodePassword(""), "");
    EXPECT_EQ(AccountSettings::decodePassword(""), "");
    // Whatever the decoder makes of invalid text, and no failure.
    AccountSettings::decodePassword("!!not base64!!");
}

TEST(AccountFile, TheAutoProxyRuleTakesSocksThenHttpsThenHttp)
{
    AccountSettings account;
    account.proxyHost = "configured";
    account.proxyPort = 8080;
    account.proxyType = 3;

    struct Entry {
        const char* host;
        int port;
    };
    struct Case {
        const char* name;
        bool enabled;
        Entry socks, https, http;
        const char* host;
        int port;
        int type;
    };
    const Case cases[] = {
        {"proxying off", false, {"s", 1080}, {"h", 443}, {"p", 80}, "", 0, 0},
        {"socks and https", true, {"s", 1080}, {"h", 443}, {"p", 80}, "s", 1080, 2},
        {"https only", true, {"", 0}, {"h", 443}, {"p", 80}, "h", 443, 1},
        {"http only", true, {"", 0}, {"", 0}, {"p", 80}, "p", 80, 1},
        {"socks without port", true, {"s", 0}, {"h", 443}, {"", 0}, "h", 443, 1},
        {"no usable entry", true, {"s", 0}, {"", 443}, {"", 0}, "configured", 8080, 3},
    };
    for (const Case& c : cases) {
        InternetProxySettings system;
        system.enabled = c.enabled;
        system.socks.set(c.socks.host, c.socks.port);
        system.https.set(c.https.host, c.https.port);
        system.http.set(c.http.host, c.http.port);
        ProxySetting chosen = account.applyProxySettings(system);
        EXPECT_EQ(chosen.host, c.host) << c.name;
        EXPECT_EQ(chosen.port, c.port) << c.name;
        EXPECT_EQ(chosen.type, c.type) << c.name;
    }

    // With auto-proxy off the configured proxy stands whatever the system says.
    account.autoProxy = false;
    InternetProxySettings system;
    system.enabled = true;
    system.socks.set("s", 1080);
    ProxySetting chosen = account.applyProxySettings(system);
    EXPECT_EQ(chosen.host, "configured");
    EXPECT_EQ(chosen.port, 8080);
    EXPECT_EQ(chosen.type, 3);
}

// The rule reads the user's real settings: with an empty settings store, the proxy
// environment variables.
TEST(AccountFile, TheAutoProxyRuleReadsTheUsersSystemSettings)
{
    TempDirectory store;
    ScopedEnv registry("ORVANE_REGISTRY_DIR", store.path().c_str());
    ScopedEnv noAll("all_proxy", nullptr), noAllUpper("ALL_PROXY", nullptr);
    ScopedEnv noHttps("https_proxy", nullptr), noHttpsUpper("HTTPS_PROXY", nullptr);
    ScopedEnv noHttpUpper("HTTP_PROXY", nullptr);
    AccountSettings account;
    account.proxyHost = "configured";
    account.proxyPort = 8080;
    account.proxyType = 3;
    {
        ScopedEnv http("http_proxy", "http://proxy.test:3128");
        ProxySetting chosen = account.applyProxySettings();
        EXPECT_EQ(chosen.host, "proxy.test");
        EXPECT_EQ(chosen.port, 3128);
        EXPECT_EQ(chosen.type, ProxyHttps);
    }
    ScopedEnv none("http_proxy", nullptr);
    ProxySetting chosen = account.applyProxySettings();
    EXPECT_TRUE(chosen.host.isEmpty());
    EXPECT_EQ(chosen.type, ProxyDirect);
}

TEST(ConfigFile, ReadsTheServerUrlTimeOutsAndSkin)
{
    Installation inst;
    ConfigSettings config;
    EXPECT_EQ(config.acceptTimeoutMs, 200); // before the first read
    config.readConfig(inst.paths);
    EXPECT_TRUE(config.serverUrl.isEmpty());
    EXPECT_EQ(config.acceptTimeoutMs, 500);
    EXPECT_EQ(config.socketTimeoutMs, 100);
    EXPECT_EQ(config.connectTimeoutMs, 10000);
    EXPECT_EQ(config.skin.name, "skin");
    EXPECT_EQ(config.skin.children.count(), 0);

    writeBytes(inst.programFile("config.ini"),
               "<xml>\n<server>\n<server_url>http://127.0.0.1:8080/account</server_url>\n"
               "<accept_timeout>750</accept_timeout>\n<socket_timeout>250</socket_timeout>\n"
               "<connect_timeout>3000</connect_timeout>\n</server>\n"
               "<skin><background_color><red>10</red><green>20</green><blue>30</blue></background_color></skin>\n"
               "</xml>\n");
    config.readConfig(inst.paths);
    EXPECT_EQ(config.serverUrl, "http://127.0.0.1:8080/account");
    EXPECT_EQ(config.acceptTimeoutMs, 750);
    EXPECT_EQ(config.socketTimeoutMs, 250);
    EXPECT_EQ(config.connectTimeoutMs, 3000);
    EXPECT_EQ(config.skin.childOrEmpty("background_color")->childOrEmpty("green")->value, "20");
    // The file is only read.
    EXPECT_EQ(readBytes(inst.programFile("config.ini")).find("\r\n"), std::string::npos);
}

TEST(ConfigFile, TimeOutsBelowOneTakeTheirDefaults)
{
    const struct {
        const char* text;
        int accept, socket, connect;
    } cases[] = {
        {"0", 500, 100, 10000},
        {"-20", 500, 100, 10000},
        {"abc", 500, 100, 10000},
        {"", 500, 100, 10000},
        {"1", 1, 1, 1},
        {"42ms", 42, 42, 42},
    };
    Installation inst;
    for (const auto& c : cases) {
        writeBytes(inst.programFile("config.ini"),
                   std::string("<xml><server><accept_timeout>") + c.text + "</accept_timeout><socket_timeout>" +
                       c.text + "</socket_timeout><connect_timeout>" + c.text + "</connect_timeout></server></xml>");
        ConfigSettings config;
        config.readConfig(inst.paths);
        EXPECT_EQ(config.acceptTimeoutMs, c.accept) << c.text;
        EXPECT_EQ(config.socketTimeoutMs, c.socket) << c.text;
        EXPECT_EQ(config.connectTimeoutMs, c.connect) << c.text;
    }

    // A config.ini in the per-user folder is not the one read.
    ASSERT_TRUE(inst.paths.createUserFolder());
    writeBytes(inst.root / "home/.config/Orvane/config.ini",
               "<xml><server><server_url>http://elsewhere/</server_url></server></xml>");
    writeBytes(inst.programFile("config.ini"), "<xml><server><server_url>http://here/</server_url></server></xml>");
    ConfigSettings config;
    config.readConfig(inst.paths);
    EXPECT_EQ(config.serverUrl, "http://here/");
}
