// orvane-headless: one whole client without windows, for end-to-end tests. It starts the
// application with a recording user interface and probe modules, prints every call to the
// user interface and to the modules as one line on standard output, and reads commands
// from standard input, one per line:
//
//   sign-in | sign-out | contacts | quit
//   whoami                                    own id, name, advertised address:tcp/udp ports
//   sockets                                   the number of open TCP sockets
//   send MODULE USER DATA...                  a module message through the module's host
//   session MODULE USER SESSION yes|no DATA... a session message (yes: may wait offline)
//   add NAME | remove USER                    the contact commands
//   act MODULE USER                           the module acts on the contact (its action)
//   system USER COMMAND [NAME=VALUE...]       a message of the system module
//   open tcp|udp MODULE USER                  the module opens a channel to the user (its
//                                             own thread; "open-failed" when none comes)
//   channel-send N BYTES SEED | channel-close N   what a channel does (ChannelTable.h)
//   talk USER | hang-up                       the call bar's Talk (USER selected) and Hang-up
//   voice-stats                               the session thread's counters
//
// With the voice module, each channel handed to it is reported as "voice-channel udp
// relay|direct ADDRESS:PORT" (or "voice-channel tcp ADDRESS:PORT") before it takes it.
//
// Each command is run on the user-interface thread and answered by "done VERB". End of
// input quits. Options:
//
//   --program-folder DIR   config.ini, account.ini and sounds/ (default: beside this program)
//   --config-home DIR      the user's configuration folder (the per-user account.ini)
//   --runtime-dir DIR      the single-instance lock's folder
//   --registry-dir DIR     the registry store's folder
//   --module ID            a probe module with this id (repeatable; default "probe")
//   --sign-in-wait-ms N    how long the link waits for the server's sign-in confirmation
//   --voice yes            the voice module, registered first, with a printing call bar
//                          (tests/voice/TextCallBar.h) and its session thread on the sound devices
//                          ORVANE_AUDIO_DEVICE and ORVANE_AUDIO_INPUT choose
#include "core/Diagnostics.h"
#include "core/app/ClientApp.h"
#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"
#include "tests/core/RecordingUi.h"
#include "tests/core/UiLoop.h"
#include "tests/core/headless/ChannelTable.h"
#include "tests/voice/TextCallBar.h"
#include "core/app/ThreadMessages.h"
#include "voice/AppVoiceServices.h"
#include "voice/VoiceSessionRunner.h"
#include "core/channels/TcpModuleConnection.h"
#include "core/channels/UdpChannel.h"

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::mutex outputLock;

void printLine(const std::string& line)
{
    std::lock_guard<std::mutex> guard(outputLock);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printDiagnostic(const char* text)
{
    printLine(std::string("diagnostic ") + oneLine(text));
}

// Open TCP connections of this process, for the tests that check none is left open
// (the datagram socket of the channels stays open for the program's life).
int countTcpSockets()
{
    std::set<std::string> tcpInodes;
    for (const char* table : {"/proc/self/net/tcp", "/proc/self/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string field;
            std::string state;
            // The state is the fourth field, the inode the tenth; listening sockets (state
            // 0A, the peer connections' server) are no connections.
            for (int i = 0; i < 10 && fields >> field; ++i)
                if (i == 3)
                    state = field;
            if (state != "0A")
                tcpInodes.insert(field);
        }
    }
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = ::readdir(dir)) {
        char target[64];
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = 0;
        const std::string link = target;
        if (link.rfind("socket:[", 0) == 0 && tcpInodes.count(link.substr(8, link.size() - 9)))
            ++count;
    }
    ::closedir(dir);
    return count;
}

std::string restOf(std::istringstream& in)
{
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ')
        rest.erase(0, 1);
    return rest;
}

// Where a channel leads, as address:port.
std::string peerOf(IModuleConnection* connection, bool datagrams)
{
    SocketAddress address = datagrams ? static_cast<UdpChannel*>(connection)->peerAddress()
                                      : getPeerAddress(static_cast<TcpModuleConnection*>(connection)->socket());
    return std::string(address.getHostAddress().c_str()) + ":" + std::to_string(address.getPort());
}

// The voice module, telling which way each call's channel came before the call takes it
// ("voice-channel udp relay 10.0.0.1:40000").
class PrintingVoiceModule final : public VoiceModule {
public:
    using VoiceModule::VoiceModule;

    void onIncomingConnection(IContact* contact, IModuleConnection* connection) override
    {
        if (auto* channel = dynamic_cast<UdpChannel*>(connection))
            printLine(std::string("voice-channel udp ") + (channel->relayConnectionId.load() ? "relay " : "direct ") +
                      peerOf(connection, true));
        else if (connection)
            printLine("voice-channel tcp " + peerOf(connection, false));
        VoiceModule::onIncomingConnection(contact, connection);
    }
};

struct Client {
    LineLog log;
    RecordingUi ui{log};
    UiLoop loop;
    std::vector<std::unique_ptr<ProbeModule>> modules;
    std::unique_ptr<ClientApp> app;
    ChannelTable channels{printLine};
    // Openings block on threads of their own, as a module's worker would.
    std::vector<std::thread> openers;
    std::unique_ptr<AppVoiceServices> voiceServices;
    std::unique_ptr<VoiceModule> voice;
    std::unique_ptr<VoiceSessionRunner> sessions;
    std::unique_ptr<TextCallBar> callBar;
    IContact* selected = nullptr;

    void addVoice()
    {
        voiceServices = std::make_unique<AppVoiceServices>(*app, loop);
        voice = std::make_unique<PrintingVoiceModule>(*voiceServices);
        VoiceSessionThread::Settings settings;
        // The program's message boxes, as the program shows them (a "box" line).
        settings.showError = [this](const char* text) { app->ui().showMessageBox(text, ClientUi::Icon::None); };
        settings.showOnlineStatus = [this] { app->showOnlineStatus(); };
        sessions = std::make_unique<VoiceSessionRunner>(
            loop, [this] { return voice->host(); }, [this](const char* text) { app->setStatusText(text); },
            std::move(settings));
        voice->setSession(sessions.get());
        callBar = std::make_unique<TextCallBar>(*voice, printLine, "call-", true);
        voice->attachBar(callBar.get());
        voice->setContactSource([this] { return selected; });
        ui.windowMessages = [this](int id, intptr_t wParam, intptr_t) {
            const auto call = static_cast<unsigned>(wParam);
            if (id == ThreadMessage::VoiceStarted)
                voice->onSessionConnected(call);
            else if (id == ThreadMessage::VoiceEnded)
                voice->onSessionEnded(call);
            else if (id == ThreadMessage::VoiceFailed)
                voice->onSessionFailed(call);
        };
    }

    void open(bool datagrams, const std::string& moduleId, const std::string& user)
    {
        const int index = app->findModuleIndex(moduleId.c_str());
        ModuleEntry* entry = app->getModuleEntry(index);
        if (!entry) {
            printLine("error no module " + moduleId);
            return;
        }
        openers.emplace_back([this, entry, datagrams, user] {
            const char* kind = datagrams ? "udp" : "tcp";
            IModuleConnection* connection = datagrams ? entry->host.openUdpConnection(user.c_str())
                                                      : entry->host.openTcpConnection(user.c_str());
            if (!connection) {
                printLine(std::string("open-failed ") + kind);
                return;
            }
            const std::string how =
                datagrams ? (static_cast<UdpChannel*>(connection)->relayConnectionId.load() ? "relay" : "direct")
                          : tcpPathName(app->systemModule().tcpConnector().lastPath());
            channels.add(connection, datagrams, how, peerOf(connection, datagrams));
        });
    }

    void finish()
    {
        if (voice) {
            voice->stopSession();
            voice->setSession(nullptr);
        }
        for (std::thread& opener : openers)
            opener.join();
        channels.closeAll();
    }

    ProbeModule* module(const std::string& id)
    {
        for (auto& module : modules)
            if (module->getId() == id)
                return module.get();
        return nullptr;
    }

    // Runs on the user-interface thread.
    void command(const std::string& line)
    {
        std::istringstream in(line);
        std::string verb;
        in >> verb;
        if (verb == "sign-in") {
            app->signIn();
        } else if (verb == "sign-out") {
            app->signOut();
        } else if (verb == "contacts") {
            MonitorLock guard(app->lock());
            for (int i = 0; i < app->getContactCount(); ++i) {
                ContactRecord* contact = app->getContactAt(i);
                printLine("contact " + std::string(contact->id.c_str()) + " " + oneLine(contact->userName) +
                          " listed=" + (contact->listed ? "1" : "0") + " status=" + std::to_string(contact->status));
            }
        } else if (verb == "whoami") {
            const AdvertisedEndpoint::Value advertised = app->advertised().get();
            printLine("own-user " + std::string(app->ownUser().id.c_str()) + " " + oneLine(app->ownUser().userName) +
                      " advertised " + advertised.address.c_str() + ":" + std::to_string(advertised.tcpPort) + "/" +
                      std::to_string(advertised.udpPort) + (advertised.manualSettings ? " manual" : " automatic"));
        } else if (verb == "sockets") {
            printLine("sockets " + std::to_string(countTcpSockets()));
        } else if (verb == "send" || verb == "session") {
            std::string moduleId, user, session, offline;
            in >> moduleId >> user;
            if (verb == "session")
                in >> session >> offline;
            const std::string data = restOf(in);
            ProbeModule* probe = module(moduleId);
            if (!probe) {
                printLine("error no module " + moduleId);
            } else if (verb == "send") {
                probe->host()->send(user.c_str(), data.c_str());
            } else {
                probe->host()->sendSession(session.c_str(), user.c_str(), data.c_str(), offline == "yes");
            }
        } else if (verb == "system") {
            // A message of the system module, one field "command" and the rest name=value.
            std::string user, command;
            in >> user >> command;
            XmlNode message;
            message.addChild("command", command.c_str());
            for (std::string field; in >> field;) {
                const size_t eq = field.find('=');
                message.addChild(field.substr(0, eq).c_str(), eq == std::string::npos ? "" : field.substr(eq + 1).c_str());
            }
            app->systemModule().sendToUser(parseUInt64(user.c_str()), message);
        } else if (verb == "act") {
            std::string moduleId, user;
            in >> moduleId >> user;
            app->actOnContact(app->findModuleIndex(moduleId.c_str()), app->getContact(user.c_str()));
        } else if (verb == "open") {
            std::string kind, moduleId, user;
            in >> kind >> moduleId >> user;
            open(kind == "udp", moduleId, user);
        } else if (verb == "channel-send") {
            int number = 0;
            size_t bytes = 0;
            uint32_t seed = 1;
            in >> number >> bytes >> seed;
            if (!channels.send(number, bytes, seed))
                printLine("error no channel " + std::to_string(number));
        } else if (verb == "channel-close") {
            int number = 0;
            in >> number;
            if (!channels.close(number))
                printLine("error no channel " + std::to_string(number));
        } else if (verb == "talk" && voice) {
            std::string user;
            in >> user;
            selected = app->findContact(user.c_str());
            callBar->talk();
        } else if (verb == "hang-up" && voice) {
            callBar->hangUp();
        } else if (verb == "voice-stats" && voice) {
            VoiceSessionThread* thread = sessions->thread();
            SoundPlayer* player = thread ? thread->engine().player(thread->channel()) : nullptr;
            printLine("voice-stats sent " + std::to_string(thread ? thread->framesSent() : 0) + " played " +
                      std::to_string(thread ? thread->framesPlayed() : 0) + " refused " +
                      std::to_string(thread ? thread->datagramsRefused() : 0) + " trimmed " +
                      std::to_string(player ? player->trimmedFrames() : 0) + " skipped " +
                      std::to_string(thread ? thread->engine().recorder().skippedBuffers() : 0));
        } else if (verb == "add") {
            app->connection().sendAddContact(restOf(in).c_str());
        } else if (verb == "remove") {
            app->connection().sendRemoveContact(restOf(in).c_str());
        } else {
            printLine("error unknown command " + verb);
            return;
        }
        printLine("done " + verb);
    }
};

} // namespace

int main(int argc, char** argv)
{
    ClientAppOptions options;
    std::vector<std::string> moduleIds;
    int signInWaitMs = -1;
    bool withVoice = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "orvane-headless: %s needs a value\n", option.c_str());
            return 2;
        }
        const char* value = argv[++i];
        if (option == "--program-folder") {
            options.programFolder = value;
            if (!options.programFolder.endsWith("/"))
                options.programFolder += "/";
        } else if (option == "--config-home") {
            options.configHome = value;
        } else if (option == "--runtime-dir") {
            ::setenv("ORVANE_RUNTIME_DIR", value, 1);
        } else if (option == "--registry-dir") {
            ::setenv("ORVANE_REGISTRY_DIR", value, 1);
        } else if (option == "--module") {
            moduleIds.push_back(value);
        } else if (option == "--voice") {
            withVoice = std::string(value) == "yes";
        } else if (option == "--sign-in-wait-ms") {
            signInWaitMs = std::atoi(value);
        } else {
            std::fprintf(stderr, "orvane-headless: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    if (moduleIds.empty() && !withVoice)
        moduleIds.push_back("probe");

    setDiagnosticHook(printDiagnostic);
    Client client;
    client.log.setSink(printLine);
    client.app = std::make_unique<ClientApp>(client.ui, client.loop, options);
    if (signInWaitMs > 0)
        client.app->connection().timing.signInReplyTimeoutMs = signInWaitMs;
    std::vector<IModule*> builtins;
    if (withVoice) {
        client.addVoice();
        builtins.push_back(client.voice.get());
    }
    for (const std::string& id : moduleIds) {
        client.modules.push_back(std::make_unique<ProbeModule>(client.log, id));
        // Channels handed to a probe module are kept and reported.
        client.modules.back()->takeConnection = [&client](IContact*, IModuleConnection* connection) {
            const bool datagrams = dynamic_cast<UdpChannel*>(connection) != nullptr;
            client.channels.add(connection, datagrams, "incoming", peerOf(connection, datagrams));
        };
        builtins.push_back(client.modules.back().get());
    }
    client.app->setBuiltinModules(builtins);
    // The system module's commands are printed as they arrive ("system-command NAME SENDER
    // FIELD=VALUE..."), then handled.
    for (int i = 0; i < SystemModule::CommandCount; ++i) {
        const std::string name = SystemModule::Commands[i];
        SystemModule::CommandHandler handler = client.app->systemModule().commandHandler(name.c_str());
        client.app->systemModule().setCommandHandler(
            name.c_str(), [name, handler](const XmlNode& message, uint64_t sender) {
                std::string line = "system-command " + name + " " + std::to_string(sender);
                for (const XmlNode* child : message.children)
                    line += " " + std::string(child->name.c_str()) + "=" + oneLine(child->value.c_str());
                printLine(line);
                if (handler)
                    handler(message, sender);
            });
    }
    client.loop.attach(client.app.get());

    const bool started = client.loop.runSync([&client] { return client.app->initInstance(); });
    if (!started) {
        printLine("start-failed");
        client.loop.attach(nullptr);
        client.loop.stop();
        return 1;
    }
    if (client.voice) {
        // As the main window's call bar does when it is made.
        const bool running = client.loop.runSync([&client] { return client.voice->startSession(); });
        printLine(running ? "voice-session running" : "voice-session failed");
    }
    printLine("ready");

    std::string line;
    while (std::getline(std::cin, line)) {
        if (line.empty())
            continue;
        if (line == "quit")
            break;
        client.loop.runSync([&client, &line] { client.command(line); });
    }
    client.loop.runSync([&client] { client.app->exitInstance(); });
    client.finish();
    client.loop.attach(nullptr);
    client.loop.stop();
    client.app.reset();
    printLine("bye");
    return 0;
}
