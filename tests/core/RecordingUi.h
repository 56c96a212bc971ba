#pragma once

// The user interface and a module of tests and of the headless client: every call becomes
// one line of text ("notice Carl\nSigned In." is written "notice Carl\\nSigned In."), kept
// in order and handed to an optional sink, so that tests wait for lines and the headless
// client prints them.

#include "audio/SoundOutput.h"
#include "core/app/ClientApp.h"
#include "core/app/ClientUi.h"
#include "core/contacts/ContactRecord.h"
#include "core/module/ModuleBase.h"
#include "tests/support/LineLog.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace orvane::testing {

// Newlines as "\n", so that one call stays one line.
inline std::string oneLine(const char* text)
{
    std::string out;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p == '\n')
            out += "\\n";
        else if (*p != '\r')
            out += *p;
    }
    return out;
}

class RecordingUi : public ClientUi {
public:
    explicit RecordingUi(LineLog& log) : log_(log) {}

    // The sign-in dialog's answer; with none set, it is cancelled.
    bool dialogConfirms = false;
    String dialogUserName;
    String dialogPassword;
    bool dialogMakeDefault = false;
    bool windowsCreated = true;
    // The account dialog's answer in change-details mode; with none set, it is cancelled.
    bool detailsConfirm = false;
    AccountDetails details;
    // Where the sounds are also played, as the program plays them; none by default.
    SoundOutput* sounds = nullptr;

    bool createWindows(ClientApp&) override
    {
        log_.add("windows");
        return windowsCreated;
    }
    void setActionsMenu(const std::vector<ActionItem>& items) override
    {
        std::string line = "actions";
        for (const ActionItem& item : items)
            line += " " + std::to_string(item.commandId) + ":" + oneLine(item.text.c_str());
        log_.add(line);
    }
    void showMessageBox(const String& text, Icon icon) override
    {
        static const char* const names[] = {"stop", "warning", "information", "plain"};
        log_.add(std::string("box ") + names[static_cast<int>(icon)] + " " + oneLine(text.c_str()));
    }
    // The answer to question boxes; No unless set.
    bool answerYes = false;
    bool askYesNo(const String& text) override
    {
        log_.add("ask " + oneLine(text.c_str()));
        return answerYes;
    }
    bool askForSignIn(String& userName, String& password, bool& makeDefault) override
    {
        log_.add("sign-in-dialog");
        if (!dialogConfirms)
            return false;
        userName = dialogUserName;
        password = dialogPassword;
        makeDefault = dialogMakeDefault;
        return true;
    }
    bool askForDetails(AccountDetails& answer) override
    {
        log_.add("details-dialog");
        if (!detailsConfirm)
            return false;
        answer = details;
        return true;
    }
    void playSound(const String& path) override
    {
        const char* slash = std::strrchr(path.c_str(), '/');
        log_.add(std::string("sound ") + (slash ? slash + 1 : path.c_str()));
        if (sounds)
            sounds->play(path.c_str());
    }
    void showNotice(const String& text, IModule*, WindowHandle, bool clickable) override
    {
        log_.add(std::string(clickable ? "clickable-notice " : "notice ") + oneLine(text.c_str()));
    }
    void showProgressPanel() override { log_.add("progress-show"); }
    void hideProgressPanel() override { log_.add("progress-hide"); }
    void showProgressText(const String& text) override { log_.add("progress-text " + oneLine(text.c_str())); }
    void setDocumentTitle(const String& title) override { log_.add("title " + oneLine(title.c_str())); }
    void showStatusText(const String& text) override { log_.add("status " + oneLine(text.c_str())); }
    void refreshContactViews(ContactRecord* hint) override
    {
        log_.add(std::string("refresh ") + (hint ? hint->id.c_str() : "*"));
    }
    void stopVoiceSession() override { log_.add("voice-stop"); }
    void askModuleToClose(IModule& module) override { log_.add(std::string("close-request ") + module.getId()); }
    ISkin* skin() override { return nullptr; }
    void onWindowMessage(int id, intptr_t wParam, intptr_t lParam) override
    {
        log_.add("window-message " + std::to_string(id));
        if (windowMessages)
            windowMessages(id, wParam, lParam);
    }
    // Where the windows' thread messages go on to, when set.
    std::function<void(int id, intptr_t wParam, intptr_t lParam)> windowMessages;

private:
    LineLog& log_;
};

// A module that writes every call it gets as a line "module <id> ...", and sends through
// its host when told.
class ProbeModule : public ModuleBase {
public:
    ProbeModule(LineLog& log, std::string id) : log_(log), id_(std::move(id)) {}

    IModuleHost* host() const { return host_; }

    bool init(IModuleHost* host) override
    {
        host_ = host;
        add("init");
        return true;
    }
    void shutdown() override { add("shutdown"); }
    const char* getId() override { return id_.c_str(); }
    const char* getName() override { return id_.c_str(); }
    const char* getVersion() override { return "1.0"; }
    const char* getDisplayName() override { return ""; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return "records what it is told"; }
    void actOn(IContact*) override {}
    // Who takes the channels handed to this module; without one they are closed at once.
    std::function<void(IContact*, IModuleConnection*)> takeConnection;

    void onIncomingConnection(IContact* contact, IModuleConnection* connection) override
    {
        add(std::string("connection ") + (contact ? contact->getId() : "-"));
        if (takeConnection && connection)
            takeConnection(contact, connection);
        else if (connection)
            connection->close();
    }
    void onSignedIn() override { add("signed-in"); }
    void onSignedOut() override { add("signed-out"); }
    void onContactStatusChanged(IContact* contact) override
    {
        add(std::string("contact-status ") + contact->getId() + (contact->isOnline() ? " online" : " offline"));
    }
    void onMessage(IContact* sender, const char* data) override
    {
        add(std::string("message ") + (sender ? sender->getId() : "-") + " " + oneLine(data));
    }
    void onSessionMessage(IContact* sender, const char* data, int, const char* sessionId) override
    {
        add(std::string("session ") + (sender ? sender->getId() : "-") + " " + oneLine(sessionId) + " " +
            oneLine(data));
    }
    void onContactAdded(IContact* contact) override { add(std::string("contact-added ") + contact->getId()); }
    void onContactRemoved(IContact* contact) override { add(std::string("contact-removed ") + contact->getId()); }

private:
    void add(const std::string& what) { log_.add("module " + id_ + " " + what); }

    LineLog& log_;
    std::string id_;
    IModuleHost* host_ = nullptr;
};

} // namespace orvane::testing
