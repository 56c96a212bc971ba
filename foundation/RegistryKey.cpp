#include "foundation/RegistryKey.h"

#include "foundation/Conversions.h"
#include "foundation/File.h"
#include "foundation/Paths.h"
#include "foundation/XmlNode.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// The store file of one root:
//   <registry>
//   <key path="Software\Tavelor"><value name="Flag" type="4" hex="01000000"/></key>
//   </registry>
// one key per line, every key listed on its own (a created key's parents get entries
// too). Strings that end in their only zero byte are kept as readable text (without the
// zero); everything else is kept as hexadecimal bytes.

namespace orvane {

struct RegistryKey::Value {
    uint32_t type = REG_NONE;
    ByteArray data;
};

namespace {

const char* const kStoreName = "registry";
const char* const kKey = "key";
const char* const kPath = "path";
const char* const kValue = "value";
const char* const kName = "name";
const char* const kType = "type";
const char* const kText = "text";
const char* const kHex = "hex";

// The path without one trailing backslash; false when a part of it is empty.
bool normalisePath(const char* path, String& out)
{
    out = path ? path : "";
    if (out.isEmpty())
        return true;
    if (out.endsWith("\\"))
        out.setLength(out.length() - 1);
    if (out.isEmpty() || out.at(0) == '\\' || out.find("\\\\") >= 0)
        return false;
    return true;
}

const char* childValue(const XmlNode& node, const char* name)
{
    return node.childOrEmpty(name)->value.c_str();
}

XmlNode* findKey(XmlNode& store, const String& path)
{
    for (XmlNode* key : store.children) {
        if (key->name.equalsIgnoreCase(kKey) && key->getChild(kPath)
            && equalsIgnoreCase(childValue(*key, kPath), path.c_str()))
            return key;
    }
    return nullptr;
}

int findValue(const XmlNode& key, const char* name)
{
    for (int i = 0; i < key.children.count(); ++i) {
        const XmlNode* value = key.children[i];
        if (value->name.equalsIgnoreCase(kValue) && value->getChild(kName)
            && equalsIgnoreCase(childValue(*value, kName), name))
            return i;
    }
    return -1;
}

bool parseType(const char* text, uint32_t& out)
{
    if (!*text)
        return false;
    uint64_t n = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + static_cast<uint64_t>(*p - '0');
        if (n > UINT32_MAX)
            return false;
    }
    out = static_cast<uint32_t>(n);
    return true;
}

bool decodeHex(const String& text, ByteArray& out)
{
    if (text.length() % 2 != 0)
        return false;
    out.setSize(text.length() / 2);
    for (int i = 0; i < out.count(); ++i) {
        int high = hexDigitValue(text.at(2 * i));
        int low = hexDigitValue(text.at(2 * i + 1));
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return true;
}

bool decodeValue(const XmlNode& node, uint32_t& type, ByteArray& data)
{
    data.setSize(0);
    if (!parseType(childValue(node, kType), type))
        return false;
    if (const XmlNode* text = node.getChild(kText)) {
        data.write(0, text->value.c_str(), text->value.length() + 1);
        return true;
    }
    if (const XmlNode* hex = node.getChild(kHex))
        return decodeHex(hex->value, data);
    return true; // no data at all
}

void encodeValue(XmlNode& node, const char* name, uint32_t type, const uint8_t* data, int length)
{
    node.addChild(kName, name);
    node.addChild(kType, uintToString(type));
    const bool plainText = (type == REG_SZ || type == REG_EXPAND_SZ) && length > 0
        && data[length - 1] == 0 && std::memchr(data, 0, static_cast<size_t>(length - 1)) == nullptr;
    if (plainText) {
        node.addChild(kText, reinterpret_cast<const char*>(data));
        return;
    }
    String hex;
    hex.reserve(length * 2);
    for (int i = 0; i < length; ++i)
        hex += byteToHex(data[i]);
    node.addChild(kHex, hex);
}

// Reads the root's file into store. A missing or empty file is an empty store.
int loadStore(const String& file, XmlNode& store)
{
    store = XmlNode(kStoreName);
    if (file.isEmpty())
        return RegistryKey::ErrorNotFound;
    struct stat st;
    if (::stat(file.c_str(), &st) != 0)
        return errno == ENOENT ? RegistryKey::ErrorSuccess : RegistryKey::ErrorStoreIO;
    if (S_ISREG(st.st_mode) && st.st_size == 0)
        return RegistryKey::ErrorSuccess;
    String text;
    if (!File::readAll(file.c_str(), text))
        return RegistryKey::ErrorStoreIO;
    if (!store.parse(text.c_str()) || !store.name.equalsIgnoreCase(kStoreName)) {
        store = XmlNode(kStoreName);
        return RegistryKey::ErrorStoreCorrupt;
    }
    return RegistryKey::ErrorSuccess;
}

bool saveStore(const String& file, const XmlNode& store)
{
    String text("<");
    text += kStoreName;
    text += ">\n";
    for (const XmlNode* key : store.children) {
        text += key->toCompactString(true);
        text += '\n';
    }
    text += "</";
    text += kStoreName;
    text += ">\n";
    return File::writeAll(file.c_str(), text.c_str(), text.length());
}

// Holds the store folder's lock file locked, so that the changes of several processes
// (and threads) never overwrite each other.
class StoreLock {
public:
    explicit StoreLock(const String& folder)
    {
        String path = folder + "/registry.lock";
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0)
            return;
        int r;
        do
            r = flock(fd_, LOCK_EX);
        while (r != 0 && errno == EINTR);
        if (r != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~StoreLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool isLocked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

using StoreEdit = std::function<int(XmlNode& store, bool& changed)>;

// Loads the root's store under the lock, lets edit change it and writes it back when it
// did. A store that does not read as one is set aside as <file>.corrupt and replaced by
// an empty one, so a damaged file neither blocks every later change nor gets lost.
int changeStore(RegistryRoot root, const StoreEdit& edit)
{
    String file = RegistryKey::storeFile(root);
    if (file.isEmpty())
        return RegistryKey::ErrorNotFound;
    String folder = RegistryKey::storeFolder();
    if (!(fileType(folder.c_str()) & FileTypeDirectory) && !makeDirectories(folder.c_str()))
        return RegistryKey::ErrorAccessDenied;
    StoreLock lock(folder);
    if (!lock.isLocked())
        return RegistryKey::ErrorAccessDenied;
    XmlNode store;
    int error = loadStore(file, store);
    if (error == RegistryKey::ErrorStoreCorrupt) {
        String aside = file + ".corrupt";
        if (std::rename(file.c_str(), aside.c_str()) != 0)
            return error;
        error = RegistryKey::ErrorSuccess;
    }
    if (error != RegistryKey::ErrorSuccess)
        return error;
    bool changed = false;
    error = edit(store, changed);
    if (error != RegistryKey::ErrorSuccess)
        return error;
    if (changed && !saveStore(file, store))
        return RegistryKey::ErrorAccessDenied;
    return RegistryKey::ErrorSuccess;
}

String homeFolder()
{
    const char* home = getenv("HOME");
    if (home && *home)
        return String(home);
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return String(found->pw_dir);
    return String();
}

} // namespace

String RegistryKey::storeFolder()
{
    const char* forced = getenv("ORVANE_REGISTRY_DIR");
    if (forced && *forced)
        return String(forced);
    const char* config = getenv("XDG_CONFIG_HOME");
    String base = config && config[0] == '/' ? String(config) : homeFolder() + "/.config";
    if (!base.endsWith("/"))
        base += '/';
    return base + "Orvane";
}

String RegistryKey::storeFile(RegistryRoot which)
{
    const char* name = nullptr;
    switch (which) {
    case HKEY_CLASSES_ROOT: name = "HKEY_CLASSES_ROOT.xml"; break;
    case HKEY_CURRENT_USER: name = "HKEY_CURRENT_USER.xml"; break;
    case HKEY_LOCAL_MACHINE: name = "HKEY_LOCAL_MACHINE.xml"; break;
    case HKEY_USERS: name = "HKEY_USERS.xml"; break;
    default: return String();
    }
    String folder = storeFolder();
    if (!folder.endsWith("/"))
        folder += '/';
    return folder + name;
}

void RegistryKey::reset()
{
    lastError = 0;
    root = HKEY_CURRENT_USER;
    keyPath.clear();
}

bool RegistryKey::setRoot(RegistryRoot newRoot)
{
    switch (newRoot) {
    case HKEY_CLASSES_ROOT:
    case HKEY_CURRENT_USER:
    case HKEY_LOCAL_MACHINE:
    case HKEY_USERS:
        root = newRoot;
        return true;
    default:
        return false;
    }
}

bool RegistryKey::open(const char* path, bool create)
{
    if (!path || !*path) {
        keyPath.clear();
        lastError = ErrorSuccess;
        return true;
    }
    String normal;
    if (!normalisePath(path, normal)) {
        lastError = ErrorBadPathName;
        return false;
    }
    int error;
    if (create) {
        error = changeStore(root, [&normal](XmlNode& store, bool& changed) {
            // Every ancestor becomes a key of its own, as each could be opened on its own.
            for (int end = normal.find('\\');; end = normal.find('\\', end + 1)) {
                String prefix = end < 0 ? normal : normal.substring(0, end);
                if (!findKey(store, prefix)) {
                    store.addChild(kKey)->addChild(kPath, prefix);
                    changed = true;
                }
                if (end < 0)
                    break;
            }
            return ErrorSuccess;
        });
    } else {
        XmlNode store;
        error = loadStore(storeFile(root), store);
        if (error == ErrorSuccess && !findKey(store, normal))
            error = ErrorNotFound;
    }
    lastError = error;
    if (error != ErrorSuccess)
        return false;
    keyPath = path;
    return true;
}

// 1: found; 0: the key exists but the value does not; -1: the key is missing, or the store
// or the value cannot be read. lastError tells which.
int RegistryKey::readValue(const char* name, Value& out)
{
    String normal;
    if (!normalisePath(keyPath.c_str(), normal)) {
        lastError = ErrorBadPathName;
        return -1;
    }
    XmlNode store;
    lastError = loadStore(storeFile(root), store);
    if (lastError != ErrorSuccess)
        return -1;
    const XmlNode* key = findKey(store, normal);
    if (!key) {
        // The root itself always exists, with or without values.
        lastError = ErrorNotFound;
        return normal.isEmpty() ? 0 : -1;
    }
    int index = findValue(*key, name ? name : "");
    if (index < 0) {
        lastError = ErrorNotFound;
        return 0;
    }
    if (!decodeValue(*key->children[index], out.type, out.data)) {
        lastError = ErrorInvalidData;
        return -1;
    }
    return 1;
}

int RegistryKey::getValueSize(const char* name)
{
    Value value;
    return readValue(name, value) == 1 ? value.data.count() : -1;
}

uint32_t RegistryKey::getValueType(const char* name)
{
    Value value;
    return readValue(name, value) == 1 ? value.type : 0;
}

String RegistryKey::readString(const char* name, const char* defaultValue)
{
    Value value;
    if (readValue(name, value) != 1 || (value.type != REG_SZ && value.type != REG_EXPAND_SZ))
        return String(defaultValue);
    if (value.data.count() > StringBufferSize) {
        lastError = ErrorMoreData;
        return String(defaultValue);
    }
    // The text ends at its terminator; a value stored without one ends with its bytes.
    const char* bytes = reinterpret_cast<const char*>(value.data.data());
    const void* zero = value.data.count() > 0 ? std::memchr(bytes, 0, static_cast<size_t>(value.data.count())) : nullptr;
    int length = zero ? static_cast<int>(static_cast<const char*>(zero) - bytes) : value.data.count();
    return String(bytes, length);
}

uint32_t RegistryKey::readDword(const char* name, uint32_t defaultValue)
{
    Value value;
    if (readValue(name, value) != 1)
        return defaultValue;
    if (value.data.count() > 4) {
        lastError = ErrorMoreData;
        return defaultValue;
    }
    uint32_t result = 0;
    for (int i = 0; i < value.data.count(); ++i)
        result |= static_cast<uint32_t>(value.data[i]) << (8 * i);
    return result;
}

uint32_t RegistryKey::readBinaryDword(const char* name, uint32_t defaultValue)
{
    return readDword(name, defaultValue);
}

int RegistryKey::readBinary(const char* name, ByteArray& out)
{
    out.setSize(0);
    Value value;
    int found = readValue(name, value);
    if (found <= 0)
        return found;
    if (value.data.count() > 0)
        out.write(0, value.data.data(), value.data.count());
    return value.data.count();
}

// Runs edit on this object's key inside a change of the store. The root's own entry is
// made on its first value; any other key must exist.
int RegistryKey::changeValues(const std::function<int(XmlNode& key, bool& changed)>& edit)
{
    String normal;
    if (!normalisePath(keyPath.c_str(), normal))
        return lastError = ErrorBadPathName;
    lastError = changeStore(root, [&](XmlNode& store, bool& changed) {
        XmlNode* key = findKey(store, normal);
        if (!key && normal.isEmpty()) {
            key = store.addChild(kKey);
            key->addChild(kPath, "");
            changed = true;
        }
        if (!key)
            return ErrorNotFound;
        return edit(*key, changed);
    });
    return lastError;
}

bool RegistryKey::writeValue(const char* name, uint32_t type, const void* data, int length)
{
    if (length < 0 || (length > 0 && !data) || length > (INT_MAX - 1024) / 2) {
        lastError = ErrorInvalidParameter;
        return false;
    }
    const char* valueName = name ? name : "";
    const auto* bytes = static_cast<const uint8_t*>(data);
    return changeValues([&](XmlNode& key, bool& changed) {
        int index = findValue(key, valueName);
        if (index >= 0) {
            // A replaced value keeps the spelling of the name it was created with.
            XmlNode* node = key.children[index];
            String storedName = childValue(*node, kName);
            *node = XmlNode(kValue);
            encodeValue(*node, storedName.c_str(), type, bytes, length);
        } else {
            encodeValue(*key.addChild(kValue), valueName, type, bytes, length);
        }
        changed = true;
        return ErrorSuccess;
    }) == ErrorSuccess;
}

bool RegistryKey::writeString(const char* name, const char* text, uint32_t type)
{
    const char* t = text ? text : "";
    return writeValue(name, type, t, static_cast<int>(std::strlen(t)) + 1);
}

bool RegistryKey::writeDword(const char* name, uint32_t value)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    return writeValue(name, REG_DWORD, bytes, 4);
}

bool RegistryKey::writeBinary(const char* name, const void* data, int length)
{
    return writeValue(name, REG_BINARY, data, length);
}

bool RegistryKey::deleteValue(const char* name)
{
    const char* valueName = name ? name : "";
    return changeValues([&](XmlNode& key, bool& changed) {
        int index = findValue(key, valueName);
        if (index < 0)
            return ErrorNotFound;
        delete key.children[index];
        key.children.removeAt(index);
        changed = true;
        return ErrorSuccess;
    }) == ErrorSuccess;
}

} // namespace orvane
