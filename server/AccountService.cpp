#include "server/AccountService.h"

#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"
#include "server/MessageHub.h"
#include "server/ServerLog.h"

namespace orvane {

namespace {

AccountReply documentReply(const char* status, const NameValueList& children)
{
    AccountReply reply;
    reply.body = AccountService::statusDocument(status, children);
    return reply;
}

AccountReply failure(const char* reason)
{
    NameValueList children;
    children.add("reason", reason);
    return documentReply("FAILED", children);
}

// Texts of an account end up in the sign-in reply's TAB-separated lines and in log lines:
// control bytes (TAB and LF among them) would break both.
bool hasControlByte(const String& text)
{
    for (int i = 0; i < text.length(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text.at(i));
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// The reason a text is refused, or NULL when it is acceptable.
const char* checkText(const String& text, const char* what, int limit, bool colonForbidden)
{
    static thread_local String reason;
    if (text.length() > limit) {
        reason.format("Your %s is too long! ( maximum characters: %d )", what, limit);
        return reason.c_str();
    }
    if (hasControlByte(text) || (colonForbidden && text.find(':') >= 0)) {
        reason.format("Your %s holds invalid characters.", what);
        return reason.c_str();
    }
    return nullptr;
}

const char* checkDetails(const AccountRecord& details)
{
    if (const char* why = checkText(details.email, "e-mail address", AccountService::MaxDetailLength, false))
        return why;
    if (const char* why = checkText(details.firstName, "first name", AccountService::MaxDetailLength, false))
        return why;
    if (const char* why = checkText(details.lastName, "last name", AccountService::MaxDetailLength, false))
        return why;
    if (const char* why = checkText(details.webSite, "web site", AccountService::MaxDetailLength, false))
        return why;
    return checkText(details.networkId, "network id", AccountService::MaxDetailLength, false);
}

} // namespace

AccountService::AccountService(AccountStore& store, MessageHub& hub, const ServerSettings& settings)
    : store_(store), hub_(hub), settings_(settings), messageAddress_(settings.messageAddress)
{
}

String AccountService::statusDocument(const char* status, const NameValueList& children)
{
    XmlNode root("response");
    root.addChild("status", status);
    for (const NameValuePair& child : children)
        root.addChild(child.name.c_str(), child.value.c_str());
    String text("<?xml version=\"1.0\"?>\r\n");
    text += root.toString(0, false);
    return text;
}

AccountReply AccountService::handle(const NameValueList& form, const SocketAddress& peer, const SocketAddress& local)
{
    String command = form.get("CMD");
    command.toUpper();
    try {
        if (command == "LOGIN")
            return login(form, local);
        if (command == "CREATE_USER")
            return createUser(form);
        if (command == "CHANGE_USER")
            return changeUser(form, peer);
    } catch (const AccountStore::StoreException&) {
        serverLog("account %s: the database failed on %s", peer.getHostAddress().c_str(),
                  printableText(command, 32).c_str());
        AccountReply reply = failure("The server cannot do this now.");
        reply.status = 500;
        reply.reason = "Internal Server Error";
        return reply;
    }
    serverLog("account %s: refused a form with the command \"%s\"", peer.getHostAddress().c_str(),
              printableText(command, 32).c_str());
    AccountReply reply = failure("Unknown command.");
    reply.status = 400;
    reply.reason = "Bad Request";
    return reply;
}

String AccountService::messageHostFor(const SocketAddress& local) const
{
    if (!settings_.advertisedHost.isEmpty())
        return settings_.advertisedHost;
    // Listening on every interface: the address this client reached us at is one it can use.
    if (messageAddress_.getAddress() == htonl(INADDR_ANY))
        return local.getHostAddress();
    return messageAddress_.getHostAddress();
}

AccountReply AccountService::login(const NameValueList& form, const SocketAddress& local)
{
    const String user = form.get("user");
    AccountRecord account;
    if (!store_.checkPassword(user.c_str(), form.get("password").c_str(), &account)) {
        serverLog("account: sign-in refused for \"%s\": wrong user name or password", printableText(user, 32).c_str());
        return failure("Wrong user name or password.");
    }
    Array<AccountRecord> contacts;
    store_.listContacts(account.id, contacts);
    Array<uint64_t> watchers;
    store_.listWatchers(account.id, watchers);

    // Lines: the success word; the message server; the account's name and its number of
    // contacts (not read by clients); a line per contact; an empty line; a line per
    // account that lists this one; an empty line; the account's own id.
    String text("LOGIN SUCCESS\n");
    text += messageHostFor(local);
    text.append(':');
    text += uintToString(messageAddress_.getPort());
    text.append('\n');
    text += account.userName;
    text.append('\n');
    text += intToString(contacts.count());
    text.append('\n');
    for (const AccountRecord& contact : contacts) {
        text += uint64ToString(contact.id);
        const String* fields[] = {&contact.userName, &contact.firstName, &contact.lastName, &contact.email,
                                  &contact.webSite};
        for (const String* field : fields) {
            text.append('\t');
            text += *field;
        }
        text.append('\n');
    }
    text.append('\n');
    for (uint64_t watcher : watchers) {
        text += uint64ToString(watcher);
        text.append('\n');
    }
    text.append('\n');
    text += uint64ToString(account.id);

    AccountReply reply;
    reply.contentType = "text/plain";
    reply.body = text;
    return reply;
}

AccountReply AccountService::createUser(const NameValueList& form)
{
    AccountRecord details;
    details.userName = form.get("User_Name");
    details.email = form.get("Email");
    details.firstName = form.get("First_Name");
    details.lastName = form.get("Last_Name");
    details.webSite = form.get("Web_Site");
    details.networkId = form.get("Network_ID");
    const String password = form.get("Password");

    const char* why = nullptr;
    if (details.userName.isEmpty())
        why = "Enter user name!";
    else if (!(why = checkText(details.userName, "user name", MaxNameLength, true)) && password.isEmpty())
        why = "Enter password!";
    if (!why)
        why = checkText(password, "password", MaxNameLength, true);
    if (!why)
        why = checkDetails(details);
    if (why) {
        serverLog("account: sign-up refused for \"%s\": %s", printableText(details.userName, 32).c_str(), why);
        return failure(why);
    }
    uint64_t id = 0;
    switch (store_.createAccount(details, password.c_str(), id)) {
    case AccountStore::Created:
        break;
    case AccountStore::NameTaken:
        serverLog("account: sign-up refused for \"%s\": the name is taken", printableText(details.userName, 32).c_str());
        return failure("This user name is already taken.");
    case AccountStore::CreateFailed:
        return failure("The account could not be created.");
    }
    serverLog("account: created \"%s\" #%s", printableText(details.userName, 32).c_str(), uint64ToString(id).c_str());
    NameValueList children;
    children.add("userID", uint64ToString(id));
    return documentReply("SUCCESS", children);
}

AccountReply AccountService::changeUser(const NameValueList& form, const SocketAddress& peer)
{
    const String userName = form.get("User_Name");
    const uint64_t id = parseUInt64(form.get("User_ID").c_str());
    AccountRecord details;
    if (!store_.findById(id, details) || details.userName != userName) {
        serverLog("account %s: change of details refused: no account \"%s\" #%s", peer.getHostAddress().c_str(),
                  printableText(userName, 32).c_str(), uint64ToString(id).c_str());
        return failure("There is no such user.");
    }
    // The form carries no proof of who sends it (its password field is the new password).
    // The account must be signed in to the message server from the same address.
    if (!hub_.isSignedInFrom(details.id, peer.getAddress())) {
        serverLog("account %s: change of details refused for #%s: not signed in from there",
                  peer.getHostAddress().c_str(), uint64ToString(id).c_str());
        return failure("Sign in first to change your details.");
    }
    details.email = form.get("Email");
    details.firstName = form.get("First_Name");
    details.lastName = form.get("Last_Name");
    details.webSite = form.get("Web_Site");
    const String password = form.get("Password");
    const char* why = password.isEmpty() ? nullptr : checkText(password, "password", MaxNameLength, true);
    if (!why)
        why = checkDetails(details);
    if (why) {
        serverLog("account: change of details refused for #%s: %s", uint64ToString(id).c_str(), why);
        return failure(why);
    }
    if (!store_.updateAccount(details, password.c_str()))
        return failure("The details could not be changed.");
    return documentReply("SUCCESS", NameValueList());
}

} // namespace orvane
