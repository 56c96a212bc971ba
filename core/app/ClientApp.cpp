#include "core/app/ClientApp.h"

#include "audio/WavPlayer.h"
#include "core/Diagnostics.h"
#include "core/app/ThreadMessages.h"
#include "foundation/Clock.h"
#include "foundation/Conversions.h"
#include "foundation/Date.h"
#include "foundation/File.h"
#include "foundation/Paths.h"
#include "foundation/XmlNode.h"
#include "network/HttpClient.h"
#include "network/FormFields.h"

#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <cstring>
namespace orvane {

UiThreadPort::~UiThreadPort() = default;
ClientUi::~ClientUi() = default;

namespace {

// The build date in the compiler's form; the stamp made of it is what the about box shows.
constexpr const char* BuildDate = "Jul  3 2006";
// How often start-up looks whether the connection thread's loop runs; it runs almost at
// once, so a short look keeps the start quick.
constexpr int ConnectionPollMs = 10;

} // namespace

ClientApp::ClientApp(ClientUi& ui, UiThreadPort& port, const ClientAppOptions& options)
    : ui_(ui), port_(port), options_(options)
{
    systemModule_ = std::make_unique<SystemModule>(*this);
    ringPlayer_ = std::make_unique<RingPlayer>(options_.ringOutput ? *options_.ringOutput : WavPlayer::processPlayer());
    ringStarter_ = std::make_unique<RingPlayerStarter>(*ringPlayer_, port_);
    portMapper_ = std::make_unique<UpnpPortMapper>(advertised_, ConfigPaths::ApplicationName);
    // The link reports to this object through its private LinkOwner face.
    connection_.reset(new ConnectionThread(static_cast<LinkOwner&>(*this)));
}

ClientApp::~ClientApp()
{
    updateChecker_.reset();
    // The channel threads use the link and post events: they end before anything else.
    systemModule_.reset();
    connection_->stop();
    portMapper_->stop(true);
    ringStarter_->stop(true);
    ringPlayer_->stopAndWait();
    {
        MonitorLock guard(appLock_);
        contacts_.unlistAll();
        contacts_.clear();
        events_.clear();
    }
    // The entries go before the port mapper and the connection thread (declared after
    // them); both have stopped, and no module is called any more.
    modules_.clear();
}

// ---- start-up and end ---------------------------------------------------------------------

bool ClientApp::initInstance()
{
    try {
        instance_.init(InstanceName);
        if (!instance_.isFirstInstance())
            return false;
    } catch (const ApplicationIPC::MutexErrorException&) {
        ui_.showMessageBox("System Error. You possibly need to restart your computer.", ClientUi::Icon::Stop);
        return false;
    } catch (const Exception&) {
        ui_.showMessageBox("System Error. You possibly need to restart your computer.", ClientUi::Icon::Stop);
        return false;
    }
    socketStartup();

    connection_->init();
    ringStarter_->init();
    ringPlayer_->init();
    portMapper_->init();

    paths_ = ConfigPaths::locate(options_.programFolder.isEmpty() ? nullptr : options_.programFolder.c_str(),
                                 options_.configHome.isEmpty() ? nullptr : options_.configHome.c_str());
    paths_.createUserFolder();
    // A save of the account cut short (the program killed) left its temporary copy, with
    // the password in it; the next save would remove it, but the password need not wait.
    File::removeStaleTemporaries(paths_.accountPath.c_str());
    buildStamp_ = buildStamp(BuildDate);

    readConfiguration();
    ownUser_.userName = account_.userName;
    ownUser_.id = connection_->ownUserId();

    if (!ui_.createWindows(*this))
        return false;

    addBuiltinModule(systemModule_.get());
    for (IModule* module : builtinModules_)
        addBuiltinModule(module);
    // The check runs on its own thread while the rest starts; an offer waits in the queue.
    if (options_.checkForUpdates)
        checkForUpdates();
    loadModules();
    buildActionsMenu();

    connection_->start();
    // The loop reports that it runs almost at once; one that does not within the bound
    // (or that has ended already) cannot carry the link.
    const int64_t deadline = monotonicMillis() + options_.connectionStartWaitMs;
    while (connection_->runState() == ConnectionThread::NotStarted && monotonicMillis() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(
            std::min<int64_t>(ConnectionPollMs, std::max<int64_t>(1, deadline - monotonicMillis()))));
    if (connection_->runState() != ConnectionThread::LoopRunning) {
        ui_.showMessageBox("Cannot start communication module.\nProgram will be terminated.", ClientUi::Icon::Stop);
        return false;
    }

    ui_.setDocumentTitle(account_.userName);
    ringStarter_->start();
    portMapper_->start();
    started_ = true;
    signIn();
    return true;
}

bool ClientApp::preTranslateMessage(UiMessage* message)
{
    // Modules are only ever added during start-up, so the walk needs no lock.
    for (const auto& entry : modules_)
        if (entry->module->preTranslateMessage(message))
            return true;
    return false;
}

void ClientApp::onIdle()
{
    drainEvents();
}

void ClientApp::exitInstance()
{
    if (exited_)
        return;
    exited_ = true;
    for (const auto& entry : modules_)
        entry->module->shutdown();
    connection_->stop();
    portMapper_->stop(true);
    // The starter may still be on its way to starting the player.
    ringStarter_->stop(true);
    ringPlayer_->stopAndWait();
}

// ---- contacts -------------------------------------------------------------------------------

ContactRecord* ClientApp::findContact(const char* id)
{
    MonitorLock guard(appLock_);
    return contacts_.find(id);
}

ContactRecord* ClientApp::addContact(const char* id)
{
    MonitorLock guard(appLock_);
    return contacts_.add(id);
}

ContactRecord* ClientApp::getContact(const char* id)
{
    MonitorLock guard(appLock_);
    return contacts_.get(id);
}

int ClientApp::getContactCount()
{
    MonitorLock guard(appLock_);
    return contacts_.count();
}

ContactRecord* ClientApp::getContactAt(int index)
{
    MonitorLock guard(appLock_);
    return contacts_.at(index);
}

bool ClientApp::isListedUserName(const char* name)
{
    MonitorLock guard(appLock_);
    return contacts_.isListedUserName(name);
}

void ClientApp::contactRemoved(const char* id)
{
    MonitorLock guard(appLock_);
    ContactRecord* record = contacts_.find(id);
    if (!record)
        return;
    for (const auto& entry : modules_)
        entry->module->onContactRemoved(record);
    record->listed = false;
}

void ClientApp::unlistAllContacts()
{
    MonitorLock guard(appLock_);
    contacts_.unlistAll();
}

void ClientApp::clearContacts()
{
    {
        MonitorLock guard(appLock_);
        contacts_.clear();
    }
    refreshContactViews(nullptr);
}

void ClientApp::sortContacts()
{
    MonitorLock guard(appLock_);
    contacts_.sort();
}

void ClientApp::refreshContactViews(ContactRecord* hint)
{
    ui_.refreshContactViews(hint);
}

void ClientApp::presenceNotice(ContactRecord& contact)
{
    const bool online = contact.status == 1;
    const String name = contact.getDisplayName();
    String text;
    text.format("%s\n%s.", name.c_str(), online ? "Signed In" : "Signed Out");
    notify(text.c_str(), online ? "online.wav" : "offline.wav");
    port_.post(ThreadMessage::ContactStatus, online ? 1 : 0,
               static_cast<intptr_t>(parseUInt64(contact.id.c_str())));
    String status;
    status.format("%s is %s.", name.c_str(), online ? "online" : "offline");
    setStatusText(status.c_str());
}

// ---- notices, configuration, commands -------------------------------------------------------

void ClientApp::playSoundFile(const char* path)
{
    if (path && (fileType(path) & FileTypeFile))
        ui_.playSound(path);
}

void ClientApp::notify(const char* text, const char* sound)
{
    if (sound && *sound) {
        String path = paths_.programFolder;
        path += "sounds/";
        path += sound;
        playSoundFile(path.c_str());
    }
    ui_.showNotice(text ? text : "", nullptr, nullptr, false);
}

void ClientApp::readConfiguration()
{
    readAccount();
    readConfig();
}

void ClientApp::readAccount()
{
    account_.readAccount(paths_);
    applyProxySettings();
}

void ClientApp::readConfig()
{
    config_.readConfig(paths_);
}

void ClientApp::saveAccount()
{
    if (!account_.writeAccount(paths_))
        diagnostic("cannot save the account settings to %s", paths_.accountPath.c_str());
    saveAccountOnSignIn = false;
}

void ClientApp::applyProxySettings()
{
    const ProxySetting proxy = account_.applyProxySettings();
    connection_->setProxy(proxy.host.c_str(), proxy.port, proxy.type);
}

LinkSettings ClientApp::linkSettings() const
{
    LinkSettings settings;
    settings.userName = account_.userName;
    settings.password = account_.password;
    settings.networkId = account_.networkId;
    settings.serverUrl = config_.serverUrl;
    settings.connectTimeoutMs = config_.connectTimeoutMs;
    settings.socketTimeoutMs = config_.socketTimeoutMs;
    return settings;
}

void ClientApp::signIn()
{
    clearContacts();
    readConfiguration();
    ui_.setDocumentTitle(account_.userName);
    if (account_.userName.isEmpty() && !askForAccount())
        return;
    showProgressPanel();
    connection_->requestConnect(linkSettings());
    showOnlineStatus();
}

bool ClientApp::askForAccount()
{
    String userName;
    String password;
    bool makeDefault = false;
    if (!ui_.askForSignIn(userName, password, makeDefault))
        return false;
    account_.userName = userName;
    account_.password = password;
    ownUser_.userName = userName;
    saveAccountOnSignIn = makeDefault;
    return true;
}

void ClientApp::signInAs()
{
    // A text-chat module closes its windows before another user takes over.
    if (IModule* chat = findModule("Chat"); chat && std::strcmp(chat->getId(), "Chat") == 0)
        ui_.askModuleToClose(*chat);
    // Unlike Sign In, the records stay until the new list comes, and the files are not read.
    if (!askForAccount())
        return;
    showProgressPanel();
    connection_->requestConnect(linkSettings());
    ui_.setDocumentTitle(account_.userName);
    showOnlineStatus();
}

void ClientApp::signInNewAccount()
{
    saveAccountOnSignIn = true;
    showProgressPanel();
    setProgressText("Signing in...");
    connection_->requestConnect(linkSettings());
}

void ClientApp::changeDetails()
{
    ClientUi::AccountDetails details;
    if (!ui_.askForDetails(details))
        return;
    ownUser_.userName = details.userName;
    ownUser_.firstName = details.firstName;
    ownUser_.lastName = details.lastName;
    ownUser_.email = details.email;
    ownUser_.webSite = details.webSite;
    try {
        FormFields form;
        form.field("CMD") = "CHANGE_USER";
        form.field("User_Name") = account_.userName.c_str();
        form.field("User_ID") = ownUser_.getId();
        form.field("Password") = details.password.c_str();
        form.field("Email") = ownUser_.email.c_str();
        form.field("First_Name") = ownUser_.firstName.c_str();
        form.field("Last_Name") = ownUser_.lastName.c_str();
        form.field("Web_Site") = ownUser_.webSite.c_str();
        HttpClient http;
        ByteArray out;
        http.postForm(config_.serverUrl.c_str(), &form, &out);
        XmlNode reply;
        if (out.count() == 0 || !reply.parse(String(reinterpret_cast<const char*>(out.data()), out.count()).c_str())) {
            ui_.showMessageBox("Unable to change details. Try again!", ClientUi::Icon::Information);
            return;
        }
        if (reply.childOrEmpty("status")->value != "SUCCESS") {
            ui_.showMessageBox(reply.childOrEmpty("reason")->value, ClientUi::Icon::Information);
            setStatusText("Unable to change details");
            return;
        }
        // Only now: a refused change must not leave a password the server does not know.
        if (!details.password.isEmpty()) {
            account_.password = details.password;
            saveAccount();
        }
        notify("Your details has been changed", nullptr);
        setStatusText("Details changed successfully");
    } catch (const Exception&) {
        ui_.showMessageBox("Unable to change details. Try again!", ClientUi::Icon::Information);
    }
}

bool ClientApp::sendDroppedFiles(const std::vector<String>& paths, IContact* contact)
{
    IModule* transfer = findModule("file_transfer");
    if (!transfer || std::strcmp(transfer->getId(), "file_transfer") != 0)
        return false;
    for (const String& path : paths) {
        struct stat info;
        if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        XmlNode command;
        command.addChild("command", "SEND_FILE");
        command.addChild("filename", path.c_str());
        transfer->onMessage(contact, command.toCompactString(true).c_str());
    }
    return !paths.empty();
}

String ClientApp::buildPictureUrl(const String& urlTemplate, const char* userName) const
{
    String key = account_.password;
    // Even positions one down, odd ones one up, each byte wrapping.
    for (int i = 0; i < key.length(); ++i)
        key.at(i) = static_cast<char>(static_cast<unsigned char>(key.at(i)) + (i % 2 == 0 ? -1 : 1));
    String url = urlTemplate;
    url.replaceAll("[key]", key.c_str());
    url.replaceAll("[network]", account_.networkId.c_str());
    url.replaceAll("[username]", userName ? userName : account_.userName.c_str());
    return url;
}

void ClientApp::signOut()
{
    connection_->disconnect();
    showOnlineStatus();
    readConfiguration();
    ui_.setDocumentTitle(account_.userName);
}

String ClientApp::externalAddress() const
{
    std::lock_guard<std::mutex> guard(externalLock_);
    return externalAddress_;
}

} // namespace orvane
