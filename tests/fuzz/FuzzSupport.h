#pragma once

// What the fuzz targets share: how a target reports a property that does not hold, and a
// module that takes whatever the application hands it.

#include "core/module/ModuleBase.h"

#include <cstddef>
#include <cstring>

namespace orvane::fuzzing {

// Ends the run as a finding when a property the target checks does not hold.
inline void check(bool holds)
{
    if (!holds)
        __builtin_trap();
}

// A module that touches every byte the application hands over and closes every channel it
// is given, so that a text or a record that is gone or cut short shows under the sanitizer.
class ReadingModule : public ModuleBase {
public:
    explicit ReadingModule(const char* id) : id_(id) {}
    bool init(IModuleHost*) override { return true; }
    void shutdown() override {}
    const char* getId() override { return id_; }
    const char* getName() override { return id_; }
    const char* getVersion() override { return "1"; }
    const char* getDisplayName() override { return ""; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return ""; }
    void actOn(IContact*) override {}
    void onIncomingConnection(IContact*, IModuleConnection* connection) override
    {
        if (connection)
            connection->close();
    }
    // Touch every byte the application hands over.
    void onMessage(IContact* contact, const char* data) override { use(contact, data); }
    void onSessionMessage(IContact* contact, const char* data, int, const char* session) override
    {
        use(contact, data);
        use(nullptr, session);
    }
    void onContactAdded(IContact* contact) override { use(contact, ""); }
    void onContactRemoved(IContact* contact) override { use(contact, ""); }

    size_t sum = 0;

private:
    void use(IContact* contact, const char* text)
    {
        for (const char* p = text; p && *p; ++p)
            sum += static_cast<unsigned char>(*p);
        if (contact)
            sum += std::strlen(contact->getId()) + std::strlen(contact->getDisplayName());
    }
    const char* id_;
};

} // namespace orvane::fuzzing
