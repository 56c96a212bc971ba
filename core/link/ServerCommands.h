#pragma once

#include "core/Message.h"
#include "foundation/String.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace orvane {

class XmlNode;

// The frames the program sends on the server link, built but not sent. Each body is an
// XML element in the compact form (leaf children become attributes, in the order they are
// added; only "participants" nests). Ids are texts of 64-bit numbers; one that is not a
// number reads as far as its digits go, so a bad recipient addresses the server (0).
namespace ServerCommands {

// Frame types of the link.
enum FrameType : uint8_t {
    ModuleMessageFrame = 2,
    SessionMessageFrame = 3,
    PresenceFrame = 4,
    PresenceListFrame = 6,
    CommandFrame = 10,
    SignInFrame = 100,
    SignedInFrame = 101,
};

// The frame that opens every connection; it carries the password in the clear. The id
// lists hold ids each followed by ';'.
struct SignIn {
    String networkId;
    String userId;
    String userName;
    String password;
    String peerContacts;
    String contacts;
};
std::unique_ptr<Message> signIn(const SignIn& fields);

// Type 2: a module's text for one user. NULL data is sent as an empty text.
std::unique_ptr<Message> moduleMessage(const char* ownUserId, const char* moduleId, const char* userId,
                                       const char* data);
// Type 3: a session message, which the server may hold for an offline user when
// canBeOffline; `timestamp` is seconds since 1970.
std::unique_ptr<Message> sessionMessage(const char* ownUserId, const char* moduleId, const char* sessionId,
                                        const char* userId, const char* data, bool canBeOffline,
                                        int64_t timestamp);

// Type 10, the server's own commands.
std::unique_ptr<Message> getUserInfo(const char* ownUserId, const char* userId);
std::unique_ptr<Message> openServerChannel(const char* ownUserId, const char* protocol, int connectionId,
                                           const std::vector<uint64_t>& participants);
std::unique_ptr<Message> addContact(const char* ownUserId, const char* contactName, const char* networkId);
std::unique_ptr<Message> removeContact(const char* ownUserId, const char* contactId);

// A frame of the given type from the node, as every builder above makes it.
std::unique_ptr<Message> frameOf(uint8_t type, const char* ownUserId, const char* recipientId, const XmlNode& body);

} // namespace ServerCommands

} // namespace orvane
