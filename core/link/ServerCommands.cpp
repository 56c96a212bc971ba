#include "core/link/ServerCommands.h"

#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"

namespace orvane {
namespace ServerCommands {

namespace {

uint64_t idOf(const char* text)
{
    return text ? parseUInt64(text) : 0;
}

XmlNode moduleBody(const char* moduleId)
{
    XmlNode body("message");
    body.addChild("module_id", moduleId ? moduleId : "");
    return body;
}

} // namespace

std::unique_ptr<Message> frameOf(uint8_t type, const char* ownUserId, const char* recipientId, const XmlNode& body)
{
    auto frame = std::make_unique<Message>(Message::DefaultTimeoutMs);
    frame->build(type, idOf(recipientId), 0, idOf(ownUserId), 0, body);
    return frame;
}

std::unique_ptr<Message> signIn(const SignIn& fields)
{
    XmlNode body("message");
    body.addChild("network_id", fields.networkId.c_str());
    body.addChild("user_id", fields.userId.c_str());
    body.addChild("user_name", fields.userName.c_str());
    body.addChild("password", fields.password.c_str());
    body.addChild("status", "1");
    body.addChild("peer_contacts", fields.peerContacts.c_str());
    body.addChild("contacts", fields.contacts.c_str());
    return frameOf(SignInFrame, nullptr, nullptr, body);
}

std::unique_ptr<Message> moduleMessage(const char* ownUserId, const char* moduleId, const char* userId,
                                       const char* data)
{
    XmlNode body = moduleBody(moduleId);
    body.addChild("data", data ? data : "");
    return frameOf(ModuleMessageFrame, ownUserId, userId, body);
}

std::unique_ptr<Message> sessionMessage(const char* ownUserId, const char* moduleId, const char* sessionId,
                                        const char* userId, const char* data, bool canBeOffline,
                                        int64_t timestamp)
{
    XmlNode body = moduleBody(moduleId);
    body.addChild("session_id", sessionId ? sessionId : "");
    body.addChild("data", data ? data : "");
    body.addChild("can_be_offline", canBeOffline ? "yes" : "no");
    String seconds;
    seconds.format("%lld", static_cast<long long>(timestamp));
    body.addChild("timestamp", seconds.c_str());
    return frameOf(SessionMessageFrame, ownUserId, userId, body);
}

std::unique_ptr<Message> getUserInfo(const char* ownUserId, const char* userId)
{
    XmlNode body;
    body.addChild("command", "GET_USER_INFO");
    return frameOf(CommandFrame, ownUserId, userId, body);
}

std::unique_ptr<Message> openServerChannel(const char* ownUserId, const char* protocol, int connectionId,
                                           const std::vector<uint64_t>& participants)
{
    XmlNode body("message");
    body.addChild("command", "OPEN_SERVER_CHANNEL");
    body.addChild("protocol", protocol ? protocol : "");
    body.addChild("user_id", ownUserId ? ownUserId : "");
    body.addChild("user_conn_id", intToString(connectionId).c_str());
    XmlNode* list = body.addChild("participants");
    for (uint64_t id : participants)
        list->addChild("user_id", uint64ToString(id).c_str());
    return frameOf(CommandFrame, ownUserId, nullptr, body);
}

std::unique_ptr<Message> addContact(const char* ownUserId, const char* contactName, const char* networkId)
{
    XmlNode body;
    body.addChild("command", "ADD_CONTACT");
    body.addChild("contact_name", contactName ? contactName : "");
    body.addChild("network_id", networkId ? networkId : "");
    return frameOf(CommandFrame, ownUserId, nullptr, body);
}

std::unique_ptr<Message> removeContact(const char* ownUserId, const char* contactId)
{
    XmlNode body;
    body.addChild("command", "REMOVE_CONTACT");
    body.addChild("contact_id", contactId ? contactId : "");
    return frameOf(CommandFrame, ownUserId, nullptr, body);
}

} // namespace ServerCommands
} // namespace orvane
