#include "resources/ProgramImages.h"
#include "tests/ui/DialogDriver.h"
#include "tests/ui/WxClient.h"
#include "ui/CAboutDialog.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/Skin.h"

#include <gtest/gtest.h>
#include <wx/app.h>

#include <chrono>

using namespace orvane;
using namespace orvane::testing;

namespace {

class AboutDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registerProgramImages());
        loadInstalledSkin(skin);
    }

    // Queues the steps to the box that run() makes and runs; ends the box when they fail.
    void runWith(std::function<void(CAboutDialog&)> steps)
    {
        bool ran = false;
        wxTheApp->CallAfter([&] {
            ran = true;
            CAboutDialog* box = modalDialog<CAboutDialog>();
            ASSERT_NE(box, nullptr);
            steps(*box);
            if (!waitUntil([&] { return !box->IsModal(); }, std::chrono::seconds(10))) {
                ADD_FAILURE() << "the box is still open";
                box->EndModal(wxID_ABORT);
            }
        });
        CAboutDialog::run(nullptr, skin, "1.6", "240517");
        EXPECT_TRUE(ran);
    }

    Skin skin;
};

TEST_F(AboutDialog, RunShowsTheVersionLeftAlignedAndEndsOnOkEnterAndEscape)
{
    runWith([](CAboutDialog& box) {
        for (int id : {CAboutDialog::ProductId, CAboutDialog::NoticeId, CAboutDialog::VersionId}) {
            auto* label = dynamic_cast<CTextLabel*>(box.FindWindow(id));
            ASSERT_NE(label, nullptr);
            // Left-aligned: the text starts at the label's left edge, whatever its width.
            const auto [first, last] = inkedColumns(*label);
            EXPECT_GE(first, 0) << id;
            EXPECT_LT(first, 6) << id;
        }
        EXPECT_EQ(box.FindWindow(CAboutDialog::VersionId)->GetLabel(), "Version 1.6.240517");
        clickOn(box, CAboutDialog::OkId);
    });
    for (int key : {WXK_RETURN, WXK_ESCAPE}) {
        SCOPED_TRACE(key);
        runWith([key](CAboutDialog& box) {
            ASSERT_TRUE(waitActive(box));
            pressKey(key);
        });
    }
}

} // namespace
