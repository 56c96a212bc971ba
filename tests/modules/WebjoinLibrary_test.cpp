// The webjoin library as the program loads it: dlopen, createModule, init with a host,
// then its windows on the virtual display.

#include "core/module/ModuleInterfaces.h"
#include "tests/foundation/TempDirectory.h"
#include "tests/modules/RecordingHost.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/combobox.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/toplevel.h>
#include <wx/webview.h>
#include <wx/weakref.h>

#include <dlfcn.h>

#include <string>
#include <vector>

namespace orvane {
namespace {

using orvane::testing::ClickCase;
using orvane::testing::playClick;
using orvane::testing::waitUntil;

using Contact = testing::FakeContact;

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
        // The host hands the library the program's skin.
        host_.skin = &skin_;
        module_->init(&host_);
    }
    void TearDown() override
    {
        if (module_)
            module_->shutdown();
        if (library_)
            dlclose(library_);
    }

    // The library keeps its profile beside the registry's store.
    testing::TempDirectory registry_;
    testing::ScopedEnv registryEnv_{"ORVANE_REGISTRY_DIR", registry_.path().c_str()};
    void *library_ = nullptr;
    IModule* module_ = nullptr;
    Skin skin_;
    testing::RecordingHost host_;
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

TEST_F(WebjoinLibrary, GoBackForwardAndRefreshAreReportedLikeAnyPageAndStopIsNot)
{
    module_->actOn(&ann_);
    wxFrame* frame = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (frame = sessionWindowTitled("Ann - Webjoin")) != nullptr; }));
    auto* address = dynamic_cast<wxComboBox*>(frame->FindWindow(1001));
    ASSERT_NE(address, nullptr);
    const auto click = [&](int id) {
        wxWindow* button = frame->FindWindow(id);
        ASSERT_NE(button, nullptr) << id;
        playClick(*button, ClickCase{"click", {{wxEVT_LEFT_DOWN, {10, 10}}, {wxEVT_LEFT_UP, {10, 10}}}, 1});
    };
    // What the peer was told, each page as its address.
    const auto urls = [&] {
        std::vector<std::string> out;
        for (const auto& sent : host_.sent) {
            const size_t from = sent.second.find("url=\"") + 5;
            out.push_back(sent.second.substr(from, sent.second.find('"', from) - from));
        }
        return out;
    };
    const auto reported = [&](size_t count) {
        return waitUntil([&] { return host_.sent.size() >= count; }, std::chrono::seconds(20));
    };
    const std::string a = "data:text/html,a", b = "data:text/html,b";

    address->SetValue(a);
    click(1002); // Go
    ASSERT_TRUE(reported(1));
    address->SetValue(b);
    click(1002);
    ASSERT_TRUE(reported(2));
    EXPECT_EQ(address->GetValue(), b);
    click(1000); // Back
    ASSERT_TRUE(reported(3));
    EXPECT_EQ(address->GetValue(), a) << "the box shows where the history went";
    click(1003); // Forward
    ASSERT_TRUE(reported(4));
    click(1005); // Refresh
    ASSERT_TRUE(reported(5));
    click(1004); // Stop: nothing is under way, nothing is sent
    address->SetValue(b);
    click(1002); // the same address again
    ASSERT_TRUE(reported(6));
    EXPECT_EQ(urls(), (std::vector<std::string>{a, b, a, b, b, b}));
    // Every Go adds its text to the list, the same one twice included.
    ASSERT_EQ(address->GetCount(), 3u);
    EXPECT_EQ(address->GetString(1), b);
    EXPECT_EQ(address->GetString(2), b);
}

TEST_F(WebjoinLibrary, ARecordForANewSessionOpensItsWindowWithANotice)
{
    module_->onMessage(&ann_, "<data command=\"LOCK\" session_id=\"2002_7\"/>");
    wxFrame* frame = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (frame = sessionWindowTitled("Ann - Webjoin")) != nullptr; }));
    ASSERT_EQ(host_.notices.size(), 1u);
    EXPECT_EQ(host_.notices[0].first, "Webjoin from\nAnn");
    EXPECT_EQ(host_.notices[0].second, static_cast<WindowHandle>(static_cast<wxWindow*>(frame)));
    EXPECT_TRUE(host_.sent.empty());
    // The page's own process answers before the test ends: one still starting then would
    // find the virtual display gone.
    wxWebView* view = nullptr;
    for (wxWindow* child : frame->GetChildren())
        if ((view = dynamic_cast<wxWebView*>(child)) != nullptr)
            break;
    ASSERT_NE(view, nullptr);
    wxString result;
    EXPECT_TRUE(view->RunScript("1 + 1", &result));
    EXPECT_EQ(result, "2");
}

TEST_F(WebjoinLibrary, ASessionWindowOpensWhereTheLastOneWasClosed)
{
    module_->actOn(&ann_);
    wxFrame* frame = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (frame = sessionWindowTitled("Ann - Webjoin")) != nullptr; }));
    const wxRect placed(120, 90, 640, 520);
    frame->SetSize(placed);
    ASSERT_TRUE(waitUntil([&] { return frame->GetRect() == placed; }));
    wxWeakRef<wxFrame> gone(frame);
    frame->Close();
    ASSERT_TRUE(waitUntil([&] {
        wxTheApp->ProcessIdle();
        return !gone;
    }));

    // Saved as it closed, in the library's profile, as the program saves its main window.
    wxFileConfig stored(wxEmptyString, wxEmptyString, registry_ / "webjoin-profile.ini", wxEmptyString,
                        wxCONFIG_USE_LOCAL_FILE);
    EXPECT_EQ(stored.Read("/Main Frame/Rectangle", "<none>"), "0120 0090 0760 0610");
    EXPECT_EQ(stored.ReadLong("/Main Frame/Iconized", -1), 0);
    EXPECT_EQ(stored.ReadLong("/Main Frame/Maximized", -1), 0);

    // The next window, one a peer's record opens included, comes up there.
    module_->onMessage(&ann_, "<data command=\"LOCK\" session_id=\"2002_7\"/>");
    wxFrame* next = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (next = sessionWindowTitled("Ann - Webjoin")) != nullptr; }));
    EXPECT_TRUE(waitUntil([&] { return next->GetRect() == placed; }))
        << next->GetRect().x << "," << next->GetRect().y << " " << next->GetRect().width << "x"
        << next->GetRect().height;
}

} // namespace
} // namespace orvane
