// Two Orvane programs against a real orvane-server on one desktop, each playing and
// recording through a PulseAudio server of its own: alice selects bob and presses Talk on
// her call bar, bob's bar rings (and so does his speaker), bob presses Talk, a tone into
// each microphone comes out of the other's speaker, and one side hangs up. Everything is
// done with real clicks; what the bars' status labels show is read from the trace each
// program writes of them (ORVANE_STATE_TRACE), in the order they showed it.

#include "tests/core/ClientTestSupport.h"
#include "tests/server/ServerProcess.h"
#include "tests/ui/DesktopSession.h"
#include "tests/ui/ProgramWindows.h"
#include "tests/ui/ScreenProbe.h"
#include "tests/support/PulseServer.h"
#include "tests/voice/SoundSignals.h"
#include "ui/DialogUnits.h"

#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/panel.h>
#include <wx/uiaction.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

constexpr auto CallWait = std::chrono::seconds(20);

uint32_t pixelAt(const wxImage& image, int x, int y)
{
    return static_cast<uint32_t>(image.GetRed(x, y)) << 16 | static_cast<uint32_t>(image.GetGreen(x, y)) << 8 |
           image.GetBlue(x, y);
}

XWindowId windowTitled(pid_t pid, const std::string& title)
{
    for (XWindowId w : windowsOfProcess(pid))
        if (windowTitle(w) == title && windowShown(w) == WindowShown::Shown)
            return w;
    return 0;
}

wxImage shotOf(XWindowId window)
{
    const WindowRect r = windowRect(window);
    return screenImage(wxRect(r.x, r.y, r.width, r.height));
}

std::vector<int16_t> samplesOf(const std::string& bytes)
{
    std::vector<int16_t> out(bytes.size() / 2);
    if (!out.empty())
        std::memcpy(out.data(), bytes.data(), out.size() * 2);
    return out;
}

// A RIFF/WAVE file of 16-bit mono samples at 8000 a second, written out by hand.
std::string waveOf(const std::vector<int16_t>& samples)
{
    auto le32 = [](uint32_t v) { return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; };
    const std::string data = bytesOfSamples(samples);
    return "RIFF" + le32(static_cast<uint32_t>(36 + data.size())) + "WAVEfmt " + le32(16) +
           std::string{1, 0, 1, 0} + le32(8000) + le32(16000) + std::string{2, 0, 16, 0} + "data" +
           le32(static_cast<uint32_t>(data.size())) + data;
}

// Where the call bar's controls are, from the bottom-left corner of the main window's
// client: the bar's places in dialog units of its font, measured here in the same font.
struct BarPlaces {
    wxRect talk, hangUp, status;
    int height = 0;
};

BarPlaces barPlaces(wxWindow& panel)
{
    const DialogUnits units = DialogUnits::of(panel);
    auto rect = [&](int x, int y, int w, int h) {
        return wxRect(units.toPixels(wxPoint(x, y)), units.toPixels(wxSize(w, h)));
    };
    BarPlaces places;
    places.talk = rect(4, 26, 25, 22);
    places.hangUp = rect(97, 26, 25, 22);
    places.status = rect(4, 64, 120, 10);
    places.height = units.toPixelsY(78);
    return places;
}

// One program's folders, sound server and process.
struct Side {
    Side(const std::string& user, const std::string& serverUrl) : name(user), folders(serverUrl)
    {
        folders.writeAccount(user, user + "-pw");
        // A ring that is easy to hear: a second of 1 kHz.
        writeBytes(folders.programFolder + "/sounds/ring.wav", waveOf(voiceLikeTone(8000, 1000)));
    }

    // Starts the sound server, then the program with it (the sound server's environment is
    // the one in force while the program starts).
    bool start()
    {
        sound = std::make_unique<PulseServer>();
        if (!sound->start())
            return false;
        ScopedEnv config("XDG_CONFIG_HOME", folders.configHome.c_str());
        ScopedEnv program("ORVANE_PROGRAM_DIR", folders.programFolder.c_str());
        ScopedEnv runtime("ORVANE_RUNTIME_DIR", folders.runtimeDir.c_str());
        ScopedEnv registry("ORVANE_REGISTRY_DIR", folders.registryDir.c_str());
        ScopedEnv device("ORVANE_AUDIO_DEVICE", "alsa:pulse");
        ScopedEnv input("ORVANE_AUDIO_INPUT", nullptr);
        ScopedEnv asan("ASAN_OPTIONS", "detect_leaks=0");
        ScopedEnv trace("ORVANE_STATE_TRACE", (folders.root / "state.log").c_str());
        return process.start({ORVANE_PROGRAM}, folders.root / "program.log");
    }

    std::string log() const { return readBytes(folders.root / "program.log"); }
    std::string states() const { return readBytes(folders.root / "state.log"); }

    // Whether the call bar's status label has shown `text` since the last text found; finding
    // it moves past it.
    bool showed(const std::string& text)
    {
        const std::string all = states();
        const std::string line = "call status: " + text + "\n";
        const size_t at = all.find(line, seen);
        if (at == std::string::npos)
            return false;
        seen = at + line.size();
        return true;
    }

    std::string name;
    ClientFolders folders;
    std::unique_ptr<PulseServer> sound;
    PeerProcess process;
    XWindowId main = 0;
    size_t seen = 0; // how far showed() has read the trace
};

class VoiceCallWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop.ok());
        // alice and bob list each other.
        ASSERT_TRUE(server.start({"--database", database, "--http", "127.0.0.1:0", "--message", "127.0.0.1:0",
                                  "--hash-cost", "1", "--account", "alice:alice-pw", "--account", "bob:bob-pw"}));
        const std::string url = "http://127.0.0.1:" + std::to_string(server.httpPort()) + "/";
        alice = std::make_unique<Side>("alice", url);
        bob = std::make_unique<Side>("bob", url);
        // A window of the bar's font, to measure the bar with.
        frame = new wxFrame(nullptr, wxID_ANY, "probe");
        panel = new wxPanel(frame);
        panel->SetFont(DialogUnits::dialogFont());
        places = barPlaces(*panel);
    }

    void TearDown() override
    {
        if (frame)
            frame->Destroy();
    }

    // The main window's client rectangle from the bar's corner.
    wxRect onBar(const Side& side, const wxRect& place) const
    {
        const WindowRect r = windowRect(side.main);
        return wxRect(r.x + place.x, r.y + r.height - places.height + place.y, place.width, place.height);
    }

    void click(const Side& side, const wxRect& place)
    {
        const wxRect at = onBar(side, place);
        wxUIActionSimulator mouse;
        mouse.MouseMove(at.x + at.width / 2, at.y + at.height / 2);
        mouse.MouseClick();
    }

    // Waits until the side's status label has shown `text`, after what it showed before.
    void expectStatus(Side& side, const std::string& text)
    {
        if (!waitUntil([&] { return side.showed(text); }, CallWait)) {
            ADD_FAILURE() << side.name << "'s status never showed \"" << text << "\"; it showed:\n"
                          << side.states().substr(side.seen) << "the program's output:\n"
                          << side.log();
        }
    }

    // Plays a tone into the speaker side's microphone and answers how well the listener's
    // speaker carried it (the best correlation past the burst's start).
    double heard(Side& speaker, Side& listener, double hz)
    {
        const std::vector<int16_t> tone = voiceLikeTone(12000, hz);
        std::vector<int16_t> played(2000, 0);
        played.insert(played.end(), tone.begin(), tone.end());
        played.insert(played.end(), 2000, 0);
        if (!listener.sound->recordSpeaker() || !speaker.sound->playIntoMic(bytesOfSamples(played)))
            return 0;
        const std::string file = listener.sound->folder() / "speaker.raw";
        waitUntil([&] { return readBytes(file).size() >= played.size() * 2 + 16000; }, std::chrono::seconds(10));
        const std::vector<int16_t> got = samplesOf(listener.sound->stopSpeakerRecording());
        const long onset = onsetOf(got);
        return onset < 0 ? 0 : toneCarried(tone, got, static_cast<size_t>(onset));
    }

    DesktopSession desktop;
    TempDirectory dir;
    std::string database = dir / "accounts.db";
    ServerProcess server;
    std::unique_ptr<Side> alice, bob;
    wxFrame* frame = nullptr;
    wxPanel* panel = nullptr;
    BarPlaces places;
};

// The box around the pixels of the area that pass the test; empty when none does.
wxRect boxWhere(const wxImage& image, const wxRect& area, const std::function<bool(uint32_t)>& test)
{
    wxRect box;
    for (int y = area.y; y < area.GetBottom() && y < image.GetHeight(); ++y)
        for (int x = area.x; x < area.GetRight() && x < image.GetWidth(); ++x)
            if (test(pixelAt(image, x, y)))
                box = box.IsEmpty() ? wxRect(x, y, 1, 1) : box.Union(wxRect(x, y, 1, 1));
    return box;
}

TEST_F(VoiceCallWindows, AliceCallsBobWhoAnswersTheyHearEachOtherAndHangUp)
{
    ASSERT_TRUE(alice->start());
    ASSERT_TRUE(bob->start());
    ASSERT_TRUE(waitUntil([&] {
        alice->main = windowTitled(alice->process.pid(), "alice - Orvane");
        bob->main = windowTitled(bob->process.pid(), "bob - Orvane");
        return alice->main && bob->main;
    }, std::chrono::seconds(30))) << alice->log() << bob->log();
    askToMove(alice->main, 0, 0);
    askToMove(bob->main, 640, 0);
    askToActivate(alice->main);

    // bob online in alice's tree: his green figure. Both windows must have moved first: a
    // loaded window manager may still have bob's where alice's is, and the clicks meant
    // for alice's window would reach his. And both must have their size (a column 550 high),
    // or the bar's places would not be where the clicks go.
    const auto placed = [](const Side& side, int leftAtLeast, int leftAtMost) {
        const WindowRect r = windowRect(side.main);
        return r.x >= leftAtLeast && r.x <= leftAtMost && r.height >= 500;
    };
    wxRect figure;
    ASSERT_TRUE(waitUntil([&] {
        const wxImage shot = shotOf(alice->main);
        if (!shot.IsOk() || !placed(*alice, 0, 100) || !placed(*bob, 540, 100000))
            return false;
        figure = boxWhere(shot, wxRect(0, 0, shot.GetWidth() / 2, 120),
                          [](uint32_t p) { return (p >> 8 & 0xFF) > 140 && (p >> 16) < 110 && (p & 0xFF) < 110; });
        return !figure.IsEmpty();
    }, std::chrono::seconds(30))) << "alice's output:\n" << alice->log();
    if (const char* artifacts = std::getenv("ORVANE_ARTIFACTS_DIR"))
        shotOf(alice->main).SaveFile(wxString(artifacts) + "/e2e-voice-alice.png", wxBITMAP_TYPE_PNG);

    // bob selected, then Talk: Talk follows the selection, so a click that came before it
    // was enabled is made again.
    const WindowRect main = windowRect(alice->main);
    wxUIActionSimulator mouse;
    for (int attempt = 0; attempt < 5; ++attempt) {
        mouse.MouseMove(main.x + figure.x + figure.width / 2, main.y + figure.y + figure.height / 2);
        mouse.MouseClick();
        click(*alice, places.talk);
        if (waitUntil([&] { return alice->showed("Calling bob ..."); }, std::chrono::seconds(3)))
            break;
    }
    EXPECT_TRUE(alice->seen > 0) << "alice's status never showed \"Calling bob ...\"; it showed:\n"
                                 << alice->states() << "the program's output:\n" << alice->log();

    // bob's side rings: the bar says who calls, and the ring comes out of his speaker.
    ASSERT_TRUE(bob->sound->recordSpeaker());
    expectStatus(*bob, "Call from alice");
    const std::string ringFile = bob->sound->folder() / "speaker.raw";
    EXPECT_TRUE(waitUntil([&] {
        const std::vector<int16_t> s = samplesOf(readBytes(ringFile));
        for (size_t i = 0; i + 240 <= s.size(); i += 240)
            if (rms(s.data() + i, 240) > 1000)
                return true;
        return false;
    }, std::chrono::seconds(10))) << "no ring from bob's speaker";
    bob->sound->stopSpeakerRecording();

    click(*bob, places.talk);
    expectStatus(*bob, "Connected.");
    expectStatus(*alice, "Connected.");

    EXPECT_GT(heard(*alice, *bob, 300), 0.6) << "alice to bob";
    EXPECT_GT(heard(*bob, *alice, 450), 0.6) << "bob to alice";

    // bob hangs up: his side says so, alice's bar follows.
    click(*bob, places.hangUp);
    expectStatus(*bob, "Call closed.");
    expectStatus(*alice, "Call closed.");
}

} // namespace
