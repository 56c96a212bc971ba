// The video library as the program loads it: dlopen, createModule, init with a host; a
// session with a real peer over loopback; shut down and unloaded with and without one.

#include "core/module/ModuleInterfaces.h"
#include "tests/modules/RecordingHost.h"
#include "tests/modules/VideoPeers.h"
#include "tests/ui/ScreenProbe.h"

#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/toplevel.h>

#include <dlfcn.h>

#include <cstdlib>

namespace orvane {
namespace {

using namespace orvane::testing;

wxTopLevelWindow* shownWindowTitled(const wxString& title)
{
    for (wxWindow* window : wxTopLevelWindows)
        if (window->GetLabel() == title && window->IsShown())
            return dynamic_cast<wxTopLevelWindow*>(window);
    return nullptr;
}

class VideoLibrary : public ::testing::Test {
protected:
    void load()
    {
        library_ = dlopen(ORVANE_VIDEO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        auto create = reinterpret_cast<IModule* (*)()>(dlsym(library_, ORVANE_CREATE_MODULE_SYMBOL));
        ASSERT_NE(create, nullptr);
        module_ = create();
        ASSERT_NE(module_, nullptr);
        module_->init(&host_);
    }
    void unload()
    {
        if (module_)
            module_->shutdown();
        module_ = nullptr;
        if (library_) {
            EXPECT_EQ(dlclose(library_), 0);
        }
        library_ = nullptr;
    }
    void TearDown() override { unload(); }

    void* library_ = nullptr;
    IModule* module_ = nullptr;
    RecordingHost host_;
    FakeContact ann_{"2002", "Ann"};
};

TEST_F(VideoLibrary, DescribesItselfAndHasItsButtonPicture)
{
    load();
    EXPECT_STREQ(module_->interfaceVersion(), "1.0");
    EXPECT_STREQ(module_->getId(), "video");
    EXPECT_STREQ(module_->getName(), "Video Module");
    EXPECT_STREQ(module_->getVersion(), "1.0");
    EXPECT_STREQ(module_->getDisplayName(), "Video chat");
    EXPECT_STREQ(module_->getDescription(), "Video Conversation");
    EXPECT_EQ(module_->getValue(), 0);
    auto* bitmap = static_cast<wxBitmap*>(module_->getBitmap());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->GetSize(), wxSize(32, 32));
    FakeContact away{"4004", "Away", false};
    EXPECT_TRUE(module_->canActOn(&ann_));
    EXPECT_FALSE(module_->canActOn(&away));
    EXPECT_FALSE(module_->canActOn(nullptr));
    EXPECT_FALSE(module_->preTranslateMessage(nullptr));
}

TEST_F(VideoLibrary, StartsASessionWithTheCameraAndUnloadsWhileItRunsAndWhenNoneDoes)
{
    ASSERT_EQ(setenv("ORVANE_VIDEO_SOURCE", "synthetic:160x120x24", 1), 0);
    VideoPeer peer(1);
    host_.tcpConnection = peer.connection();
    load();
    module_->actOn(&ann_);
    ASSERT_TRUE(waitUntil([] { return shownWindowTitled("Video with Ann ") != nullptr; }));
    EXPECT_EQ(host_.tcpOpened, std::vector<std::string>{"2002"});
    // The synthetic camera's bars reach the peer: the left one grey, the right one near black.
    ASSERT_TRUE(peer.window.waitUntil([](RecordingWindow& w) {
        if (w.remote().empty())
            return false;
        const Picture& p = w.remote().back().pixels;
        return p.size() == 120 * 90 && (p[85 * 120 + 3] & 0xFFFFFF) == 0xC0C0C0 &&
               (p[85 * 120 + 116] & 0xFFFFFF) == 0x101010;
    }));
    unload();
    EXPECT_EQ(shownWindowTitled("Video with Ann "), nullptr);
    EXPECT_TRUE(peer.window.waitUntil([](RecordingWindow& w) { return w.closed() > 0; }));

    // Loaded again and gone again without a session.
    load();
    unload();
}

} // namespace
} // namespace orvane
