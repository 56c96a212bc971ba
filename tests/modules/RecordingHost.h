#pragma once

// What a module library sees of the program in its tests: contacts with fixed texts and a
// host that records what the module sends, plays and shows.

#include "core/module/ModuleInterfaces.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::testing {

class FakeContact final : public IContact {
public:
    FakeContact(std::string id, std::string name, bool online = true)
        : id_(std::move(id)), name_(std::move(name)), online_(online)
    {
    }
    bool isOnline() override { return online_; }
    void setOnline(bool online) { online_ = online; }
    const char* getId() override { return id_.c_str(); }
    const char* getDisplayName() override { return name_.c_str(); }
    const char* getUserName() override { return name_.c_str(); }
    const char* getFirstName() override { return ""; }
    const char* getLastName() override { return ""; }
    const char* getAuxText() override { return ""; }

private:
    std::string id_;
    std::string name_;
    bool online_;
};

class RecordingHost : public IModuleHost {
public:
    FakeContact own{"1001", "Me"};
    // What getOwnUser answers: own unless the test signs in someone else.
    IContact* ownUser = &own;
    // What getSkin answers; none unless the test sets one.
    ISkin* skin = nullptr;
    std::vector<std::pair<std::string, std::string>> sent;
    std::vector<std::string> sounds;
    std::vector<std::pair<std::string, WindowHandle>> notices;
    // What openTcpConnection hands out, once; and the user ids it was asked for.
    IModuleConnection* tcpConnection = nullptr;
    std::vector<std::string> tcpOpened;

    void setStatusText(const char*) override {}
    void restoreStatusText() override {}
    ISkin* getSkin() override { return skin; }
    IContact* getOwnUser() override { return ownUser; }
    int getModuleCount() override { return 0; }
    IModule* getModule(const char*) override { return nullptr; }
    IModule* getModuleAt(int) override { return nullptr; }
    int getContactCount() override { return 0; }
    IContact* getContact(const char*) override { return nullptr; }
    IContact* getContactAt(int) override { return nullptr; }
    void sendToUsers(StringArray*, const char*) override {}
    void send(const char* userId, const char* data) override { sent.emplace_back(userId, data); }
    void sendSessionToUsers(const char*, StringArray*, const char*, bool) override {}
    void sendSession(const char*, const char*, const char*, bool) override {}
    IModuleConnection* openTcpConnection(const char* userId) override
    {
        tcpOpened.emplace_back(userId);
        return std::exchange(tcpConnection, nullptr);
    }
    // Answers openUdpConnection (on the caller's thread, so the function keeps its own
    // data safe); none: no channel.
    std::function<IModuleConnection*(const char* userId)> udpOpener;
    IModuleConnection* openUdpConnection(const char* userId) override
    {
        return udpOpener ? udpOpener(userId) : nullptr;
    }
    void playSound(const char* path) override { sounds.emplace_back(path); }
    void showNotification(const char* text, WindowHandle window) override { notices.emplace_back(text, window); }
};

} // namespace orvane::testing
