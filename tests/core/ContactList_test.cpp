// The contact list on its own: the order of names as a locale sorts them, the look-up by
// id that keeps long lists cheap, and a client that takes a long list and a crowd of
// strangers on its user-interface thread.

#include "core/contacts/ContactList.h"
#include "core/contacts/NameOrder.h"
#include "tests/core/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

using Names = std::vector<std::string>;

// Runs `work` on a thread of its own, whose collator is made under the locale `name` (the
// collator of a thread is made on its first use).
template <class Work>
void inLocale(const char* name, Work work)
{
    ScopedEnv all("LC_ALL", name);
    std::thread([&] { work(); }).join();
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// The user names of the list, in its order.
Names namesOf(const ContactList& list)
{
    Names names;
    for (int i = 0; i < list.count(); ++i)
        names.push_back(list.at(i)->getUserName());
    return names;
}

void addNamed(ContactList& list, const char* id, const char* name, int status = 0)
{
    ContactRecord* record = list.add(id);
    record->userName = name;
    record->status = status;
    record->listed = true;
}

} // namespace

TEST(NameOrder, NamesRankByLetterThenAccentIgnoringCase)
{
    const struct {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"bob", "Bob", 0},
        {"BOB", "bob", 0},
        {"emile", "\xc3\x89mile", -1},          // the plain letter before the accented one
        {"\xc3\xa9mile", "\xc3\x89MILE", 0},    // é and É differ only in case
        {"\xc3\x89mile", "Eva", -1},            // the accent counts only after the letters
        {"\xc3\x89mile", "zoe", -1},            // not after every ASCII name, as bytes would have it
        {"anna", "Carl", -1},                   // case does not move a name to the front
        {"[x]", "anna", -1},
        {"", "a", -1},
        // Not UTF-8: each byte is its Latin-1 letter, 0xC9 being É.
        {"\xc9mile", "\xc3\x89mile", 0},
        {"\xc9mile", "Eva", -1},
    };
    inLocale("C", [&] {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.a) + " / " + c.b);
            EXPECT_EQ(sign(compareNames(c.a, c.b)), c.expected);
            EXPECT_EQ(sign(compareNames(c.b, c.a)), -c.expected);
            EXPECT_EQ(sign(nameSortKey(c.a).compare(nameSortKey(c.b))), c.expected);
        }
        EXPECT_EQ(nameSortKey(nullptr), nameSortKey(""));
    });
}

TEST(NameOrder, TheUsersLocaleDecidesWhereItsOwnLettersGo)
{
    // Swedish sorts ö after z; the common order puts it beside o.
    const char* const oskar = "\xc3\x96sten";
    inLocale("sv_SE.UTF-8", [&] { EXPECT_GT(compareNames(oskar, "zoe"), 0); });
    inLocale("en_GB.UTF-8", [&] { EXPECT_LT(compareNames(oskar, "Pia"), 0); });
    inLocale("C", [&] { EXPECT_LT(compareNames(oskar, "Pia"), 0); });
    // A locale ICU does not know still sorts, in the common order.
    inLocale("xx_nowhere.UTF-8", [&] { EXPECT_LT(compareNames(oskar, "Pia"), 0); });
}

TEST(Contacts, TheListSortsOfflineFirstThenAsTheLocaleOrdersNames)
{
    inLocale("C", [] {
        ContactList list;
        addNamed(list, "1", "zoe");
        addNamed(list, "2", "\xc3\x89mile");
        addNamed(list, "3", "bob", 1);
        addNamed(list, "4", "Eva");
        addNamed(list, "5", "emile");
        addNamed(list, "6", "Anna", 1);
        addNamed(list, "7", "EVA");
        list.sort();
        // Equal names keep the order they had.
        EXPECT_EQ(namesOf(list), (Names{"emile", "\xc3\x89mile", "Eva", "EVA", "zoe", "Anna", "bob"}));

        // A name that changes is sorted by its new text.
        list.find("1")->firstName = "Adam";
        list.sort();
        EXPECT_STREQ(list.at(0)->getId(), "1");
    });
}

TEST(Contacts, LookUpsByIdSeeEveryAddAndForgetEveryRecordAtClear)
{
    ContactList list;
    EXPECT_EQ(list.add(nullptr), nullptr);
    EXPECT_EQ(list.find(nullptr), nullptr);
    ContactRecord* first = list.add("12");
    EXPECT_EQ(list.add("12"), first) << "an id is in the list once";
    EXPECT_EQ(list.get("12"), first);
    EXPECT_EQ(list.find("12"), first);
    EXPECT_EQ(list.find("1"), nullptr) << "ids match whole, not by prefix";
    EXPECT_EQ(list.find("120"), nullptr);
    EXPECT_STREQ(first->getUserName(), "Unknown 12");
    EXPECT_EQ(list.count(), 1);

    // The index follows the records through a sort.
    list.add("5")->userName = "a";
    first->userName = "b";
    list.sort();
    EXPECT_EQ(list.at(1), first);
    EXPECT_EQ(list.find("12"), first);

    list.clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.find("12"), nullptr);
    ContactRecord* again = list.add("12");
    EXPECT_EQ(list.count(), 1);
    EXPECT_STREQ(again->getUserName(), "Unknown 12") << "a fresh record after the clear";
    EXPECT_FALSE(again->isListed());
}

TEST(ContactsAtScale, ALongSignInReplyAndACrowdOfStrangersCostTimeInStepWithTheirNumber)
{
    // Twenty thousand contacts and as many strangers took the list, searched along its
    // length for every id, some fifty seconds here; in step with their number they take a
    // fraction of one. The bound leaves room for a loaded machine, not for a search along
    // the list.
    constexpr int Contacts = 20000;
    constexpr int Strangers = 20000;
    std::string reply = "LOGIN SUCCESS\nhost:1\n\n\n";
    for (int i = 0; i < Contacts; ++i)
        reply += std::to_string(1000000 + i) + "\tuser" + std::to_string(i) + "\tFirst" + std::to_string(i % 97) +
                 "\tLast\t\t\n";
    reply += "\n\n7\n";
    const SignInReply parsed = SignInReply::parse(reply.c_str());
    ASSERT_EQ(parsed.outcome, SignInReply::Success);

    ClientFolders folders;
    TestClient client(folders);
    ASSERT_TRUE(client.start());
    const auto t0 = std::chrono::steady_clock::now();
    client.onUi([&] {
        client.app->applySignInReply(parsed);
        for (int i = 0; i < Strangers; ++i)
            client.app->getContact(std::to_string(5000000 + i).c_str());
        client.app->sortContacts();
    });
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%d contacts and %d strangers applied and sorted in %.2f s\n", Contacts, Strangers, seconds);
    EXPECT_LT(seconds, 15.0);

    client.onUi([&] {
        EXPECT_EQ(client.app->getContactCount(), Contacts + Strangers);
        ContactRecord* contact = client.app->findContact("1012345");
        ASSERT_NE(contact, nullptr);
        EXPECT_STREQ(contact->getUserName(), "user12345");
        EXPECT_TRUE(contact->isListed());
        ContactRecord* stranger = client.app->findContact("5012345");
        ASSERT_NE(stranger, nullptr);
        EXPECT_FALSE(stranger->isListed());
        EXPECT_EQ(client.app->getContact("5012345"), stranger) << "a stranger who writes again keeps one record";
    });
}
