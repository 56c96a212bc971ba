#pragma once

#include "foundation/String.h"
#include "network/InternetProxySettings.h"
#include "network/ProxyClient.h"
#include "foundation/XmlNode.h"

// The program's two settings documents: "account.ini", the user's account and connection
// settings (read at start-up and at every sign-in and sign-out, written when the user
// changes them), and "config.ini", the installation's server URL, time-outs and colours
// (only ever read). The application object holds one of each settings class below and
// hands the values on; both classes work without it, so they are used as they stand by
// tests and tools.

namespace orvane {

// Where the two documents live. The per-user folder is the application's folder in the
// user's configuration folder; "config.ini" and the program folder's "account.ini" (the
// installation's default account) sit beside the executable.
struct ConfigPaths {
    static const char* const ApplicationName; // "Orvane"

    // The executable's folder, with its trailing '/'.
    String programFolder;
    // The per-user folder, without a trailing '/'; empty when the user's configuration
    // folder is unknown, in which case "account.ini" is read from and written to the
    // program folder.
    String userFolder;
    // Where "account.ini" is read first and always written: the per-user copy.
    String accountPath;
    // The program folder's "account.ini", read while the per-user copy is missing.
    String defaultAccountPath;
    // The program folder's "config.ini".
    String configPath;

    // The paths for a program folder and a user configuration folder; NULL takes the
    // running executable's folder and $XDG_CONFIG_HOME (or ~/.config) respectively.
    static ConfigPaths locate(const char* programFolder = nullptr, const char* configHome = nullptr);
    // Creates the per-user folder and any missing parents; true when it exists afterwards.
    bool createUserFolder() const;
};

// The folder of the running executable, with its trailing '/'; empty when it cannot be told.
String executableFolder();
// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; empty when neither is known.
String userConfigHome();

// Proxy types of the server link, as "account.ini" stores them.

// The proxy the server link goes through.
struct ProxySetting {
    String host;
    int port = 0;
    int type = ProxyDirect;
};

// The values of "account.ini".
class AccountSettings {
public:
    String userName;
    // In the clear here; base64 in the file.
    String password;
    String networkId;
    // Manual Internet address and port: set both to advertise them instead of what the
    // server sees.
    String myInternetAddress;
    int myInternetPort = 0;
    String bindAddress;
    int bindPort = 0;
    bool autoProxy = true;
    String proxyHost;
    int proxyPort = 0;
    int proxyType = ProxyDirect;

    // Reads the per-user copy, or the program folder's while the per-user one is missing.
    // A missing or unreadable document gives empty texts, zeros and auto-proxy on. The
    // bind address and port are taken only while bindPort is 0: once a port is known
    // (read, or bound by the TCP server) the running program keeps it. The caller then
    // chooses the server link's proxy with applyProxySettings.
    void readAccount(const ConfigPaths& paths);
    // Merges the eleven values into the document that readAccount would read (a missing
    // or unparsable one starts as an empty "xml" document) and saves it, indented, to the
    // per-user path, creating the per-user folder when needed. Every other element and
    // every other child of "server" stays as it was. The file is replaced in one step
    // (temporary file, flushed, renamed), so a failure leaves the old one intact. False
    // when the save failed; the values here are kept either way.
    bool writeAccount(const ConfigPaths& paths) const;
    // The proxy for the server link: the configured one; with auto-proxy on, the system's
    // settings decide first: proxying off gives a direct link, otherwise the first usable
    // entry of SOCKS (as SOCKS 4), HTTPS and HTTP (both as an HTTPS proxy); with no usable
    // entry the configured proxy stays. A NULL source reads as proxying off.
    ProxySetting applyProxySettings(const InternetProxySettings& system) const;
    // The same with the current user's system proxy settings, read only when auto-proxy is on.
    ProxySetting applyProxySettings() const;

    // The password's bytes as base64, and back (invalid base64 decodes as far as it goes).
    static String encodePassword(const String& password);
    static String decodePassword(const String& encoded);
};

// The values of "config.ini".
class ConfigSettings {
public:
    static const int DefaultAcceptTimeoutMs = 500;
    static const int DefaultSocketTimeoutMs = 100;
    static const int DefaultConnectTimeoutMs = 10000;

    // The account endpoint (sign-in, sign-up, change of details).
    String serverUrl;
    // Until the file is read: the values the application starts with.
    int acceptTimeoutMs = 200;
    int socketTimeoutMs = 100;
    int connectTimeoutMs = 10000;
    // The colour scheme's element, for the skin; an empty "skin" element when the file has none.
    XmlNode skin{"skin"};

    // Reads the program folder's "config.ini"; a time-out below 1 (or missing, or not a
    // number) takes its default. Nothing here ever writes the file.
    void readConfig(const ConfigPaths& paths);
};

} // namespace orvane
