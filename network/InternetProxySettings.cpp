#include "network/InternetProxySettings.h"

#include "foundation/Containers.h"
#include "foundation/Conversions.h"
#include "foundation/RegistryKey.h"

#include <cstdlib>
#include <cstring>

namespace orvane {

namespace {

const char* const kSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kConnectionsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// Layout of a connection's binary settings value.
constexpr int kFlagsOffset = 8;
constexpr int kTextLengthOffset = 12;
constexpr int kTextOffset = 16;
constexpr uint32_t kFlagsProxyOnly = 3;

uint32_t readLittle32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The entry named by `word` in a proxy-server text; see setProxyServer.
void parseProtocolEntry(ProxyEntry& entry, const String& text, const char* word)
{
    entry.clear();
    if (text.isEmpty())
        return;
    if (text.find('=') < 0) {
        entry.parse(text);
        return;
    }
    String key = String(word) + "=";
    int at = text.find(key.c_str());
    if (at < 0)
        return;
    int start = at + key.length();
    int end = text.findFirstOf(" ;,\t", start);
    entry.parse(text.substring(start, end < 0 ? -1 : end - start));
}

// The value of the first of the two variables that is set and not empty.
const char* environmentValue(const char* lower, const char* upper)
{
    const char* v = std::getenv(lower);
    if (v && *v)
        return v;
    v = std::getenv(upper);
    return v && *v ? v : nullptr;
}

enum class ProxyKind { None, Http, Socks };

// A proxy URL as the environment variables hold it: [scheme://][user[:password]@]host[:port][/...].
// The kind comes from the scheme (none means HTTP); a proxy spoken to over TLS, an IPv6
// literal or a host with bytes that cannot be a host name give None. Without a port the
// conventional proxy port 1080 is taken.
ProxyKind parseProxyUrl(const char* url, String& host, int32_t& port)
{
    String text(url);
    text.trim();
    ProxyKind kind = ProxyKind::Http;
    int schemeEnd = text.find("://");
    if (schemeEnd >= 0) {
        String scheme = text.substring(0, schemeEnd);
        scheme.toLower();
        if (scheme == "http")
            kind = ProxyKind::Http;
        else if (scheme.startsWith("socks"))
            kind = ProxyKind::Socks;
        else
            return ProxyKind::None;
        text = text.substring(schemeEnd + 3);
    }
    int slash = text.find('/');
    if (slash >= 0)
        text.setLength(slash);
    int at = -1;
    for (int i = text.find('@'); i >= 0; i = text.find('@', i + 1))
        at = i;
    if (at >= 0)
        text = text.substring(at + 1);

    int colon = text.find(':');
    host = colon < 0 ? text : text.substring(0, colon);
    if (host.isEmpty())
        return ProxyKind::None;
    for (int i = 0; i < host.length(); ++i) {
        char c = host.at(i);
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '-' || c == '_';
        if (!ok)
            return ProxyKind::None;
    }
    port = 1080;
    if (colon >= 0) {
        String digits = text.substring(colon + 1);
        if (digits.isEmpty() || digits.length() > 5)
            return ProxyKind::None;
        int32_t value = 0;
        for (int i = 0; i < digits.length(); ++i) {
            char c = digits.at(i);
            if (c < '0' || c > '9')
                return ProxyKind::None;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > 65535)
            return ProxyKind::None;
        port = value;
    }
    return kind;
}

} // namespace

ProxyEntry::~ProxyEntry() = default;

void ProxyEntry::clear()
{
    host = "";
    port = 0;
}

void ProxyEntry::set(const char* text, int32_t newPort)
{
    setHost(text);
    port = newPort;
}

void ProxyEntry::parse(const char* text)
{
    String s(text ? text : "");
    int colon = s.find(':');
    if (colon < 0) {
        host = s;
        port = 0;
        return;
    }
    host = s.substring(0, colon);
    // Read without wrapping: a long run of digits must not wrap into a valid port.
    int value = 0;
    if (!parsePortNumber(s.c_str() + colon + 1, value)) {
        clear();
        return;
    }
    port = int32_t(value);
}

InternetProxySettings::~InternetProxySettings() = default;

String InternetProxySettings::settingsKey(bool useBackup) const
{
    if (!useBackup)
        return kSettingsKey;
    return String("Software\\") + registryKeyName + "\\Backup_Internet_Settings";
}

String InternetProxySettings::connectionsKey(bool useBackup) const
{
    if (!useBackup)
        return kConnectionsKey;
    return String("Software\\") + registryKeyName + "\\Backup_Internet_Settings\\Connections";
}

InternetProxySettings::Source InternetProxySettings::readProxyValues(bool useBackup)
{
    RegistryKey key;
    String text;
    if (!connectionName.isEmpty()) {
        if (!key.open(connectionsKey(useBackup), false))
            return Source::Missing;
        ByteArray bytes;
        if (key.readBinary(connectionName, bytes) <= 0)
            return Source::Missing;
        // The value comes from a file anybody may edit: its text must lie inside it.
        if (bytes.count() < kTextOffset)
            return Source::Unusable;
        uint32_t length = readLittle32(bytes.data() + kTextLengthOffset);
        if (length > uint32_t(bytes.count() - kTextOffset))
            return Source::Unusable;
        enabled = readLittle32(bytes.data() + kFlagsOffset) == kFlagsProxyOnly;
        const char* start = reinterpret_cast<const char*>(bytes.data() + kTextOffset);
        const void* zero = std::memchr(start, 0, length);
        text.assign(start, zero ? int(static_cast<const char*>(zero) - start) : int(length));
    } else {
        if (!key.open(settingsKey(useBackup), false))
            return Source::Missing;
        enabled = key.readBinaryDword("ProxyEnable", 0) != 0;
        text = key.readString("ProxyServer", "");
    }
    setProxyServer(text);
    return Source::Read;
}

bool InternetProxySettings::read(bool useBackup)
{
    Source source = readProxyValues(useBackup);
    if (source == Source::Missing && !useBackup)
        return readEnvironment();
    if (source != Source::Read)
        return false;

    RegistryKey key;
    if (!key.open(settingsKey(useBackup), false))
        return false;
    enableHttp11 = key.readDword("EnableHttp1_1", 1) != 0;
    proxyHttp11 = key.readDword("ProxyHttp1.1", 0) != 0;
    return true;
}

void InternetProxySettings::setProxyServer(const char* text)
{
    String s(text ? text : "");
    oneProxyForAll = s.find('=') < 0;
    if (!oneProxyForAll) {
        parseProtocolEntry(http, s, "http");
        parseProtocolEntry(https, s, "https");
        parseProtocolEntry(ftp, s, "ftp");
        parseProtocolEntry(gopher, s, "gopher");
        parseProtocolEntry(socks, s, "socks");
        return;
    }
    String formed = String("http=") + s;
    parseProtocolEntry(http, formed, "http");
    parseProtocolEntry(https, formed, "http");
    parseProtocolEntry(ftp, formed, "http");
    parseProtocolEntry(gopher, formed, "http");
    socks.clear();
}

bool InternetProxySettings::readEnvironment()
{
    oneProxyForAll = false;
    http.clear();
    https.clear();
    ftp.clear();
    gopher.clear();
    socks.clear();

    struct Variable {
        const char* lower;
        const char* upper;
        ProxyEntry* httpTarget;  // where an HTTP proxy of this variable goes
    };
    // The protocol's own variables first: all_proxy fills only what they left empty.
    const Variable variables[] = {
        {"http_proxy", "HTTP_PROXY", &http},
        {"https_proxy", "HTTPS_PROXY", &https},
        {"all_proxy", "ALL_PROXY", nullptr},
    };
    for (const Variable& v : variables) {
        const char* value = environmentValue(v.lower, v.upper);
        if (!value)
            continue;
        String host;
        int32_t port = 0;
        switch (parseProxyUrl(value, host, port)) {
        case ProxyKind::None:
            break;
        case ProxyKind::Socks:
            if (socks.isEmpty())
                socks.set(host, port);
            break;
        case ProxyKind::Http:
            if (v.httpTarget) {
                v.httpTarget->set(host, port);
            } else {
                if (http.isEmpty())
                    http.set(host, port);
                if (https.isEmpty())
                    https.set(host, port);
            }
            break;
        }
    }
    enabled = !http.isEmpty() || !https.isEmpty() || !socks.isEmpty();
    return enabled;
}

} // namespace orvane
