// account.ini and config.ini as they lie on disk, whatever they hold: the configuration
// reads with time-outs of at least 1 ms; the account reads, saves, and reads back as the
// same eleven values (a save must never change or lose what was read), for every document
// that the XML layer writes back as itself.
#include "core/ConfigFiles.h"
#include "foundation/File.h"
#include "foundation/XmlNode.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace orvane;

namespace {

// A program folder and a per-user folder, in memory where the system has room for it.
struct Folders {
    Folders()
    {
        char pattern[] = "/dev/shm/orvane-fuzz-XXXXXX";
        char fallback[] = "/tmp/orvane-fuzz-XXXXXX";
        const char* root = ::mkdtemp(pattern);
        if (!root)
            root = ::mkdtemp(fallback);
        if (!root)
            std::abort();
        const std::string program = std::string(root) + "/program";
        ::mkdir(program.c_str(), 0700);
        root_ = root;
        paths = ConfigPaths::locate(program.c_str(), (root_ + "/home").c_str());
        if (!paths.createUserFolder())
            std::abort();
    }
    ~Folders()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ConfigPaths paths;

private:
    std::string root_;
};

// The first of the eleven values that differs, or NULL.
const char* difference(const AccountSettings& a, const AccountSettings& b)
{
    if (a.userName != b.userName)
        return "username";
    if (a.password != b.password)
        return "password";
    if (a.networkId != b.networkId)
        return "network";
    if (a.myInternetAddress != b.myInternetAddress || a.myInternetPort != b.myInternetPort)
        return "my_internet_address or my_internet_port";
    if (a.bindAddress != b.bindAddress || a.bindPort != b.bindPort)
        return "bind_address or bind_port";
    if (a.autoProxy != b.autoProxy)
        return "auto_proxy";
    if (a.proxyHost != b.proxyHost || a.proxyPort != b.proxyPort || a.proxyType != b.proxyType)
        return "proxy_host, proxy_port or proxy_type";
    return nullptr;
}

// Whether the two trees hold the same names, values and children, in order.
bool sameTree(const XmlNode& a, const XmlNode& b)
{
    if (a.name != b.name || a.value != b.value || a.children.count() != b.children.count())
        return false;
    for (int i = 0; i < a.children.count(); ++i)
        if (!sameTree(*a.children[i], *b.children[i]))
            return false;
    return true;
}

// Some trees the forgiving reader makes do not read back as themselves once written (a
// nameless element takes its name from the next tag; a name that begins with "!" reads as
// a declaration): what a save keeps of such a document cannot be what was read, so the
// account's round trip is looked at only for documents the XML layer writes back whole.
bool writesBackWhole(const std::string& text)
{
    XmlNode document;
    document.parse(text.c_str());
    XmlNode again;
    again.parse(document.toString(0, false).c_str());
    return sameTree(document, again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Folders folders;
    const ConfigPaths& paths = folders.paths;
    const int n = static_cast<int>(size);

    if (!File::writeAll(paths.configPath.c_str(), data, n))
        std::abort();
    ConfigSettings config;
    config.readConfig(paths);
    if (config.acceptTimeoutMs < 1 || config.socketTimeoutMs < 1 || config.connectTimeoutMs < 1)
        std::abort();

    if (!File::writeAll(paths.accountPath.c_str(), data, n))
        std::abort();
    AccountSettings read;
    read.readAccount(paths);
    if (!read.writeAccount(paths))
        std::abort();
    if (!writesBackWhole(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    AccountSettings again;
    again.readAccount(paths);
    if (const char* changed = difference(read, again)) {
        std::fprintf(stderr, "a save changed %s\n", changed);
        std::abort();
    }
    return 0;
}
