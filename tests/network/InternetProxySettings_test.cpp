#include "network/InternetProxySettings.h"

#include "foundation/RegistryKey.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <string>

using namespace orvane;
using orvane::testing::ScopedEnv;
using orvane::testing::TempDirectory;

namespace {

const char* const kSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kConnections =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
const char* const kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy",
                                       "HTTPS_PROXY", "all_proxy",  "ALL_PROXY"};

// Each test gets an empty registry store of its own and a clean proxy environment; both
// are restored afterwards.
class InternetProxySettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kProxyVariables)
            environment_.emplace_back(name, nullptr);
        environment_.emplace_back("ORVANE_REGISTRY_DIR", (temp_ / "store").c_str());
    }

    static RegistryKey keyAt(const char* path)
    {
        RegistryKey key;
        EXPECT_TRUE(key.open(path, true)) << path;
        return key;
    }

    // A connection's binary settings: 8 bytes we do not read, the flags, the text length
    // and the text.
    static std::string connectionValue(uint32_t flags, const std::string& text, int64_t lengthField = -1)
    {
        std::string v(8, '\x55');
        auto put = [&](uint32_t x) {
            for (int i = 0; i < 4; ++i)
                v += char((x >> (8 * i)) & 0xFF);
        };
        put(flags);
        put(lengthField < 0 ? uint32_t(text.size()) : uint32_t(lengthField));
        return v + text + std::string(12, '\0');
    }

private:
    TempDirectory temp_;
    // Each variable goes back to what it was when the test ends.
    std::deque<ScopedEnv> environment_;
};

void expectEntry(const ProxyEntry& e, const char* host, int port)
{
    EXPECT_STREQ(e.getHost().c_str(), host);
    EXPECT_EQ(e.getPort(), port);
}

} // namespace

TEST(ProxyEntry, FreshClearedAndParsed)
{
    ProxyEntry e;
    expectEntry(e, "0.0.0.0", 0);
    EXPECT_TRUE(e.isEmpty());
    e.clear();
    expectEntry(e, "", 0);

    struct Case {
        const char* text;
        const char* host;
        int port;
        bool empty;
    } cases[] = {
        {"proxy:8080", "proxy", 8080, false},
        {"proxy: 3128x", "proxy", 3128, false},
        {"proxy:+81", "proxy", 81, false},
        {"proxy", "proxy", 0, true},
        {"proxy:", "proxy", 0, true},
        {"proxy:abc", "proxy", 0, true},
        {"a:1:2", "a", 1, false},
        {"proxy:65535", "proxy", 65535, false},
        // Ports no TCP connection can use name no proxy, however many digits they carry.
        {"proxy:65536", "", 0, true},
        {"proxy:-80", "", 0, true},
        {"proxy:4294967376", "", 0, true},
        {"proxy:99999999999999999999999980", "", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        e.parse(c.text);
        expectEntry(e, c.host, c.port);
        EXPECT_EQ(e.isEmpty(), c.empty);
    }
}

TEST_F(InternetProxySettingsTest, ProxyServerTexts)
{
    InternetProxySettings s;
    s.setProxyServer("proxy:8080");
    EXPECT_TRUE(s.oneProxyForAll);
    for (ProxyEntry* e : {&s.http, &s.https, &s.ftp, &s.gopher})
        expectEntry(*e, "proxy", 8080);
    EXPECT_TRUE(s.socks.isEmpty());

    s.setProxyServer("http=a:80;https=b:443;socks=c:1080");
    EXPECT_FALSE(s.oneProxyForAll);
    expectEntry(s.http, "a", 80);
    expectEntry(s.https, "b", 443);
    expectEntry(s.socks, "c", 1080);
    expectEntry(s.ftp, "", 0);
    expectEntry(s.gopher, "", 0);

    // The first "http=" is inside "https=": the word is found case-sensitively, first
    // occurrence, up to a space, ';', ',' or tab.
    s.setProxyServer("https=b:443 http=a:81,socks=c");
    expectEntry(s.https, "b", 443);
    expectEntry(s.http, "a", 81);
    expectEntry(s.socks, "c", 0);
    EXPECT_TRUE(s.socks.isEmpty());
    s.setProxyServer("HTTP=a:80;ftp=f:21\tgopher=g:70");
    expectEntry(s.http, "", 0);
    expectEntry(s.ftp, "f", 21);
    expectEntry(s.gopher, "g", 70);

    s.setProxyServer("");
    EXPECT_TRUE(s.oneProxyForAll);
    EXPECT_TRUE(s.http.isEmpty() && s.https.isEmpty() && s.socks.isEmpty());
}

TEST_F(InternetProxySettingsTest, PlainSettingsFromTheStore)
{
    RegistryKey key = keyAt(kSettings);
    uint8_t enable[4] = {1, 0, 0, 0};
    key.writeBinary("ProxyEnable", enable, 4);  // binary, read like a number
    key.writeString("ProxyServer", "proxy:8080");
    key.writeDword("ProxyHttp1.1", 1);

    InternetProxySettings s;
    ASSERT_TRUE(s.read(false));
    EXPECT_TRUE(s.enabled);
    EXPECT_TRUE(s.oneProxyForAll);
    expectEntry(s.https, "proxy", 8080);
    EXPECT_TRUE(s.enableHttp11);  // no value: on
    EXPECT_TRUE(s.proxyHttp11);

    key.writeDword("ProxyEnable", 0);
    key.writeDword("EnableHttp1_1", 0);
    InternetProxySettings off;
    ASSERT_TRUE(off.read(false));
    EXPECT_FALSE(off.enabled);
    EXPECT_FALSE(off.enableHttp11);

    // The backup copy lives under the application's own key; absent, it reads false.
    InternetProxySettings backup;
    EXPECT_FALSE(backup.read(true));
    RegistryKey copy = keyAt("Software\\Orvane\\Backup_Internet_Settings");
    copy.writeDword("ProxyEnable", 1);
    copy.writeString("ProxyServer", "socks=s:1080");
    ASSERT_TRUE(backup.read(true));
    EXPECT_TRUE(backup.enabled);
    expectEntry(backup.socks, "s", 1080);
}

TEST_F(InternetProxySettingsTest, ConnectionBinarySettings)
{
    keyAt(kSettings);
    RegistryKey connections = keyAt(kConnections);
    auto store = [&](const char* name, const std::string& v) {
        ASSERT_TRUE(connections.writeBinary(name, v.data(), int(v.size())));
    };
    store("Office", connectionValue(3, "http=h:3128;socks=s:1080"));
    store("Auto", connectionValue(0x0B, "h:3128"));
    store("Short", std::string(15, '\0'));
    store("Overlong", connectionValue(3, "h:3128", 100000));
    store("Wrapping", connectionValue(3, "h:3128", 0xFFFFFFF0));

    InternetProxySettings s;
    s.connectionName = "Office";
    ASSERT_TRUE(s.read(false));
    EXPECT_TRUE(s.enabled);
    expectEntry(s.http, "h", 3128);
    expectEntry(s.socks, "s", 1080);

    InternetProxySettings automatic;
    automatic.connectionName = "Auto";
    ASSERT_TRUE(automatic.read(false));
    EXPECT_FALSE(automatic.enabled);  // flags other than exactly 3
    expectEntry(automatic.http, "h", 3128);

    // A value too short for its header, or whose length runs past its end, is not read.
    for (const char* name : {"Short", "Overlong", "Wrapping"}) {
        SCOPED_TRACE(name);
        InternetProxySettings bad;
        bad.connectionName = name;
        EXPECT_FALSE(bad.read(false));
        EXPECT_FALSE(bad.enabled);
        expectEntry(bad.http, "0.0.0.0", 0);
    }

    InternetProxySettings missing;
    missing.connectionName = "Nowhere";
    EXPECT_FALSE(missing.read(false));
}

TEST_F(InternetProxySettingsTest, EnvironmentWhenTheStoreHoldsNone)
{
    InternetProxySettings none;
    EXPECT_FALSE(none.read(false));
    EXPECT_FALSE(none.enabled);

    setenv("http_proxy", "http://user:pw@web.example:3128/", 1);
    setenv("HTTPS_PROXY", "secure.example:8443", 1);
    setenv("all_proxy", "socks5h://socks.example", 1);
    InternetProxySettings s;
    ASSERT_TRUE(s.read(false));
    EXPECT_TRUE(s.enabled);
    EXPECT_FALSE(s.oneProxyForAll);
    expectEntry(s.http, "web.example", 3128);
    expectEntry(s.https, "secure.example", 8443);
    expectEntry(s.socks, "socks.example", 1080);
    expectEntry(s.ftp, "", 0);
    EXPECT_TRUE(s.enableHttp11);

    // The lower-case form wins; all_proxy with an HTTP proxy fills what the others left.
    setenv("https_proxy", "lower.example:1", 1);
    setenv("all_proxy", "http://all.example:8000", 1);
    unsetenv("http_proxy");
    ASSERT_TRUE(s.read(false));
    expectEntry(s.https, "lower.example", 1);
    expectEntry(s.http, "all.example", 8000);
    EXPECT_TRUE(s.socks.isEmpty());

    // Proxies this client cannot speak to, and unusable ports, name nothing.
    unsetenv("https_proxy");
    unsetenv("HTTPS_PROXY");
    for (const char* bad : {"https://tls.example:443", "http://[::1]:3128", "h:0", "h:70000",
                            "h:12ab", "http://:80", "h;rm -rf:80"}) {
        SCOPED_TRACE(bad);
        setenv("all_proxy", bad, 1);
        EXPECT_FALSE(s.read(false));
        EXPECT_FALSE(s.enabled);
        EXPECT_TRUE(s.http.isEmpty() && s.https.isEmpty() && s.socks.isEmpty());
    }

    // Stored settings, even switched off, take precedence over the environment.
    setenv("all_proxy", "http://all.example:8000", 1);
    keyAt(kSettings).writeDword("ProxyEnable", 0);
    InternetProxySettings stored;
    ASSERT_TRUE(stored.read(false));
    EXPECT_FALSE(stored.enabled);
}
