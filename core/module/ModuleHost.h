#pragma once

#include "core/module/ModuleInterfaces.h"
#include "foundation/String.h"

namespace orvane {

class ClientApp;
class ModuleEntry;

// The main program as one module sees it: a thin adapter to the application that stamps
// everything the module sends with the module's id, so that the peer's program delivers
// it to the same module. One per module entry, living as long as it.
class ModuleHost : public IModuleHost {
public:
    explicit ModuleHost(ClientApp& app);
    ~ModuleHost() override;

    void setStatusText(const char* text) override;
    void restoreStatusText() override;
    ISkin* getSkin() override;
    IContact* getOwnUser() override;
    int getModuleCount() override;
    IModule* getModule(const char* id) override;
    IModule* getModuleAt(int index) override;
    int getContactCount() override;
    IContact* getContact(const char* userId) override;
    IContact* getContactAt(int index) override;
    void sendToUsers(StringArray* userIds, const char* data) override;
    void send(const char* userId, const char* data) override;
    void sendSessionToUsers(const char* sessionId, StringArray* userIds, const char* data,
                            bool canBeOffline) override;
    void sendSession(const char* sessionId, const char* userId, const char* data, bool canBeOffline) override;
    IModuleConnection* openTcpConnection(const char* userId) override;
    IModuleConnection* openUdpConnection(const char* userId) override;
    void playSound(const char* path) override;
    void showNotification(const char* text, WindowHandle window) override;

    ModuleEntry* entry = nullptr;
    String moduleId;

private:
    ClientApp& app_;
};

} // namespace orvane
