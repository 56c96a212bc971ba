#include "core/module/ModuleHost.h"

#include "core/app/ClientApp.h"
#include "core/module/ModuleEntry.h"

namespace orvane {

ModuleHost::ModuleHost(ClientApp& app) : app_(app) {}

ModuleHost::~ModuleHost() = default;

void ModuleHost::setStatusText(const char* text)
{
    app_.setStatusText(text);
}

void ModuleHost::restoreStatusText()
{
    app_.showOnlineStatus();
}

ISkin* ModuleHost::getSkin()
{
    return app_.ui().skin();
}

IContact* ModuleHost::getOwnUser()
{
    return &app_.ownUser();
}

int ModuleHost::getModuleCount()
{
    return app_.getModuleCount();
}

IModule* ModuleHost::getModule(const char* id)
{
    return app_.findModule(id);
}

IModule* ModuleHost::getModuleAt(int index)
{
    return app_.getModuleAt(index);
}

int ModuleHost::getContactCount()
{
    return app_.getContactCount();
}

IContact* ModuleHost::getContact(const char* userId)
{
    return app_.getContact(userId);
}

IContact* ModuleHost::getContactAt(int index)
{
    return app_.getContactAt(index);
}

void ModuleHost::sendToUsers(StringArray* userIds, const char* data)
{
    if (userIds)
        app_.connection().sendModuleMessageToUsers(moduleId.c_str(), *userIds, data);
}

void ModuleHost::send(const char* userId, const char* data)
{
    app_.connection().sendModuleMessage(moduleId.c_str(), userId, data);
}

void ModuleHost::sendSessionToUsers(const char* sessionId, StringArray* userIds, const char* data,
                                    bool canBeOffline)
{
    if (userIds)
        app_.connection().sendSessionMessageToUsers(moduleId.c_str(), sessionId, *userIds, data, canBeOffline);
}

void ModuleHost::sendSession(const char* sessionId, const char* userId, const char* data, bool canBeOffline)
{
    app_.connection().sendSessionMessage(moduleId.c_str(), sessionId, userId, data, canBeOffline);
}

IModuleConnection* ModuleHost::openTcpConnection(const char* userId)
{
    return app_.systemModule().openTcpConnection(userId, moduleId.c_str());
}

IModuleConnection* ModuleHost::openUdpConnection(const char* userId)
{
    return app_.systemModule().openUdpConnection(userId, moduleId.c_str());
}

void ModuleHost::playSound(const char* path)
{
    app_.playSoundFile(path);
}

void ModuleHost::showNotification(const char* text, WindowHandle window)
{
    app_.ui().showNotice(text ? text : "", entry ? entry->module : nullptr, window, true);
}

} // namespace orvane
