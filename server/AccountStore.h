#pragma once

#include "foundation/Containers.h"
#include "foundation/Exception.h"
#include "foundation/String.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane {

// One account as the server keeps it (never with its password).
struct AccountRecord {
    uint64_t id = 0;
    String userName;
    String networkId;
    String email;
    String firstName;
    String lastName;
    String webSite;
};

// A session frame kept for an account that was offline when it was sent.
struct HeldFrame {
    uint64_t senderId = 0;
    uint8_t type = 0;
    ByteArray body;
};

// Accounts, contact lists and held frames in one SQLite database: a file, or memory when
// no path is given. Every statement is prepared with bound parameters; nothing a peer
// sends is ever part of SQL text. One connection serves every thread, one call at a time.
//
// A database failure (a full disk, a damaged file) is a StoreException; lookups that find
// nothing answer false.
class AccountStore {
public:
    ORVANE_EXCEPTION(StoreException, Exception);

    // Ids travel as their low 40 bits: no account may have a larger one.
    static constexpr uint64_t MaxUserId = (uint64_t(1) << 40) - 1;

    enum CreateResult { Created, NameTaken, CreateFailed };
    enum AddResult { Added, AlreadyListed, ListFull };
    enum HoldResult { Held, HoldFull };

    // Opens (creating when needed) the database; StoreException when it cannot.
    // `hashCost` is the work factor of the password hashes made from now on.
    AccountStore(const char* path, int hashCost);
    ~AccountStore();
    AccountStore(const AccountStore&) = delete;
    AccountStore& operator=(const AccountStore&) = delete;

    // A new account with the details' texts (the id is ignored) and the password's hash.
    CreateResult createAccount(const AccountRecord& details, const char* password, uint64_t& id);
    // The account named exactly so, when the password matches its hash.
    bool checkPassword(const char* userName, const char* password, AccountRecord* account);
    bool findById(uint64_t id, AccountRecord& account);
    bool findByName(const char* userName, AccountRecord& account);
    // E-mail, names and web site of the account with details.id; a non-empty password
    // replaces the stored one. False when there is no such account.
    bool updateAccount(const AccountRecord& details, const char* newPassword);

    // The owner's list, in the order the contacts were added. `limit` bounds its length.
    AddResult addContact(uint64_t owner, uint64_t contact, int limit);
    bool removeContact(uint64_t owner, uint64_t contact);
    bool isListed(uint64_t owner, uint64_t contact);
    void listContacts(uint64_t owner, Array<AccountRecord>& contacts);
    // The accounts whose lists hold this one, in the order they added it.
    void listWatchers(uint64_t account, Array<uint64_t>& watchers);

    // Keeps a frame for the recipient unless that would pass either bound on what one
    // account may have waiting.
    HoldResult holdFrame(uint64_t recipient, uint64_t sender, uint8_t type, const uint8_t* body, int length,
                         int maxCount, int maxBytes);
    // The recipient's held frames, oldest first, removed from the store.
    void takeHeldFrames(uint64_t recipient, Array<HeldFrame>& frames);
    int countHeldFrames(uint64_t recipient);

    // The stored hash text of an account (tests look at how passwords are kept).
    String storedPasswordHash(uint64_t id);

private:
    void execute(const char* sql);
    void createSchema();
    void closeDatabase();

    std::mutex lock_;
    sqlite3* db_ = nullptr;
    // Every statement is prepared once and kept, under the lock like the connection.
    std::unordered_map<const char*, sqlite3_stmt*> prepared_;
    int hashCost_;
    // Checked against when a sign-in names no account (made on first need).
    String unknownUserHash_;
};

} // namespace orvane
