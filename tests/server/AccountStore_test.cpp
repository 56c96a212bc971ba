// Accounts, contact lists and held frames in SQLite, in memory and in a file.

#include "ServerTestSupport.h"

#include "../foundation/TempDirectory.h"

#include <sqlite3.h>

using namespace orvane;
using namespace orvane::testing;

namespace {

AccountRecord named(const char* name)
{
    AccountRecord r;
    r.userName = name;
    return r;
}

TEST(AccountStore, AccountsByNameAndPassword)
{
    AccountStore store("", 1);
    uint64_t alice = 0, bob = 0, again = 0;
    AccountRecord details = named("alice");
    details.firstName = "Alice";
    details.email = "alice@example.org";
    ASSERT_EQ(store.createAccount(details, "secret1", alice), AccountStore::Created);
    ASSERT_EQ(store.createAccount(named("bob"), "secret2", bob), AccountStore::Created);
    EXPECT_NE(alice, bob);
    EXPECT_EQ(store.createAccount(named("alice"), "other", again), AccountStore::NameTaken);
    EXPECT_EQ(again, 0u);

    AccountRecord found;
    ASSERT_TRUE(store.checkPassword("alice", "secret1", &found));
    EXPECT_EQ(found.id, alice);
    EXPECT_EQ(String("Alice"), found.firstName);
    EXPECT_EQ(String("alice@example.org"), found.email);
    EXPECT_FALSE(store.checkPassword("alice", "secret2", nullptr));
    EXPECT_FALSE(store.checkPassword("alice", "", nullptr));
    EXPECT_FALSE(store.checkPassword("Alice", "secret1", nullptr)); // names are exact
    EXPECT_FALSE(store.checkPassword("nobody", "secret1", nullptr));
    EXPECT_TRUE(store.findByName("bob", found));
    EXPECT_EQ(found.id, bob);
    EXPECT_FALSE(store.findById(999, found));
    EXPECT_FALSE(store.findById(0, found));
}

TEST(AccountStore, PasswordsAreKeptAsSaltedHashes)
{
    AccountStore store("", 1);
    uint64_t a = 0, b = 0;
    store.createAccount(named("alice"), "same password", a);
    store.createAccount(named("bob"), "same password", b);
    const String ha = store.storedPasswordHash(a);
    const String hb = store.storedPasswordHash(b);
    EXPECT_TRUE(ha.startsWith("$y$")) << ha.c_str();
    EXPECT_LT(ha.find("same password"), 0);
    EXPECT_NE(ha, hb) << "the same password must hash differently for two accounts";
}

TEST(AccountStore, UpdateKeepsThePasswordWhenNoneIsGiven)
{
    AccountStore store("", 1);
    uint64_t id = 0;
    store.createAccount(named("alice"), "old", id);
    AccountRecord details;
    details.id = id;
    details.lastName = "Liddell";
    ASSERT_TRUE(store.updateAccount(details, ""));
    EXPECT_TRUE(store.checkPassword("alice", "old", &details));
    EXPECT_EQ(String("Liddell"), details.lastName);
    EXPECT_EQ(String("alice"), details.userName); // the name is not changed
    ASSERT_TRUE(store.updateAccount(details, "new"));
    EXPECT_FALSE(store.checkPassword("alice", "old", nullptr));
    EXPECT_TRUE(store.checkPassword("alice", "new", nullptr));
    details.id = 999;
    EXPECT_FALSE(store.updateAccount(details, "x"));
}

TEST(AccountStore, ContactListsKeepTheirOrderAndTheirBound)
{
    AccountStore store("", 1);
    uint64_t a, b, c, d;
    store.createAccount(named("a"), "p", a);
    store.createAccount(named("b"), "p", b);
    store.createAccount(named("c"), "p", c);
    store.createAccount(named("d"), "p", d);
    EXPECT_EQ(store.addContact(a, d, 2), AccountStore::Added);
    EXPECT_EQ(store.addContact(a, b, 2), AccountStore::Added);
    EXPECT_EQ(store.addContact(a, b, 2), AccountStore::AlreadyListed);
    EXPECT_EQ(store.addContact(a, c, 2), AccountStore::ListFull);
    EXPECT_EQ(store.addContact(c, b, 2), AccountStore::Added);

    Array<AccountRecord> list;
    store.listContacts(a, list);
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list[0].id, d);
    EXPECT_EQ(list[1].id, b);
    Array<uint64_t> watchers;
    store.listWatchers(b, watchers);
    ASSERT_EQ(watchers.count(), 2);
    EXPECT_EQ(watchers[0], a);
    EXPECT_EQ(watchers[1], c);

    EXPECT_TRUE(store.removeContact(a, b));
    EXPECT_FALSE(store.removeContact(a, b));
    EXPECT_FALSE(store.isListed(a, b));
    EXPECT_TRUE(store.isListed(a, d));
    EXPECT_EQ(store.addContact(a, c, 2), AccountStore::Added);
}

TEST(AccountStore, HeldFramesComeBackOnceInOrderWithinTheirBounds)
{
    AccountStore store("", 1);
    uint64_t a, b;
    store.createAccount(named("a"), "p", a);
    store.createAccount(named("b"), "p", b);
    const uint8_t one[] = {'1'}, two[] = {'2', '2'}, big[10] = {};
    EXPECT_EQ(store.holdFrame(b, a, 3, one, 1, 3, 12), AccountStore::Held);
    EXPECT_EQ(store.holdFrame(b, a, 3, two, 2, 3, 12), AccountStore::Held);
    EXPECT_EQ(store.holdFrame(b, a, 3, big, 10, 3, 12), AccountStore::HoldFull) << "13 bytes > 12";
    EXPECT_EQ(store.holdFrame(b, a, 3, one, 1, 3, 12), AccountStore::Held);
    EXPECT_EQ(store.holdFrame(b, a, 3, one, 1, 3, 12), AccountStore::HoldFull) << "a fourth frame > 3";
    EXPECT_EQ(store.countHeldFrames(a), 0);

    Array<HeldFrame> frames;
    store.takeHeldFrames(b, frames);
    ASSERT_EQ(frames.count(), 3);
    EXPECT_EQ(frames[0].senderId, a);
    EXPECT_EQ(frames[0].type, 3);
    ASSERT_EQ(frames[1].body.count(), 2);
    EXPECT_EQ(frames[1].body[0], '2');
    store.takeHeldFrames(b, frames);
    EXPECT_EQ(frames.count(), 0);
}

TEST(AccountStore, AFileKeepsEverythingAcrossRestarts)
{
    TempDirectory dir;
    const std::string path = dir / "accounts.db";
    uint64_t a, b;
    {
        AccountStore store(path.c_str(), 1);
        store.createAccount(named("alice"), "secret1", a);
        store.createAccount(named("bob"), "secret2", b);
        store.addContact(a, b, 10);
        const uint8_t body[] = {'x'};
        store.holdFrame(b, a, 3, body, 1, 10, 100);
    }
    AccountStore store(path.c_str(), 1);
    EXPECT_TRUE(store.checkPassword("alice", "secret1", nullptr));
    EXPECT_TRUE(store.isListed(a, b));
    EXPECT_EQ(store.countHeldFrames(b), 1);
    uint64_t c;
    ASSERT_EQ(store.createAccount(named("carol"), "p", c), AccountStore::Created);
    EXPECT_GT(c, b) << "ids are never reused";
}

TEST(AccountStore, AFileThatIsNoDatabaseIsAStoreException)
{
    TempDirectory dir;
    writeBytes(dir / "junk.db", std::string(4096, 'j'));
    EXPECT_THROW(AccountStore((dir / "junk.db").c_str(), 1), AccountStore::StoreException);
    EXPECT_THROW(AccountStore((dir / "missing/dir/x.db").c_str(), 1), AccountStore::StoreException);
}

TEST(AccountStore, NamesAreStoredAsTheirBytes)
{
    // Quotes and SQL-looking names go in as bound values, never as SQL text.
    AccountStore store("", 1);
    const char* names[] = {"o'brien", "x\"; DROP TABLE accounts; --", "caf\xe9", "%_*"};
    for (const char* name : names) {
        uint64_t id = 0;
        ASSERT_EQ(store.createAccount(named(name), "p", id), AccountStore::Created) << name;
        AccountRecord found;
        ASSERT_TRUE(store.findByName(name, found)) << name;
        EXPECT_EQ(found.userName, String(name));
    }
    AccountRecord found;
    EXPECT_FALSE(store.findByName("%", found));
}

} // namespace
