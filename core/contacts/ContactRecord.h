#pragma once

#include "core/module/ModuleInterfaces.h"
#include "foundation/Socket.h"
#include "foundation/String.h"

#include <cstdint>
#include <string>

namespace orvane {

// One user the program knows: a contact of the signed-in user's list, or anyone who sent
// something. Modules see it as IContact. The records belong to the application's contact
// list; every field is written on the user-interface thread only (the sign-in reply, the
// server's frames and the commands all reach the records there), so the user-interface
// thread reads them freely and other threads go through the application's lock.
class ContactRecord : public IContact {
public:
    // A record with the given id (NULL: empty), empty texts, offline and not listed.
    explicit ContactRecord(const char* id = nullptr);
    ~ContactRecord() override;

    bool isOnline() override { return status != 0; }
    const char* getId() override { return id.c_str(); }
    // First and last name with a blank between, trimmed; the user name when that leaves
    // nothing. The text stays valid until the next call on this record.
    const char* getDisplayName() override;
    const char* getUserName() override { return userName.c_str(); }
    const char* getFirstName() override { return firstName.c_str(); }
    const char* getLastName() override { return lastName.c_str(); }
    const char* getAuxText() override { return auxText.c_str(); }
    virtual bool isListed() { return listed; }
    // The display name's key in the order of names (core/contacts/NameOrder.h); made again
    // only when the display name has changed since the last call.
    const std::string& sortKey();

    // The decimal 64-bit user id; fixed for a contact, the own user's is set at sign-in.
    String id;
    // Where the contact was last reported to be, from its presence record.
    SocketAddress endpoint;
    String userName;
    String firstName;
    String lastName;
    String email;
    String webSite;
    // Nothing sets it; modules may read it.
    String auxText;
    // 0 offline, 1 online; other values from the server are kept as they come and count
    // as online.
    int status = 0;
    // In the signed-in user's contact list (rather than known only from a message).
    bool listed = false;

private:
    String displayName_;
    // The display name the key was made of.
    String sortKeyName_;
    std::string sortKey_;
    bool hasSortKey_ = false;
};

// The 16-byte presence record of the server's presence frames:
//   0  user id, 64 bits    8  status    9  IPv4 address, first byte first
//  13  port (16 bits)     15  unused
// Multi-byte fields are big-endian. The callers check that the record lies inside what
// they received before they read it.
namespace presence {

constexpr int RecordSize = 16;

uint64_t readId(const uint8_t* record);
// Status and endpoint of the record into the contact.
void apply(const uint8_t* record, ContactRecord& contact);

} // namespace presence

} // namespace orvane
