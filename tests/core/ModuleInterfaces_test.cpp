// The module interfaces are a binary contract between separately built libraries. These
// tests pin the slot of every operation against the order the contract gives, then load
// real module libraries (hidden visibility, as modules are built) and check that calls in
// both directions land in the intended operations and that the base supplies its defaults.

#include "core/module/ModuleBase.h"
#include "core/module/ModuleInterfaces.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <string>
#include <vector>

using namespace orvane;

namespace {

// The slot a virtual member function occupies in its class's table (Itanium C++ ABI: a
// pointer to a virtual member holds 1 + the slot's byte offset).
template <class MemberPointer>
long slotOf(MemberPointer member)
{
    static_assert(sizeof(MemberPointer) == 2 * sizeof(ptrdiff_t), "Itanium member pointer");
    ptrdiff_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    EXPECT_EQ(raw[0] & 1, 1) << "not a virtual operation";
    return static_cast<long>((raw[0] - 1) / static_cast<ptrdiff_t>(sizeof(void*)));
}

// A virtual destructor takes the first two slots (complete and deleting), so an
// interface's operation number n lives in slot n + 1.
constexpr long afterDestructor = 1;

} // namespace

TEST(ModuleInterfaces, IModuleOperationsKeepTheirSlots)
{
    const std::vector<long> slots = {
        slotOf(&IModule::interfaceVersion), slotOf(&IModule::init),
        slotOf(&IModule::shutdown), slotOf(&IModule::getId),
        slotOf(&IModule::getName), slotOf(&IModule::getVersion),
        slotOf(&IModule::getDisplayName), slotOf(&IModule::getBitmap),
        slotOf(&IModule::getDescription), slotOf(&IModule::getValue),
        slotOf(&IModule::reserved11), slotOf(&IModule::reserved12),
        slotOf(&IModule::onSignedIn), slotOf(&IModule::onSignedOut),
        slotOf(&IModule::onContactStatusChanged), slotOf(&IModule::canActOn),
        slotOf(&IModule::actOn), slotOf(&IModule::onIncomingConnection),
        slotOf(&IModule::onSessionMessage), slotOf(&IModule::onMessage),
        slotOf(&IModule::reserved21), slotOf(&IModule::onContactAdded),
        slotOf(&IModule::onContactRemoved), slotOf(&IModule::onUiCallback),
        slotOf(&IModule::preTranslateMessage), slotOf(&IModule::showWindow),
    };
    ASSERT_EQ(slots.size(), 26u); // with the destructor, the 27 operations of a module
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], static_cast<long>(i + 1) + afterDestructor) << "operation " << i + 1;
}

TEST(ModuleInterfaces, IModuleHostOperationsKeepTheirSlots)
{
    const std::vector<long> slots = {
        slotOf(&IModuleHost::setStatusText), slotOf(&IModuleHost::restoreStatusText),
        slotOf(&IModuleHost::getSkin), slotOf(&IModuleHost::getOwnUser),
        slotOf(&IModuleHost::getModuleCount), slotOf(&IModuleHost::getModule),
        slotOf(&IModuleHost::getModuleAt), slotOf(&IModuleHost::getContactCount),
        slotOf(&IModuleHost::getContact), slotOf(&IModuleHost::getContactAt),
        slotOf(&IModuleHost::sendToUsers), slotOf(&IModuleHost::send),
        slotOf(&IModuleHost::sendSessionToUsers), slotOf(&IModuleHost::sendSession),
        slotOf(&IModuleHost::openTcpConnection), slotOf(&IModuleHost::openUdpConnection),
        slotOf(&IModuleHost::playSound), slotOf(&IModuleHost::showNotification),
    };
    ASSERT_EQ(slots.size(), 18u);
    for (size_t i = 0; i < slots.size(); ++i)
        EXPECT_EQ(slots[i], static_cast<long>(i + 1) + afterDestructor) << "operation " << i + 1;
}

TEST(ModuleInterfaces, ConnectionContactAndSkinOperationsKeepTheirSlots)
{
    // No virtual destructor here: send is the very first slot.
    EXPECT_FALSE(std::has_virtual_destructor_v<IModuleConnection>);
    EXPECT_EQ(slotOf(&IModuleConnection::send), 0);
    EXPECT_EQ(slotOf(&IModuleConnection::receive), 1);
    EXPECT_EQ(slotOf(&IModuleConnection::data), 2);
    EXPECT_EQ(slotOf(&IModuleConnection::size), 3);
    EXPECT_EQ(slotOf(&IModuleConnection::close), 4);

    const std::vector<long> contact = {
        slotOf(&IContact::isOnline), slotOf(&IContact::getId),
        slotOf(&IContact::getDisplayName), slotOf(&IContact::getUserName),
        slotOf(&IContact::getFirstName), slotOf(&IContact::getLastName),
        slotOf(&IContact::getAuxText),
    };
    for (size_t i = 0; i < contact.size(); ++i)
        EXPECT_EQ(contact[i], static_cast<long>(i + 1) + afterDestructor) << "IContact " << i + 1;

    const std::vector<long> skin = {
        slotOf(&ISkin::paintBackground), slotOf(&ISkin::paintBackgroundLight),
        slotOf(&ISkin::menuSelectionColor), slotOf(&ISkin::menuBarColor),
        slotOf(&ISkin::textColor), slotOf(&ISkin::captionTextColor),
        slotOf(&ISkin::backgroundColor), slotOf(&ISkin::backgroundColorLight),
        slotOf(&ISkin::backgroundBrush), slotOf(&ISkin::progressBarBackColor),
        slotOf(&ISkin::progressBarColor),
    };
    for (size_t i = 0; i < skin.size(); ++i)
        EXPECT_EQ(skin[i], static_cast<long>(i + 1) + afterDestructor) << "ISkin " << i + 1;

    // Outside the Exception family, and an empty record.
    EXPECT_TRUE(std::is_empty_v<IModuleConnection::ConnectionException>);
}

// ---- the main program's side of the boundary, as the loaded modules see it -------------

namespace {

class TestContact final : public IContact {
public:
    TestContact(const char* id, bool online) : id_(id), online_(online) {}
    bool isOnline() override { return online_; }
    const char* getId() override { return id_.c_str(); }
    const char* getDisplayName() override { return "Ann Lee"; }
    const char* getUserName() override { return "ann"; }
    const char* getFirstName() override { return "Ann"; }
    const char* getLastName() override { return "Lee"; }
    const char* getAuxText() override { return "aux"; }

private:
    std::string id_;
    bool online_;
};

class TestSkin final : public ISkin {
public:
    std::vector<std::string>* log = nullptr;
    void paintBackground(WindowHandle w, DeviceContextHandle dc) override { painted("paintBackground", w, dc); }
    void paintBackgroundLight(WindowHandle w, DeviceContextHandle dc) override
    {
        painted("paintBackgroundLight", w, dc);
    }
    ColorRef menuSelectionColor() override { return 0x1; }
    ColorRef menuBarColor() override { return 0x2; }
    ColorRef textColor() override { return 0x3; }
    ColorRef captionTextColor() override { return 0x4; }
    ColorRef backgroundColor() override { return 0x5; }
    ColorRef backgroundColorLight() override { return 0x6; }
    BrushHandle backgroundBrush() override { return nullptr; }
    ColorRef progressBarBackColor() override { return 0x8; }
    ColorRef progressBarColor() override { return 0x9; }

private:
    void painted(const char* what, WindowHandle w, DeviceContextHandle dc)
    {
        log->push_back(std::string("skin:") + what + " " +
                       std::to_string(reinterpret_cast<uintptr_t>(w)) + "," +
                       std::to_string(reinterpret_cast<uintptr_t>(dc)));
    }
};

class TestConnection final : public IModuleConnection {
public:
    explicit TestConnection(std::vector<std::string>& log) : log_(log) {}
    void send(const void* data, int length) override
    {
        log_.push_back("conn:send " + std::string(static_cast<const char*>(data), static_cast<size_t>(length)));
    }
    int receive(int timeoutMs) override
    {
        log_.push_back("conn:receive " + std::to_string(timeoutMs));
        throw ConnectionException();
    }
    const uint8_t* data() override { return reinterpret_cast<const uint8_t*>("xyz"); }
    int size() override { return 3; }
    void close() override
    {
        log_.push_back("conn:close");
        delete this;
    }

private:
    ~TestConnection() = default;
    std::vector<std::string>& log_;
};

class TestHost final : public IModuleHost {
public:
    std::vector<std::string> log;
    IModule* module = nullptr;
    TestContact own{"1000", true};
    TestContact contact{"42", true};
    TestSkin skin;

    TestHost() { skin.log = &log; }
    void setStatusText(const char* text) override { log.push_back(text); }
    void restoreStatusText() override { log.push_back("host:restoreStatusText"); }
    ISkin* getSkin() override { return &skin; }
    IContact* getOwnUser() override { return &own; }
    int getModuleCount() override { return 1; }
    IModule* getModule(const char* id) override { return std::strcmp(id, "recording") == 0 ? module : nullptr; }
    IModule* getModuleAt(int index) override { return index == 0 ? module : nullptr; }
    int getContactCount() override { return 1; }
    IContact* getContact(const char*) override { return &contact; }
    IContact* getContactAt(int) override { return &contact; }
    void sendToUsers(StringArray* ids, const char* data) override
    {
        log.push_back(std::string("host:sendToUsers ") + (ids ? "ids" : "null") + " " + data);
    }
    void send(const char* userId, const char* data) override
    {
        log.push_back(std::string("host:send ") + userId + " " + data);
    }
    void sendSessionToUsers(const char* sessionId, StringArray* ids, const char* data, bool offline) override
    {
        log.push_back(std::string("host:sendSessionToUsers ") + sessionId + " " + (ids ? "ids" : "null") +
                      " " + data + " " + (offline ? "offline" : "online"));
    }
    void sendSession(const char* sessionId, const char* userId, const char* data, bool offline) override
    {
        log.push_back(std::string("host:sendSession ") + sessionId + " " + userId + " " + data + " " +
                      (offline ? "offline" : "online"));
    }
    IModuleConnection* openTcpConnection(const char* userId) override
    {
        log.push_back(std::string("host:openTcpConnection ") + userId);
        return nullptr;
    }
    IModuleConnection* openUdpConnection(const char* userId) override
    {
        log.push_back(std::string("host:openUdpConnection ") + userId);
        return nullptr;
    }
    void playSound(const char* path) override { log.push_back(std::string("host:playSound ") + path); }
    void showNotification(const char* text, WindowHandle window) override
    {
        log.push_back(std::string("host:showNotification ") + text + " " +
                      std::to_string(reinterpret_cast<uintptr_t>(window)));
    }

    std::vector<std::string> take()
    {
        std::vector<std::string> out;
        out.swap(log);
        return out;
    }
};

// A module library opened the way the main program opens one; closed at the end.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL))
    {
        EXPECT_NE(handle_, nullptr) << dlerror();
    }
    ~LoadedLibrary()
    {
        if (handle_)
            dlclose(handle_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    void* symbol(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }
    IModule* create() const
    {
        auto factory = reinterpret_cast<IModule* (*)()>(symbol(ORVANE_CREATE_MODULE_SYMBOL));
        EXPECT_NE(factory, nullptr);
        return factory ? factory() : nullptr;
    }

private:
    void* handle_;
};

std::string pointerText(const void* p)
{
    char text[40];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

} // namespace

TEST(ModuleInterfaces, CallsIntoALoadedLibraryLandInTheirOperations)
{
    LoadedLibrary library(ORVANE_RECORDING_MODULE);
    IModule* module = library.create();
    ASSERT_NE(module, nullptr);
    TestHost host;
    host.module = module;

    EXPECT_TRUE(module->init(&host));
    const std::vector<std::string> fromInit = {
        "init",
        "host:setStatusText",
        "host:restoreStatusText",
        "host:answers skin=yes own=1000 modules=1 getModule=self getModuleAt=self contacts=1 "
        "getContact=42 getContactAt=42",
        "host:sendToUsers null to-users",
        "host:send 7 to-one",
        "host:sendSessionToUsers s1 null session-to-users offline",
        "host:sendSession s2 8 session-to-one online",
        "host:openTcpConnection 9",
        "host:openUdpConnection 10",
        "host:open tcp=null udp=null",
        "host:playSound ring.wav",
        "host:showNotification notice 4660",
        "skin:paintBackground 1,2",
        "skin:paintBackgroundLight 3,4",
        "skin:1 2 3 4 5 6 (nil) 8 9",
    };
    EXPECT_EQ(host.take(), fromInit);

    // Every operation of the module, called in slot order, with what each one answers.
    TestContact& c = host.contact;
    EXPECT_STREQ(module->interfaceVersion(), "9.9");
    module->shutdown();
    EXPECT_STREQ(module->getId(), "recording");
    EXPECT_STREQ(module->getName(), "Recording");
    EXPECT_STREQ(module->getVersion(), "2.5");
    EXPECT_STREQ(module->getDisplayName(), "Record");
    EXPECT_EQ(module->getBitmap(), reinterpret_cast<BitmapHandle>(0xb17));
    EXPECT_STREQ(module->getDescription(), "records calls");
    EXPECT_EQ(module->getValue(), 77);
    module->reserved11(reinterpret_cast<void*>(0x11));
    EXPECT_STREQ(module->reserved12(), "r12");
    module->onSignedIn();
    module->onSignedOut();
    module->onContactStatusChanged(&c);
    EXPECT_TRUE(module->canActOn(&c));
    module->actOn(&c);
    module->onIncomingConnection(&c, new TestConnection(host.log));
    module->onSessionMessage(&c, "sdata", 1234567, "sid");
    module->onMessage(&c, "mdata");
    module->reserved21(reinterpret_cast<void*>(0x21), reinterpret_cast<void*>(0x22), reinterpret_cast<void*>(0x23));
    module->onContactAdded(&c);
    module->onContactRemoved(nullptr);
    module->onUiCallback(-5);
    EXPECT_TRUE(module->preTranslateMessage(reinterpret_cast<UiMessage*>(0x30)));
    module->showWindow(reinterpret_cast<WindowHandle>(0x40));

    const std::vector<std::string> expected = {
        "interfaceVersion",
        "shutdown",
        "getId",
        "getName",
        "getVersion",
        "getDisplayName",
        "getBitmap",
        "getDescription",
        "getValue",
        "reserved11 " + pointerText(reinterpret_cast<void*>(0x11)),
        "reserved12",
        "onSignedIn",
        "onSignedOut",
        "onContactStatusChanged 42",
        "canActOn 42",
        "actOn 42",
        "contact:online|42|Ann Lee|ann|Ann|Lee|aux",
        "onIncomingConnection 42",
        "conn:send abc",
        "conn:receive 500",
        "connection:caught data=xyz",
        "conn:close",
        "onSessionMessage sdata 1234567 sid 42",
        "onMessage mdata 42",
        "reserved21 " + pointerText(reinterpret_cast<void*>(0x21)) + " " +
            pointerText(reinterpret_cast<void*>(0x22)) + " " + pointerText(reinterpret_cast<void*>(0x23)),
        "onContactAdded 42",
        "onContactRemoved null",
        "onUiCallback -5",
        "preTranslateMessage " + pointerText(reinterpret_cast<void*>(0x30)),
        "showWindow " + pointerText(reinterpret_cast<void*>(0x40)),
    };
    EXPECT_EQ(host.take(), expected);

    // Module objects belong to their library; the test made it, so the test may end it.
    delete module;
    EXPECT_EQ(host.take(), std::vector<std::string>{"destructor"});
}

TEST(ModuleInterfaces, OnlyCreateModuleIsExported)
{
    LoadedLibrary library(ORVANE_RECORDING_MODULE);
    EXPECT_NE(library.symbol("createModule"), nullptr);
    // The exception that crosses the boundary keeps one public type identity.
    EXPECT_NE(library.symbol("_ZTIN6orvane17IModuleConnection19ConnectionExceptionE"), nullptr);
    // The base class is each library's own copy and stays inside it.
    LoadedLibrary defaults(ORVANE_DEFAULTS_MODULE);
    EXPECT_NE(defaults.symbol("createModule"), nullptr);
    EXPECT_EQ(defaults.symbol("_ZTVN6orvane10ModuleBaseE"), nullptr);
    EXPECT_EQ(defaults.symbol("_ZTIN6orvane10ModuleBaseE"), nullptr);
}

TEST(ModuleInterfaces, TheBaseSuppliesTheDefaultsAcrossTheBoundary)
{
    LoadedLibrary library(ORVANE_DEFAULTS_MODULE);
    IModule* module = library.create();
    ASSERT_NE(module, nullptr);
    TestHost host;
    module->init(&host);

    EXPECT_STREQ(module->interfaceVersion(), "1.0");
    EXPECT_EQ(module->getValue(), 0);
    EXPECT_STREQ(module->reserved12(), "");
    EXPECT_EQ(module->getDisplayName(), nullptr);
    EXPECT_EQ(module->getBitmap(), nullptr);

    // Only an online contact can be acted on.
    TestContact online("1", true), offline("2", false);
    EXPECT_TRUE(module->canActOn(&online));
    EXPECT_FALSE(module->canActOn(&offline));
    EXPECT_FALSE(module->canActOn(nullptr));

    // Messages are ignored and window messages are not consumed.
    module->onSignedIn();
    module->onSignedOut();
    module->onContactStatusChanged(&online);
    module->onMessage(&online, "data");
    module->onSessionMessage(&online, "data", 1, "s");
    module->reserved11(nullptr);
    module->reserved21(nullptr, nullptr, nullptr);
    module->onContactAdded(&online);
    module->onContactRemoved(&online);
    module->onUiCallback(1);
    module->showWindow(nullptr);
    EXPECT_FALSE(module->preTranslateMessage(nullptr));
    EXPECT_TRUE(host.take().empty());

    // What the module supplies itself still runs, through the base's table.
    module->actOn(&online);
    std::vector<std::string> log;
    module->onIncomingConnection(&online, new TestConnection(log));
    EXPECT_EQ(host.take(), std::vector<std::string>{"acted"});
    EXPECT_EQ(log, std::vector<std::string>{"conn:close"});
    delete module;
}
