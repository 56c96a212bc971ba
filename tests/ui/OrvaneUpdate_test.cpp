// The self-update from end to end: a copy of the program in a folder of its own, signed in
// against the stand-in server, learns from nginx on loopback of a newer version; the test
// answers its box as a person would; the update program it carries replaces the copy with
// the file nginx serves and starts it. The new "program" is a script that leaves a mark.

#include "foundation/ApplicationIPC.h"
#include "tests/core/ClientTestSupport.h"
#include "tests/network/NginxServer.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/updater/UpdateFixtures.h"

#include <gtest/gtest.h>
#include <wx/uiaction.h>

#include <memory>
#include <string>
#include <sys/stat.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

const std::string NewProgram = "#!/bin/sh\necho new > \"$0.ran.part\" && mv \"$0.ran.part\" \"$0.ran\"\n";

std::string record(const char* mandatory)
{
    return std::string("<autoupdate><mandatory>") + mandatory +
           "</mandatory><version>1.7</version><url>@URL@</url><local_file>orvane</local_file></autoupdate>";
}

class OrvaneUpdate : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        ASSERT_TRUE(nginx.ok());
        ASSERT_TRUE(server.start({"--in-memory", "--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--hash-cost",
                                  "1", "--account", "alice:alice-pw"}));
        folders = std::make_unique<ClientFolders>("http://127.0.0.1:" + std::to_string(server.httpPort()) + "/");
        folders->writeAccount("alice", "alice-pw");
        ::mkdir((nginx.documentRoot() + "/autoupdate").c_str(), 0755);
        nginx.putFile("new-orvane", NewProgram);
        // The program is a copy: the build's own file is never replaced.
        program = folders->programFolder + "/orvane";
        original = readBytes(ORVANE_PROGRAM);
        writeBytes(program, original, 0755);
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_PROGRAM_DIR", folders->programFolder.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", folders->configHome.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_RUNTIME_DIR", folders->runtimeDir.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_REGISTRY_DIR", folders->registryDir.c_str()));
        env.emplace_back(std::make_unique<ScopedEnv>("ASAN_OPTIONS", "detect_leaks=0"));
        // No sound device: a machine without sound would show the voice engine's box.
        env.emplace_back(std::make_unique<ScopedEnv>("ORVANE_AUDIO_DEVICE", "none"));
        env.emplace_back(
            std::make_unique<ScopedEnv>("ORVANE_UPDATE_URL", nginx.url("/autoupdate/version.xml").c_str()));
    }

    void TearDown() override
    {
        // The update program ends by itself once it has started the new file.
        EXPECT_TRUE(waitUntil([] { return !ApplicationIPC::isRunning("Orvane_Updater"); }, std::chrono::seconds(20)));
    }

    void serve(const char* mandatory)
    {
        std::string text = record(mandatory);
        text.replace(text.find("@URL@"), 5, nginx.url("/new-orvane"));
        nginx.putFile("autoupdate/version.xml", text);
    }

    // The program's box on the screen: a dialog window titled as the program; 0 for none.
    static XWindowId shownBox(pid_t pid)
    {
        for (XWindowId w : windowsOfProcess(pid))
            if (windowTitle(w) == "Orvane" && windowIsDialog(w) && windowShown(w) == WindowShown::Shown)
                return w;
        return 0;
    }

    // Starts the copy of the program with the record served and waits for its box.
    XWindowId startAndWaitForBox(PeerProcess& running, const char* mandatory)
    {
        serve(mandatory);
        if (!running.start({program}, folders->root / "orvane.log"))
            return 0;
        XWindowId box = 0;
        const bool shown = waitUntil([&] { return (box = shownBox(running.pid())) != 0; }, std::chrono::seconds(30));
        EXPECT_TRUE(shown) << "no box; the program's output:\n" << readBytes(folders->root / "orvane.log");
        return box;
    }

    // Presses the button of that mnemonic in the box, as a person would with the keyboard.
    void press(XWindowId box, char mnemonic)
    {
        askToActivate(box);
        ASSERT_TRUE(waitUntil([&] { return activeWindow() == box; })) << "the box has the focus";
        wxUIActionSimulator keys;
        keys.Char(mnemonic, wxMOD_ALT);
    }

    // The program has ended for the update, the update program replaced the copy with the new
    // file and started it.
    void expectUpdated(PeerProcess& running)
    {
        ASSERT_TRUE(waitUntil([&] { return !running.running(); }, std::chrono::seconds(20)));
        EXPECT_TRUE(running.exitedCleanly());
        const std::string updater = folders->programFolder + "/orvane-updater";
        EXPECT_EQ(readBytes(updater), readBytes(ORVANE_UPDATER_PROGRAM)) << "the carried update program";
        ASSERT_TRUE(waitUntil([&] { return fileExists(program + ".ran"); }, std::chrono::seconds(30)))
            << "the new program ran; the program's output:\n"
            << readBytes(folders->root / "orvane.log");
        EXPECT_EQ(readBytes(program + ".ran"), "new\n");
        EXPECT_EQ(readBytes(program), NewProgram);
        EXPECT_NE(nginx.accessLog().find("GET /new-orvane 200"), std::string::npos) << nginx.accessLog();
    }

    DesktopSession desktop;
    NginxServer nginx{""};
    ServerProcess server;
    std::unique_ptr<ClientFolders> folders;
    std::vector<std::unique_ptr<ScopedEnv>> env;
    std::string program;
    std::string original;
};

} // namespace

TEST_F(OrvaneUpdate, YesEndsTheProgramAndTheUpdateProgramPutsTheNewOneInItsPlaceAndStartsIt)
{
    PeerProcess running;
    const XWindowId box = startAndWaitForBox(running, "no");
    ASSERT_NE(box, 0u);
    press(box, 'y');
    expectUpdated(running);
}

TEST_F(OrvaneUpdate, NoLeavesTheProgramRunningAndItsFileAsItWas)
{
    PeerProcess running;
    const XWindowId box = startAndWaitForBox(running, "no");
    ASSERT_NE(box, 0u);
    press(box, 'n');
    ASSERT_TRUE(waitUntil([&] { return shownBox(running.pid()) == 0; })) << "the box went";
    EXPECT_TRUE(running.running());
    bool mainWindowShown = false;
    for (XWindowId w : windowsOfProcess(running.pid()))
        mainWindowShown |= windowTitle(w) == "alice - Orvane" && windowShown(w) == WindowShown::Shown;
    EXPECT_TRUE(mainWindowShown);
    EXPECT_FALSE(fileExists(folders->programFolder + "/orvane-updater"));
    EXPECT_EQ(readBytes(program), original);
    EXPECT_EQ(nginx.accessLog().find("new-orvane"), std::string::npos) << nginx.accessLog();
}

TEST_F(OrvaneUpdate, AMandatoryUpdateGoesAheadHoweverItsBoxIsDismissed)
{
    PeerProcess running;
    const XWindowId box = startAndWaitForBox(running, "Yes");
    ASSERT_NE(box, 0u);
    // Closing a question would answer No; this box only tells.
    askToClose(box);
    expectUpdated(running);
}
