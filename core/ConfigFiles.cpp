#include "core/ConfigFiles.h"

#include "foundation/Conversions.h"
#include "foundation/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace orvane {

const char* const ConfigPaths::ApplicationName = "Orvane";


// ---- paths ----------------------------------------------------------------------------------

String executableFolder()
{
    String path;
    for (int size = 256; size <= (1 << 20); size *= 2) {
        path.setLength(size);
        ssize_t n = ::readlink("/proc/self/exe", path.data(), static_cast<size_t>(size));
        if (n < 0)
            return String();
        if (n < size) {
            path.setLength(static_cast<int>(n));
            int slash = path.length() - 1;
            while (slash >= 0 && path.at(slash) != '/')
                --slash;
            return slash >= 0 ? path.substring(0, slash + 1) : String();
        }
    }
    return String();
}

String userConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The folder standard ignores a relative setting.
    if (xdg && xdg[0] == '/')
        return String(xdg);
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return String(home) + "/.config";
    return String();
}

ConfigPaths ConfigPaths::locate(const char* programFolder, const char* configHome)
{
    ConfigPaths paths;
    paths.programFolder = programFolder ? String(programFolder) : executableFolder();
    if (!paths.programFolder.isEmpty() && !paths.programFolder.endsWith("/"))
        paths.programFolder += '/';
    paths.configPath = paths.programFolder + "config.ini";
    paths.defaultAccountPath = paths.programFolder + "account.ini";

    String home = configHome ? String(configHome) : userConfigHome();
    while (home.length() > 1 && home.endsWith("/"))
        home.setLength(home.length() - 1);
    if (home.isEmpty()) {
        paths.accountPath = paths.defaultAccountPath;
    } else {
        paths.userFolder = (home == "/" ? String() : home) + "/" + ApplicationName;
        paths.accountPath = paths.userFolder + "/account.ini";
    }
    return paths;
}

bool ConfigPaths::createUserFolder() const
{
    if (userFolder.isEmpty())
        return false;
    if (fileType(userFolder) & FileTypeDirectory)
        return true;
    return makeDirectories(userFolder) || (fileType(userFolder) & FileTypeDirectory);
}

// ---- account.ini ----------------------------------------------------------------------------

namespace {

const char* const KeyUserName = "username";
const char* const KeyPassword = "password";
const char* const KeyNetwork = "network";
const char* const KeyMyInternetAddress = "my_internet_address";
const char* const KeyMyInternetPort = "my_internet_port";
const char* const KeyBindAddress = "bind_address";
const char* const KeyBindPort = "bind_port";
const char* const KeyAutoProxy = "auto_proxy";
const char* const KeyProxyHost = "proxy_host";
const char* const KeyProxyPort = "proxy_port";
const char* const KeyProxyType = "proxy_type";

// The per-user copy when it exists, else the program folder's.
const String& accountSource(const ConfigPaths& paths)
{
    if (!paths.accountPath.isEmpty() && (fileType(paths.accountPath) & FileTypeFile))
        return paths.accountPath;
    return paths.defaultAccountPath;
}

// The document at path; an empty "xml" document when it is missing or does not parse.
XmlNode loadDocument(const String& path)
{
    XmlNode document;
    if (path.isEmpty() || !document.loadFile(path))
        document = XmlNode();
    return document;
}

String textOf(const XmlNode& server, const char* key)
{
    return server.childOrEmpty(key)->value;
}

int intOf(const XmlNode& server, const char* key)
{
    return parseInt(server.childOrEmpty(key)->value);
}

void setKey(XmlNode& server, const char* key, const String& value)
{
    XmlNode* node = server.findOrAddChild(key);
    // The key is replaced whole: a value, no children. Its spelling in the file stays.
    *node = XmlNode(String(node->name), value);
}

} // namespace

void AccountSettings::readAccount(const ConfigPaths& paths)
{
    const XmlNode document = loadDocument(accountSource(paths));
    const XmlNode& server = *document.childOrEmpty("server");

    userName = textOf(server, KeyUserName);
    password = decodePassword(textOf(server, KeyPassword));
    networkId = textOf(server, KeyNetwork);
    myInternetAddress = textOf(server, KeyMyInternetAddress);
    myInternetPort = intOf(server, KeyMyInternetPort);
    if (bindPort == 0) {
        bindAddress = textOf(server, KeyBindAddress);
        bindPort = intOf(server, KeyBindPort);
    }
    const String autoProxyText = textOf(server, KeyAutoProxy);
    autoProxy = autoProxyText.isEmpty() || parseBool(autoProxyText);
    proxyHost = textOf(server, KeyProxyHost);
    proxyPort = intOf(server, KeyProxyPort);
    proxyType = intOf(server, KeyProxyType);
}

bool AccountSettings::writeAccount(const ConfigPaths& paths) const
{
    XmlNode document = loadDocument(accountSource(paths));
    XmlNode& server = *document.findOrAddChild("server");
    setKey(server, KeyUserName, userName);
    setKey(server, KeyPassword, encodePassword(password));
    setKey(server, KeyNetwork, networkId);
    setKey(server, KeyMyInternetAddress, myInternetAddress);
    setKey(server, KeyMyInternetPort, intToString(myInternetPort));
    setKey(server, KeyBindAddress, bindAddress);
    setKey(server, KeyBindPort, intToString(bindPort));
    setKey(server, KeyAutoProxy, boolToString(autoProxy));
    setKey(server, KeyProxyHost, proxyHost);
    setKey(server, KeyProxyPort, intToString(proxyPort));
    setKey(server, KeyProxyType, intToString(proxyType));

    if (paths.accountPath.isEmpty())
        return false;
    if (!paths.userFolder.isEmpty())
        paths.createUserFolder(); // a failure shows as a failed save
    return document.saveFile(paths.accountPath, false);
}

ProxySetting AccountSettings::applyProxySettings(const InternetProxySettings& system) const
{
    ProxySetting chosen;
    chosen.host = proxyHost;
    chosen.port = proxyPort;
    chosen.type = proxyType;
    if (!autoProxy)
        return chosen;
    if (!system.enabled)
        return ProxySetting();
    const struct {
        const ProxyEntry& entry;
        int type;
    } order[] = {
        {system.socks, ProxySocks4},
        {system.https, ProxyHttps},
        {system.http, ProxyHttps},
    };
    for (const auto& candidate : order) {
        if (!candidate.entry.isEmpty()) {
            chosen.host = candidate.entry.host;
            chosen.port = candidate.entry.port;
            chosen.type = candidate.type;
            break;
        }
    }
    return chosen;
}

ProxySetting AccountSettings::applyProxySettings() const
{
    InternetProxySettings system;
    if (autoProxy)
        system.read(false); // its answer does not matter: what it could read is used
    return applyProxySettings(system);
}

String AccountSettings::encodePassword(const String& password)
{
    return base64Encode(password.data() ? password.data() : "", password.length());
}

String AccountSettings::decodePassword(const String& encoded)
{
    return base64DecodeToString(encoded);
}

// ---- config.ini -----------------------------------------------------------------------------

void ConfigSettings::readConfig(const ConfigPaths& paths)
{
    const XmlNode document = loadDocument(paths.configPath);
    const XmlNode& server = *document.childOrEmpty("server");

    serverUrl = textOf(server, "server_url");
    acceptTimeoutMs = intOf(server, "accept_timeout");
    if (acceptTimeoutMs < 1)
        acceptTimeoutMs = DefaultAcceptTimeoutMs;
    socketTimeoutMs = intOf(server, "socket_timeout");
    if (socketTimeoutMs < 1)
        socketTimeoutMs = DefaultSocketTimeoutMs;
    connectTimeoutMs = intOf(server, "connect_timeout");
    if (connectTimeoutMs < 1)
        connectTimeoutMs = DefaultConnectTimeoutMs;

    const XmlNode* element = document.getChild("skin");
    skin = element ? *element : XmlNode("skin");
}

} // namespace orvane
