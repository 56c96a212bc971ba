#pragma once

// An application in a test: its own program folder (config.ini, sounds), user folder,
// runtime and registry folders, a recording user interface, probe modules and a
// user-interface loop; and frames made from hand-written bytes.

#include "core/Diagnostics.h"
#include "core/app/ClientApp.h"
#include "tests/core/FrameFixtures.h"
#include "tests/core/RecordingUi.h"
#include "tests/core/UiLoop.h"
#include "tests/foundation/TempDirectory.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace orvane::testing {

// Diagnostics of the code under test, collected so that a test can fail on them.
class DiagnosticRecorder {
public:
    DiagnosticRecorder()
    {
        clear();
        previous_ = setDiagnosticHook(record);
    }
    ~DiagnosticRecorder() { setDiagnosticHook(previous_); }

    static std::vector<std::string> lines()
    {
        std::lock_guard<std::mutex> guard(lock());
        return store();
    }
    static void clear()
    {
        std::lock_guard<std::mutex> guard(lock());
        store().clear();
    }

private:
    static void record(const char* text)
    {
        std::lock_guard<std::mutex> guard(lock());
        store().push_back(text);
    }
    static std::mutex& lock()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& store()
    {
        static std::vector<std::string> s;
        return s;
    }

    DiagnosticHook previous_;
};

// The folders of one client.
struct ClientFolders {
    TempDirectory root;
    std::string programFolder = root / "program";
    std::string configHome = root / "config";
    std::string runtimeDir = root / "runtime";
    std::string registryDir = root / "registry";

    explicit ClientFolders(const std::string& serverUrl = "http://127.0.0.1:1/")
    {
        for (const std::string& dir : {programFolder, configHome, runtimeDir, registryDir, programFolder + "/sounds"})
            ::mkdir(dir.c_str(), 0700);
        for (const char* sound : {"online.wav", "offline.wav", "warning.wav"})
            writeBytes(programFolder + "/sounds/" + sound, "RIFF");
        setServerUrl(serverUrl);
    }

    void setServerUrl(const std::string& url)
    {
        writeBytes(programFolder + "/config.ini",
                   "<xml><server><server_url>" + url + "</server_url></server></xml>");
    }

    // The installation's account.ini (read while the per-user one is missing).
    void writeAccount(const std::string& userName, const std::string& password, const std::string& extra = "")
    {
        writeBytes(programFolder + "/account.ini",
                   "<xml><server><username>" + userName + "</username><password>" +
                       std::string(AccountSettings::encodePassword(password.c_str()).c_str()) +
                       "</password><auto_proxy>no</auto_proxy>" + extra + "</server></xml>");
    }
};

// One application on its own loop, not started.
struct TestClient {
    // ringOutput: what the ring plays through; NULL leaves the process's player.
    // adjust: changes to the options before the application is made.
    explicit TestClient(ClientFolders& folders, std::vector<std::string> moduleIds = {"probe"},
                        SoundOutput* ringOutput = nullptr,
                        const std::function<void(ClientAppOptions&)>& adjust = nullptr)
        : runtime("ORVANE_RUNTIME_DIR", folders.runtimeDir.c_str()),
          registry("ORVANE_REGISTRY_DIR", folders.registryDir.c_str())
    {
        ClientAppOptions options;
        options.programFolder = (folders.programFolder + "/").c_str();
        options.configHome = folders.configHome.c_str();
        options.ringOutput = ringOutput;
        if (adjust)
            adjust(options);
        app = std::make_unique<ClientApp>(ui, loop, options);
        for (const std::string& id : moduleIds)
            addModule<ProbeModule>(id);
        loop.attach(app.get());
    }

    // A built-in module of the client, registered at start-up after those before it.
    template <class Module>
    Module* addModule(const std::string& id)
    {
        auto module = std::make_unique<Module>(log, id);
        Module* raw = module.get();
        modules.push_back(std::move(module));
        std::vector<IModule*> builtins;
        for (const auto& m : modules)
            builtins.push_back(m.get());
        app->setBuiltinModules(builtins);
        return raw;
    }

    ~TestClient()
    {
        if (started)
            loop.runSync([this] { app->exitInstance(); });
        loop.attach(nullptr);
        loop.stop();
        app.reset();
    }

    bool start()
    {
        started = loop.runSync([this] { return app->initInstance(); });
        return started;
    }

    // Runs on the user-interface thread and waits.
    template <class F>
    auto onUi(F action)
    {
        return loop.runSync(std::move(action));
    }

    ScopedEnv runtime;
    ScopedEnv registry;
    LineLog log;
    RecordingUi ui{log};
    UiLoop loop;
    std::vector<std::unique_ptr<ProbeModule>> modules;
    std::unique_ptr<ClientApp> app;
    bool started = false;
};

// A received frame: the bytes read by a frame reader, as the connection thread would.
inline Message receivedFrame(uint8_t type, uint64_t sender, const std::string& body, uint64_t recipient = 7)
{
    const std::string bytes = frameHeader(type, recipient, sender, body.size()) + body;
    ByteBufferSource source(bytes.data(), static_cast<int>(bytes.size()));
    Message frame(250);
    frame.setSource(&source);
    frame.read();
    frame.setSource(nullptr);
    return frame;
}

// A 16-byte presence record written out by hand.
inline std::string presenceRecord(uint64_t id, uint8_t status, const std::string& address4, uint16_t port)
{
    std::string r;
    for (int shift = 56; shift >= 0; shift -= 8)
        r += static_cast<char>((id >> shift) & 0xff);
    r += static_cast<char>(status);
    r += address4;
    r += static_cast<char>(port >> 8);
    r += static_cast<char>(port & 0xff);
    r += '\0';
    return r;
}

// A presence body: the announced byte length of the records (16 bits), then the records.
inline std::string presenceBody(uint16_t announced, const std::string& records)
{
    std::string b;
    b += static_cast<char>(announced >> 8);
    b += static_cast<char>(announced & 0xff);
    return b + records;
}

} // namespace orvane::testing
