#pragma once

#include "core/ConfigFiles.h"
#include "core/app/AppEvent.h"
#include "core/app/ClientUi.h"
#include "core/app/UiThreadPort.h"
#include "core/app/UpdateChecker.h"
#include "core/channels/SystemModule.h"
#include "core/contacts/ContactList.h"
#include "core/link/ConnectionThread.h"
#include "core/module/ModuleEntry.h"
#include "core/sound/RingPlayer.h"
#include "core/sound/RingPlayerStarter.h"
#include "foundation/ApplicationIPC.h"
#include "foundation/Monitor.h"
#include "network/UpnpPortMapper.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace orvane {

// Where the application looks for its files; empty texts take the running program's
// folder and the user's configuration folder.
struct ClientAppOptions {
    String programFolder;
    String configHome;
    // How long start-up waits for the connection thread's loop to run.
    int connectionStartWaitMs = 5000;
    // What the ring plays through; NULL: the process's player (WavPlayer::processPlayer),
    // the one the program's ClientUi::playSound uses, so that the ring and the notices
    // cut each other off as on one sound channel.
    SoundOutput* ringOutput = nullptr;
    // The update program's bytes, written beside the program when an update is taken;
    // none: updates are offered but cannot be installed.
    const unsigned char* updaterBytes = nullptr;
    size_t updaterSize = 0;
    // Whether start-up asks the update endpoint for a newer version.
    bool checkForUpdates = true;
};

// The messenger's application object: the configuration, the contact list, the module
// list, the event queue, the status text and the core's threads, built in a fixed order
// by initInstance and taken down by exitInstance and the destructor. It knows no window:
// what it shows goes through ClientUi, and what worker threads have for the
// user-interface thread goes through UiThreadPort, which hands thread messages back to
// onThreadMessage and runs onIdle when the thread has nothing else to do.
//
// Threads: initInstance, exitInstance, the commands, onThreadMessage, onIdle and every
// handler of the server's frames run on the user-interface thread. The application lock
// guards the module list, the contact list and the event queue; worker threads reach
// them only under it (postEvent, the module host's look-ups) and reach the user interface
// only through the port. The status text and the progress text have locks of their own.
class ClientApp : private LinkOwner {
public:
    static constexpr const char* InstanceName = "Orvane_Chatwyn";
    static constexpr const char* VersionText = "1.6";

    ClientApp(ClientUi& ui, UiThreadPort& port, const ClientAppOptions& options = ClientAppOptions());
    // Stops the threads, unlists and deletes every contact, deletes the module entries.
    ~ClientApp() override;
    ClientApp(const ClientApp&) = delete;
    ClientApp& operator=(const ClientApp&) = delete;

    // ---- life ----
    // Modules registered, in this order, as the built-in ones at start-up after the system
    // module.
    void setBuiltinModules(const std::vector<IModule*>& modules) { builtinModules_ = modules; }
    // Start-up; false ends the program.
    bool initInstance();
    // Offers a message of the user-interface loop to the modules in list order; true when
    // one consumed it.
    bool preTranslateMessage(UiMessage* message);
    // The loop has nothing to do: runs the event queue.
    void onIdle();
    // The loop ended: every module's shutdown in list order, then the threads stop.
    void exitInstance();
    // A thread message taken by the user-interface thread.
    void onThreadMessage(int id, intptr_t wParam, intptr_t lParam);

    // ---- event queue and status (any thread unless noted) ----
    // Appends a record (copies of the frame and node when given) under the application
    // lock and, with post, wakes the user-interface thread.
    void postEvent(int kind, int param, const Message* frame, const XmlNode* record, bool post);
    // User-interface thread: runs every queued record in order, also those that the
    // handlers queue meanwhile. A handler that throws is reported and its record dropped;
    // the others run.
    void drainEvents();
    void setStatusText(const char* text) override;
    String statusText() const;
    // "Online." while the server link is up, else "Offline.".
    void showOnlineStatus();
    void onConnectionState(intptr_t wParam, intptr_t lParam);
    void broadcastSignedIn(bool signedIn);
    void broadcastContactStatus(IContact* contact);

    // ---- the progress panel ----
    void showProgressPanel();
    void hideProgressPanel();
    // Any thread.
    void setProgressText(const char* text) override;

    // ---- server events (user-interface thread, application lock held) ----
    void dispatchServerFrame(const Message& frame);
    void onModuleMessage(const Message& frame);
    void onSessionMessage(const Message& frame);
    void onPresence(const Message& frame);
    void onPresenceList(const Message& frame);
    void onServerCommand(const Message& frame);
    void onSignedIn(const Message& frame);
    // Sets the address and ports peers are told to reach this side at: the server's view of
    // the external address with the bound port (and a port mapping asked for when that
    // address is not the link's own), or the ones the account configures.
    void advertiseEndpoint(const String& external, const LinkValues& link);
    // A peer connection for a module; the socket is closed when nobody takes it.
    void onIncomingConnection(const XmlNode& record, int socket);
    // A ready datagram channel for a module (any thread): handed over on the user-interface
    // thread, closed when the contact or the module is gone by then.
    void postChannel(IModuleConnection* channel, const String& moduleId, uint64_t sender);
    // The contacts of a successful sign-in reply.
    void applySignInReply(const SignInReply& reply);

    // ---- contacts (each takes the application lock) ----
    ContactRecord* findContact(const char* id);
    ContactRecord* addContact(const char* id);
    ContactRecord* getContact(const char* id);
    int getContactCount();
    ContactRecord* getContactAt(int index);
    bool isListedUserName(const char* name);
    // Every module's onContactRemoved, then the record is no longer listed.
    void contactRemoved(const char* id);
    void unlistAllContacts();
    // Deletes every record and refreshes the views at once, so that none shows a deleted one.
    void clearContacts();
    void sortContacts();
    // The notice, sound, modules' message and status line of one applied presence record.
    void presenceNotice(ContactRecord& contact);
    void refreshContactViews(ContactRecord* hint);

    // ---- modules ----
    // The Actions menu's command ids: entry k of the Actions entries is FirstActionId + k.
    static constexpr int FirstActionId = 32773;
    static constexpr int LastActionId = 32973;

    // A built-in module: an entry without a library, initialised and appended.
    ModuleEntry* addBuiltinModule(IModule* module);
    // Every sub-folder N of the modules folder with a library N/N.so that makes a module,
    // in the order the folder lists them; then a module with the id "chat" changes places
    // with the first entry. Libraries that do not load, export no createModule or make no
    // module are skipped silently.
    void loadModules();
    // The library's module as a new entry, or NULL.
    ModuleEntry* loadModule(const char* path);
    // Every module with a display name gets an Actions item, in list order, as long as the
    // command ids last.
    void buildActionsMenu();
    IModule* findModule(const char* id);
    int findModuleIndex(const char* id);
    IModule* getModuleAt(int index);
    int getModuleCount();
    ModuleEntry* getModuleEntry(int index);
    int getActionCount() const { return static_cast<int>(actions_.size()); }
    // Entry k of the Actions entries, or NULL.
    ModuleEntry* getActionEntry(int k);
    // The module at that position acts on the contact when it can.
    void actOnContact(int moduleIndex, IContact* contact);

    // ---- notices, configuration, commands ----
    // A sound of the program's "sounds" folder (when it exists) and the sliding notice.
    void notify(const char* text, const char* sound);
    // Plays the file when it exists; otherwise nothing.
    void playSoundFile(const char* path);
    void readConfiguration();
    void readAccount();
    void readConfig();
    void saveAccount();
    void applyProxySettings();
    // Sign In: clears the contacts, reads the configuration again, asks for a user name
    // when none is stored, shows the progress panel and asks for the connect.
    void signIn();
    // Sign Out: the link closes; the configuration is read again.
    void signOut();
    // Change my details: the account dialog, then the CHANGE_USER form to the account
    // endpoint, answered with the server's reason or a notice. The own record takes the new
    // texts at once; a new password is kept only once the server accepted it.
    void changeDetails();
    // After a sign-up from the sign-in dialog: the new account becomes the default one and
    // the connection thread is asked to sign it in.
    void signInNewAccount();
    // Sign in as: the sign-in dialog always; the contact records stay until the new list
    // comes, and the configuration files are not read again. Cancel changes nothing.
    void signInAs();
    // Files dropped on a contact go to the module "file_transfer" as one SEND_FILE text each,
    // as if the contact had sent it; folders are skipped. False without that module or files.
    bool sendDroppedFiles(const std::vector<String>& paths, IContact* contact);
    // The picture page's URL: "[key]" (the password with its even bytes one down and its odd
    // ones one up), "[network]" and "[username]" (the account's when NULL) filled in.
    String buildPictureUrl(const String& urlTemplate, const char* userName) const;

    // ---- state ----
    ClientUi& ui() { return ui_; }

    // ---- self-update (ClientAppUpdate.cpp) ----
    // Starts the update checker with one automatic check.
    void checkForUpdates();
    // User-interface thread: asks (or tells, when mandatory), writes the update program
    // beside this one and starts it with the URL and the target as separate arguments,
    // then ends the process at once. True when the update program was started (only
    // tests that replace the ending see it).
    bool onUpdateAvailable(const UpdateInfo& info);
    // Writes the embedded bytes to path, executable; a box and false on failure.
    bool writeResourceFile(const String& path);
    // The update checker once start-up has started it; NULL before or without checks.
    const UpdateChecker* updateChecker() const { return updateChecker_.get(); }
    // How the process ends for an update; tests replace it.
    std::function<void()> endForUpdate;
    ConnectionThread& connection() { return *connection_; }
    ContactRecord& ownUser() { return ownUser_; }
    AccountSettings& account() { return account_; }
    ConfigSettings& config() { return config_; }
    const ConfigPaths& paths() const { return paths_; }
    Monitor& lock() { return appLock_; }
    AdvertisedEndpoint& advertised() { return advertised_; }
    UpnpPortMapper& portMapper() { return *portMapper_; }
    // The ring of the call bar; its thread runs from the end of start-up to exitInstance.
    RingPlayer& ringPlayer() { return *ringPlayer_; }
    RingPlayerStarter& ringStarter() { return *ringStarter_; }
    String externalAddress() const;
    bool isReachable() const { return reachable_.load(); }
    bool saveAccountOnSignIn = false;
    SystemModule& systemModule() { return *systemModule_; }
    const String& buildStampText() const { return buildStamp_; }

private:
    // LinkOwner, on the connection thread.
    void onSignInRefused(const String& reason) override;
    void onSignInReply(const SignInReply& reply) override;
    void onServerFrame(const Message& frame, SocketHandle socket) override;
    void reportConnectionState(bool signedIn, int reason) override;

    LinkSettings linkSettings() const;
    // The sign-in dialog's answer into the account; false when it was cancelled.
    bool askForAccount();
    void runEvent(AppEvent& event);
    void applyPresenceRecord(const uint8_t* record, ContactRecord& contact);
    void onContactAddedReply(const XmlNode& body);

    ClientUi& ui_;
    UiThreadPort& port_;
    std::unique_ptr<UpdateChecker> updateChecker_;
    ClientAppOptions options_;
    ConfigPaths paths_;
    String buildStamp_;
    AccountSettings account_;
    ConfigSettings config_;
    AdvertisedEndpoint advertised_;
    std::atomic<bool> reachable_{false};
    // The modules have been told of this sign-in (user-interface thread).
    bool modulesSignedIn_ = false;
    mutable std::mutex externalLock_;
    String externalAddress_;
    ContactRecord ownUser_;

    // Guards modules_, contacts_ and events_.
    Monitor appLock_;
    std::vector<std::unique_ptr<ModuleEntry>> modules_;
    // Not owned: the entries with an Actions item, in menu order.
    std::vector<ModuleEntry*> actions_;
    std::vector<IModule*> builtinModules_;
    ContactList contacts_;
    std::vector<std::unique_ptr<AppEvent>> events_;

    mutable std::mutex statusLock_;
    String statusText_;
    std::mutex progressLock_;
    String progressText_;

    ApplicationIPC instance_;
    bool started_ = false;
    bool exited_ = false;

    // Declared last: their threads stop first, while everything they call on still exists
    // (the destructor ends the system module's threads before the others). The starter
    // goes before the player it starts.
    std::unique_ptr<RingPlayer> ringPlayer_;
    std::unique_ptr<RingPlayerStarter> ringStarter_;
    std::unique_ptr<UpnpPortMapper> portMapper_;
    std::unique_ptr<ConnectionThread> connection_;
    std::unique_ptr<SystemModule> systemModule_;
};

} // namespace orvane
