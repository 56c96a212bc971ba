#include "server/AccountStore.h"

#include "server/PasswordHash.h"

#include <climits>
#include <sqlite3.h>

namespace orvane {

AccountStore::StoreException::~StoreException() = default;

namespace {

// One use of a statement: prepared on its first use and kept (keyed by its text's address,
// which is always a literal), reset however the block is left. Each failure of SQLite
// becomes a StoreException.
class Statement {
public:
    Statement(sqlite3* db, std::unordered_map<const char*, sqlite3_stmt*>& prepared, const char* sql)
    {
        sqlite3_stmt*& kept = prepared[sql];
        if (!kept && sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &kept, nullptr) != SQLITE_OK) {
            sqlite3_finalize(kept);
            kept = nullptr;
            throw AccountStore::StoreException();
        }
        statement_ = kept;
    }
    ~Statement()
    {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, uint64_t value)
    {
        check(sqlite3_bind_int64(statement_, index, static_cast<sqlite3_int64>(value)));
        return *this;
    }
    Statement& bind(int index, const String& text)
    {
        // Bound with its length: the bytes go in as they are, whatever they are.
        check(sqlite3_bind_text(statement_, index, text.c_str(), text.length(), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindBlob(int index, const uint8_t* bytes, int length)
    {
        check(sqlite3_bind_blob(statement_, index, length > 0 ? bytes : reinterpret_cast<const uint8_t*>(""),
                                length > 0 ? length : 0, SQLITE_TRANSIENT));
        return *this;
    }
    // True while it yields rows, false once done.
    bool step()
    {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throw AccountStore::StoreException();
    }
    uint64_t integer(int column) const
    {
        return static_cast<uint64_t>(sqlite3_column_int64(statement_, column));
    }
    String text(int column) const
    {
        const unsigned char* t = sqlite3_column_text(statement_, column);
        const int n = sqlite3_column_bytes(statement_, column);
        return t ? String(reinterpret_cast<const char*>(t), n) : String();
    }
    void blob(int column, ByteArray& out) const
    {
        const void* b = sqlite3_column_blob(statement_, column);
        const int n = sqlite3_column_bytes(statement_, column);
        out.setSize(0);
        if (b && n > 0)
            out.write(0, b, n);
    }

private:
    void check(int rc)
    {
        if (rc != SQLITE_OK)
            throw AccountStore::StoreException();
    }
    sqlite3_stmt* statement_ = nullptr;
};

// The columns id, user_name, network_id, email, first_name, last_name, web_site, in this
// order, at the start of a row.
void readAccount(const Statement& s, AccountRecord& account)
{
    account.id = s.integer(0);
    account.userName = s.text(1);
    account.networkId = s.text(2);
    account.email = s.text(3);
    account.firstName = s.text(4);
    account.lastName = s.text(5);
    account.webSite = s.text(6);
}

} // namespace

AccountStore::AccountStore(const char* path, int hashCost) : hashCost_(hashCost)
{
    const bool inMemory = !path || !*path;
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                      (inMemory ? SQLITE_OPEN_MEMORY : 0);
    if (sqlite3_open_v2(inMemory ? ":memory:" : path, &db_, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(db_);
        db_ = nullptr;
        throw StoreException();
    }
    try {
        // A file is written ahead and synced at checkpoints, not at every change: the
        // store's callers include the server's event loop, which must not wait for the
        // disk at each contact added or frame held. A crash of the process loses nothing;
        // a power cut may lose the last changes, never the file.
        if (!inMemory) {
            execute("PRAGMA journal_mode = WAL");
            execute("PRAGMA synchronous = NORMAL");
        }
        createSchema();
    } catch (...) {
        closeDatabase();
        throw;
    }
}

AccountStore::~AccountStore()
{
    closeDatabase();
}

void AccountStore::closeDatabase()
{
    for (auto& entry : prepared_)
        sqlite3_finalize(entry.second);
    prepared_.clear();
    sqlite3_close(db_);
    db_ = nullptr;
}

void AccountStore::execute(const char* sql)
{
    Statement s(db_, prepared_, sql);
    while (s.step()) {
    }
}

void AccountStore::createSchema()
{
    // Rows of other kinds may only name accounts that exist.
    execute("PRAGMA foreign_keys = ON");
    execute("CREATE TABLE IF NOT EXISTS accounts ("
            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
            " user_name TEXT NOT NULL UNIQUE,"
            " password_hash TEXT NOT NULL,"
            " network_id TEXT NOT NULL DEFAULT '',"
            " email TEXT NOT NULL DEFAULT '',"
            " first_name TEXT NOT NULL DEFAULT '',"
            " last_name TEXT NOT NULL DEFAULT '',"
            " web_site TEXT NOT NULL DEFAULT '')");
    execute("CREATE TABLE IF NOT EXISTS contacts ("
            " owner_id INTEGER NOT NULL REFERENCES accounts(id),"
            " contact_id INTEGER NOT NULL REFERENCES accounts(id),"
            " PRIMARY KEY (owner_id, contact_id))");
    execute("CREATE INDEX IF NOT EXISTS contacts_by_contact ON contacts (contact_id)");
    execute("CREATE TABLE IF NOT EXISTS held_frames ("
            " id INTEGER PRIMARY KEY AUTOINCREMENT,"
            " recipient_id INTEGER NOT NULL REFERENCES accounts(id),"
            " sender_id INTEGER NOT NULL,"
            " type INTEGER NOT NULL,"
            " body BLOB NOT NULL)");
    execute("CREATE INDEX IF NOT EXISTS held_by_recipient ON held_frames (recipient_id, id)");
}

// ---- accounts -------------------------------------------------------------------------------

AccountStore::CreateResult AccountStore::createAccount(const AccountRecord& details, const char* password,
                                                       uint64_t& id)
{
    id = 0;
    // The slow hash is made before the lock, so it holds up nobody else.
    const String hash = hashPassword(password, hashCost_);
    if (hash.isEmpty())
        return CreateFailed;
    std::lock_guard<std::mutex> guard(lock_);
    {
        Statement taken(db_, prepared_, "SELECT 1 FROM accounts WHERE user_name = ?1");
        taken.bind(1, details.userName);
        if (taken.step())
            return NameTaken;
    }
    {
        Statement maxId(db_, prepared_, "SELECT COALESCE(MAX(id), 0) FROM accounts");
        if (maxId.step() && maxId.integer(0) >= MaxUserId)
            return CreateFailed;
    }
    Statement insert(db_, prepared_, "INSERT INTO accounts (user_name, password_hash, network_id, email, first_name,"
                          " last_name, web_site) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    insert.bind(1, details.userName)
        .bind(2, hash)
        .bind(3, details.networkId)
        .bind(4, details.email)
        .bind(5, details.firstName)
        .bind(6, details.lastName)
        .bind(7, details.webSite);
    insert.step();
    id = static_cast<uint64_t>(sqlite3_last_insert_rowid(db_));
    return Created;
}

bool AccountStore::checkPassword(const char* userName, const char* password, AccountRecord* account)
{
    AccountRecord found;
    String hash;
    {
        std::lock_guard<std::mutex> guard(lock_);
        Statement s(db_, prepared_, "SELECT id, user_name, network_id, email, first_name, last_name, web_site,"
                         " password_hash FROM accounts WHERE user_name = ?1");
        s.bind(1, String(userName ? userName : ""));
        if (s.step()) {
            readAccount(s, found);
            hash = s.text(7);
        } else {
            hash = unknownUserHash_;
        }
    }
    // An unknown name costs as much as a wrong password, so the time of the answer does
    // not tell which names exist. The hash it is checked against is made on first need,
    // outside the lock like every slow hash.
    if (found.id == 0 && hash.isEmpty()) {
        const String made = hashPassword("", hashCost_);
        std::lock_guard<std::mutex> guard(lock_);
        if (unknownUserHash_.isEmpty())
            unknownUserHash_ = made;
        hash = unknownUserHash_;
    }
    if (!verifyPassword(password, hash.c_str()) || found.id == 0)
        return false;
    if (account)
        *account = found;
    return true;
}

bool AccountStore::findById(uint64_t id, AccountRecord& account)
{
    if (id == 0 || id > MaxUserId)
        return false;
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT id, user_name, network_id, email, first_name, last_name, web_site"
                     " FROM accounts WHERE id = ?1");
    s.bind(1, id);
    if (!s.step())
        return false;
    readAccount(s, account);
    return true;
}

bool AccountStore::findByName(const char* userName, AccountRecord& account)
{
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT id, user_name, network_id, email, first_name, last_name, web_site"
                     " FROM accounts WHERE user_name = ?1");
    s.bind(1, String(userName ? userName : ""));
    if (!s.step())
        return false;
    readAccount(s, account);
    return true;
}

bool AccountStore::updateAccount(const AccountRecord& details, const char* newPassword)
{
    String hash;
    if (newPassword && *newPassword) {
        hash = hashPassword(newPassword, hashCost_);
        if (hash.isEmpty())
            return false;
    }
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "UPDATE accounts SET email = ?2, first_name = ?3, last_name = ?4, web_site = ?5,"
                     " password_hash = CASE WHEN ?6 = '' THEN password_hash ELSE ?6 END WHERE id = ?1");
    s.bind(1, details.id)
        .bind(2, details.email)
        .bind(3, details.firstName)
        .bind(4, details.lastName)
        .bind(5, details.webSite)
        .bind(6, hash);
    s.step();
    return sqlite3_changes(db_) == 1;
}

String AccountStore::storedPasswordHash(uint64_t id)
{
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT password_hash FROM accounts WHERE id = ?1");
    s.bind(1, id);
    return s.step() ? s.text(0) : String();
}

// ---- contact lists --------------------------------------------------------------------------

AccountStore::AddResult AccountStore::addContact(uint64_t owner, uint64_t contact, int limit)
{
    std::lock_guard<std::mutex> guard(lock_);
    {
        Statement listed(db_, prepared_, "SELECT 1 FROM contacts WHERE owner_id = ?1 AND contact_id = ?2");
        listed.bind(1, owner).bind(2, contact);
        if (listed.step())
            return AlreadyListed;
    }
    {
        Statement count(db_, prepared_, "SELECT COUNT(*) FROM contacts WHERE owner_id = ?1");
        count.bind(1, owner);
        if (count.step() && count.integer(0) >= static_cast<uint64_t>(limit < 0 ? 0 : limit))
            return ListFull;
    }
    Statement insert(db_, prepared_, "INSERT INTO contacts (owner_id, contact_id) VALUES (?1, ?2)");
    insert.bind(1, owner).bind(2, contact);
    insert.step();
    return Added;
}

bool AccountStore::removeContact(uint64_t owner, uint64_t contact)
{
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "DELETE FROM contacts WHERE owner_id = ?1 AND contact_id = ?2");
    s.bind(1, owner).bind(2, contact);
    s.step();
    return sqlite3_changes(db_) > 0;
}

bool AccountStore::isListed(uint64_t owner, uint64_t contact)
{
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT 1 FROM contacts WHERE owner_id = ?1 AND contact_id = ?2");
    s.bind(1, owner).bind(2, contact);
    return s.step();
}

void AccountStore::listContacts(uint64_t owner, Array<AccountRecord>& contacts)
{
    contacts.setSize(0);
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT a.id, a.user_name, a.network_id, a.email, a.first_name, a.last_name, a.web_site"
                     " FROM contacts c JOIN accounts a ON a.id = c.contact_id"
                     " WHERE c.owner_id = ?1 ORDER BY c.rowid");
    s.bind(1, owner);
    while (s.step()) {
        AccountRecord record;
        readAccount(s, record);
        contacts.add(record);
    }
}

void AccountStore::listWatchers(uint64_t account, Array<uint64_t>& watchers)
{
    watchers.setSize(0);
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT owner_id FROM contacts WHERE contact_id = ?1 ORDER BY rowid");
    s.bind(1, account);
    while (s.step())
        watchers.add(s.integer(0));
}

// ---- held frames ----------------------------------------------------------------------------

AccountStore::HoldResult AccountStore::holdFrame(uint64_t recipient, uint64_t sender, uint8_t type,
                                                 const uint8_t* body, int length, int maxCount, int maxBytes)
{
    if (length < 0)
        length = 0;
    std::lock_guard<std::mutex> guard(lock_);
    {
        Statement usage(db_, prepared_, "SELECT COUNT(*), COALESCE(SUM(LENGTH(body)), 0) FROM held_frames"
                             " WHERE recipient_id = ?1");
        usage.bind(1, recipient);
        if (usage.step()) {
            const uint64_t count = usage.integer(0);
            const uint64_t bytes = usage.integer(1);
            if (count + 1 > static_cast<uint64_t>(maxCount < 0 ? 0 : maxCount) ||
                bytes + static_cast<uint64_t>(length) > static_cast<uint64_t>(maxBytes < 0 ? 0 : maxBytes))
                return HoldFull;
        }
    }
    Statement insert(db_, prepared_, "INSERT INTO held_frames (recipient_id, sender_id, type, body) VALUES (?1, ?2, ?3, ?4)");
    insert.bind(1, recipient).bind(2, sender).bind(3, static_cast<uint64_t>(type)).bindBlob(4, body, length);
    insert.step();
    return Held;
}

void AccountStore::takeHeldFrames(uint64_t recipient, Array<HeldFrame>& frames)
{
    frames.setSize(0);
    std::lock_guard<std::mutex> guard(lock_);
    execute("BEGIN");
    try {
        uint64_t last = 0;
        {
            Statement s(db_, prepared_, "SELECT id, sender_id, type, body FROM held_frames WHERE recipient_id = ?1 ORDER BY id");
            s.bind(1, recipient);
            while (s.step()) {
                HeldFrame frame;
                last = s.integer(0);
                frame.senderId = s.integer(1);
                frame.type = static_cast<uint8_t>(s.integer(2));
                s.blob(3, frame.body);
                frames.add(frame);
            }
        }
        Statement erase(db_, prepared_, "DELETE FROM held_frames WHERE recipient_id = ?1 AND id <= ?2");
        erase.bind(1, recipient).bind(2, last);
        erase.step();
        execute("COMMIT");
    } catch (...) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        frames.setSize(0);
        throw;
    }
}

int AccountStore::countHeldFrames(uint64_t recipient)
{
    std::lock_guard<std::mutex> guard(lock_);
    Statement s(db_, prepared_, "SELECT COUNT(*) FROM held_frames WHERE recipient_id = ?1");
    s.bind(1, recipient);
    return s.step() ? static_cast<int>(s.integer(0)) : 0;
}

} // namespace orvane
