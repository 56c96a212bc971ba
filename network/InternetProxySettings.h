#pragma once

#include "foundation/String.h"

#include <cstdint>

namespace orvane {

// One proxy of the system settings: host and port. A fresh entry reads "0.0.0.0" and 0.
class ProxyEntry {
public:
    ProxyEntry() = default;
    virtual ~ProxyEntry();

    void clear();
    bool isEmpty() const { return host.isEmpty() || port == 0; }
    // "host:port": the host before the first ':', the port from the leading decimal
    // digits after it (blanks and a sign may precede them; none read as 0). Without ':'
    // the text is the host and the port stays 0. A port outside 0 to 65535 leaves the
    // entry clear: it names no proxy.
    void parse(const char* text);

    String getHost() const { return host; }
    int32_t getPort() const { return port; }
    void setHost(const char* text) { host = text ? text : ""; }
    void set(const char* text, int32_t newPort);

    String host = "0.0.0.0";
    int32_t port = 0;
};

// The current user's proxy settings, read from the registry store under the key and value
// names of the system's Internet settings. When the store holds no such settings, the
// same fields are derived from the proxy environment variables (http_proxy, https_proxy,
// all_proxy and their upper-case forms), where users of this platform keep their proxy.
// It only reads.
class InternetProxySettings {
public:
    // The application's own registry-key name, which names the backup copy's key.
    static constexpr const char* DefaultRegistryKeyName = "Orvane";

    InternetProxySettings() = default;
    virtual ~InternetProxySettings();

    // True when every key needed could be opened and read (or, without stored
    // settings, when the environment named a proxy); false otherwise, with the fields as
    // far as they were filled.
    bool read(bool useBackup);
    // Splits a proxy-server text ("host:port", or "http=h:p;https=h:p;socks=h:p"...)
    // into the entries.
    void setProxyServer(const char* text);
    // Fills the entries from the proxy environment variables; false when none names a
    // usable proxy (every entry is then clear and `enabled` false).
    bool readEnvironment();

    void setRegistryKeyName(const char* name) { registryKeyName = name ? name : ""; }

    String connectionName;
    bool enabled = false;
    bool oneProxyForAll = false;
    ProxyEntry http, https, ftp, gopher, socks;
    bool enableHttp11 = true;
    bool proxyHttp11 = false;

private:
    // Outcome of reading the proxy part of the store.
    enum class Source { Missing, Unusable, Read };
    Source readProxyValues(bool useBackup);
    String settingsKey(bool useBackup) const;
    String connectionsKey(bool useBackup) const;

    String registryKeyName = DefaultRegistryKeyName;
};

} // namespace orvane
