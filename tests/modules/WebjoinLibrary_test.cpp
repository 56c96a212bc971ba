// The webjoin library as the program loads it: dlopen, createModule, init with a host,
// then its windows on the virtual display.

#include "core/module/ModuleInterfaces.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/combobox.h>
#include <wx/frame.h>
#include <wx/toplevel.h>

#include <dlfcn.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

using orvane::testing::waitUntil;

class Contact final : public IContact {
public:
    Contact(std::string id, std::string name) : id_(std::move(id)), name_(std::move(name)) {}
    bool isOnline() override { return true; }
    const char* getId() override { return id_.c_str(); }
    const char* getDisplayName() override { return name_.c_str(); }
    const char* getUserName() override { return name_.c_str(); }
    const char* getFirstName() override { return ""; }
    const char* getLastName() override { return ""; }
    const char* getAuxText() override { return ""; }

private:
    std::string id_;
    std::string name_;
};

class Host final : public IModuleHost {
public:
    Skin skin;
    Contact own{"1001", "Me"};
    std::vector<std::pair<std::string, std::string>> sent;
    std::vector<std::string> notices;

    void setStatusText(const char*) override {}
    void restoreStatusText() override {}
    ISkin* getSkin() override { return &skin; }
    IContact* getOwnUser() override { return &own; }
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
    IModuleConnection* openTcpConnection(const char*) override { return nullptr; }
    IModuleConnection* openUdpConnection(const char*) override { return nullptr; }
    void playSound(const char*) override {}
    void showNotification(const char* text, WindowHandle) override { notices.emplace_back(text); }
};

wxFrame* sessionWindowTitled(const wxString& title)
{
    for (wxWindow* window : wxTopLevelWindows) {
        if (window->GetLabel() == title && window->IsShown())
            return dynamic_cast<wxFrame*>(window);
    }
    return nullptr;
}

class WebjoinLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        library_ = dlopen(ORVANE_WEBJOIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        auto create = reinterpret_cast<IModule* (*)()>(dlsym(library_, ORVANE_CREATE_MODULE_SYMBOL));
        ASSERT_NE(create, nullptr);
        module_ = create();
        ASSERT_NE(module_, nullptr);
        module_->init(&host_);
    }
    void TearDown() override
    {
        if (module_)
            module_->shutdown();
        if (library_)
            dlclose(library_);
    }

    void *library_ = nullptr;
    IModule* module_ = nullptr;
    Host host_;
    Contact ann_{"2002", "Ann"};
};

TEST_F(WebjoinLibrary, DescribesItselfAndHasItsButtonPicture)
{
    EXPECT_STREQ(module_->getId(), "Webjoin");
    EXPECT_STREQ(module_->getDisplayName(), "Webjoin");
    EXPECT_STREQ(module_->getDescription(), "Webjoin Module");
    EXPECT_STREQ(module_->getVersion(), "1.0");
    EXPECT_NE(module_->getBitmap(), nullptr);
}

TEST_F(WebjoinLibrary, TheUsersPagesAreSentAndThePeersOnlyShown)
{
    module_->actOn(&ann_);
    wxFrame* frame = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (frame = sessionWindowTitled("Ann - Webjoin")) != nullptr; }));
    EXPECT_GE(frame->GetMinSize().GetWidth(), 200);
    EXPECT_GE(frame->GetMinSize().GetHeight(), 400);
    auto* address = dynamic_cast<wxComboBox*>(frame->FindWindow(1001));
    ASSERT_NE(address, nullptr);

    // The user's own page: one record, nothing for the first about:blank.
    address->SetValue("data:text/html,<p>mine</p>");
    wxCommandEvent enter(wxEVT_TEXT_ENTER, address->GetId());
    enter.SetEventObject(address);
    address->GetEventHandler()->ProcessEvent(enter);
    ASSERT_TRUE(waitUntil([&] { return !host_.sent.empty(); }, std::chrono::seconds(20)));
    ASSERT_EQ(host_.sent.size(), 1u);
    EXPECT_EQ(host_.sent[0].first, "2002");
    EXPECT_EQ(host_.sent[0].second,
              "<data command=\"NAVIGATE\" url=\"data:text/html,&lt;p&gt;mine&lt;/p&gt;\" session_id=\"1001_1\"/>");
    EXPECT_EQ(address->GetCount(), 1u);

    // The peer may not send the window anywhere but to web pages.
    module_->onMessage(&ann_, "<data command=\"NAVIGATE\" url=\"javascript:alert(1)\" session_id=\"1001_1\"/>");
    module_->onMessage(&ann_, "<data command=\"NAVIGATE\" url=\"about:blank\" session_id=\"1001_1\"/>");
    ASSERT_TRUE(waitUntil([&] { return address->GetValue() == "data:text/html,<p>mine</p>" && !frame->IsBeingDeleted(); }));
    // about:blank from the peer leaves the address and sends nothing; the user's next page is sent.
    address->SetValue("data:text/html,<p>again</p>");
    address->GetEventHandler()->ProcessEvent(enter);
    ASSERT_TRUE(waitUntil([&] { return host_.sent.size() == 2; }, std::chrono::seconds(20)));
    EXPECT_TRUE(host_.notices.empty());
}

TEST_F(WebjoinLibrary, ARecordForANewSessionOpensItsWindowWithANotice)
{
    module_->onMessage(&ann_, "<data command=\"LOCK\" session_id=\"2002_7\"/>");
    ASSERT_TRUE(waitUntil([&] { return sessionWindowTitled("Ann - Webjoin") != nullptr; }));
    ASSERT_EQ(host_.notices.size(), 1u);
    EXPECT_EQ(host_.notices[0], "Webjoin from\nAnn");
    EXPECT_TRUE(host_.sent.empty());
}

} // namespace
} // namespace orvane
