#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

#include <cstdint>
#include <functional>

namespace orvane {

class XmlNode;

// The predefined roots, with the numbers the values have always had.
using RegistryRoot = uint32_t;
constexpr RegistryRoot HKEY_CLASSES_ROOT = 0x80000000u;
constexpr RegistryRoot HKEY_CURRENT_USER = 0x80000001u;
constexpr RegistryRoot HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr RegistryRoot HKEY_USERS = 0x80000003u;
constexpr RegistryRoot HKEY_PERFORMANCE_DATA = 0x80000004u;
constexpr RegistryRoot HKEY_CURRENT_CONFIG = 0x80000005u;

// Value types.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

// Values below a key of a small registry of our own. Each root is one XML file in the
// store folder ($ORVANE_REGISTRY_DIR when set, else the per-user folder
// $XDG_CONFIG_HOME/Orvane, ~/.config/Orvane by default). Key paths use backslashes and,
// like value names, compare ignoring ASCII case. No key stays open: every operation reads
// the store anew, and every change is made under a lock on the store folder and written
// through a temporary file that replaces the old one, so other processes see either the
// old store or the new one. Nothing here throws.
class RegistryKey {
public:
    // lastError values.
    static constexpr int ErrorSuccess = 0;
    static constexpr int ErrorNotFound = 2;        // no such key or value
    static constexpr int ErrorAccessDenied = 5;    // the store cannot be written
    static constexpr int ErrorInvalidData = 13;    // a stored value that cannot be decoded
    static constexpr int ErrorInvalidParameter = 87; // a write with a negative length or no data
    static constexpr int ErrorBadPathName = 161;   // an empty part in a key path
    static constexpr int ErrorMoreData = 234;      // the value does not fit the reader's buffer
    static constexpr int ErrorStoreCorrupt = 1009; // the root's file does not read as a store
    static constexpr int ErrorStoreIO = 1016;      // the root's file cannot be read

    // Longest string value readString takes, terminator included.
    static constexpr int StringBufferSize = 255;

    RegistryKey() = default;

    // HKEY_CURRENT_USER, no key path, no error.
    void reset();
    // Accepts only the four predefined roots; anything else answers false, root unchanged.
    bool setRoot(RegistryRoot newRoot);
    // Opens (or, with create, creates along with any missing parents) the key below the
    // root and makes it this object's key. An empty path selects the root itself.
    bool open(const char* path, bool create);

    // Byte size of the value (strings count their terminator); -1 when the key or value
    // is missing.
    int getValueSize(const char* name);
    // REG_SZ, REG_DWORD, ...; 0 when the key or value cannot be read.
    uint32_t getValueType(const char* name);
    // A REG_SZ or REG_EXPAND_SZ value (unexpanded) of at most 255 bytes with its
    // terminator; any other type, a longer value or a missing one gives the default.
    String readString(const char* name, const char* defaultValue);
    // The value's first 4 bytes, little-endian, whatever its type; a shorter value is
    // filled with zero bytes; a missing or longer value gives the default.
    uint32_t readDword(const char* name, uint32_t defaultValue);
    // The same rule, for flags stored as bytes.
    uint32_t readBinaryDword(const char* name, uint32_t defaultValue);
    // Empties out, then fills it with the value's bytes and answers their count; 0 for a
    // missing or empty value; -1 when the key is missing or the store cannot be read.
    int readBinary(const char* name, ByteArray& out);

    // Stores a value of any type under this object's key (which must exist), replacing a
    // value of that name; false when the key is missing or the store cannot be written.
    bool writeValue(const char* name, uint32_t type, const void* data, int length);
    // text and its terminator, as REG_SZ (or REG_EXPAND_SZ).
    bool writeString(const char* name, const char* text, uint32_t type = REG_SZ);
    bool writeDword(const char* name, uint32_t value);
    bool writeBinary(const char* name, const void* data, int length);
    // False when the key or the value is missing or the store cannot be written.
    bool deleteValue(const char* name);

    int getLastError() const { return lastError; }
    RegistryRoot getRoot() const { return root; }
    String getKeyPath() const { return keyPath; }

    // The folder that holds the store.
    static String storeFolder();
    // The store file of a predefined root; empty for any other root.
    static String storeFile(RegistryRoot root);

private:
    struct Value;
    int readValue(const char* name, Value& out);
    int changeValues(const std::function<int(XmlNode& key, bool& changed)>& edit);

    int lastError = 0;
    RegistryRoot root = HKEY_CURRENT_USER;
    String keyPath;
};

} // namespace orvane
