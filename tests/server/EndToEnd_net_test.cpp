// The real orvane-server program with its accounts in memory, and three clients on real
// loopback sockets made of the program's own pieces: the HTTP client and form encoder for
// the account forms, and the frame of the server link. They sign up, sign in, watch each
// other's presence, manage their contact lists and exchange module and session messages,
// one of them held while its recipient is offline; no frame reaches anyone it was not
// meant for.

#include "ServerProcess.h"
#include "ServerTestSupport.h"

#include "core/Message.h"
#include "foundation/Conversions.h"
#include "foundation/Socket.h"
#include "foundation/XmlNode.h"
#include "network/FormFields.h"
#include "network/HttpClient.h"

#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

struct Received {
    uint8_t type;
    uint64_t recipient;
    uint64_t sender;
    std::string body;
};

std::string bodyOf(const Message& m)
{
    String text;
    m.getBody(text);
    return std::string(text.c_str(), text.length());
}

XmlNode parsed(const std::string& text)
{
    XmlNode node;
    node.parse(text.c_str());
    return node;
}

std::string childText(const std::string& xml, const char* name)
{
    XmlNode node = parsed(xml);
    return node.childOrEmpty(name)->value.c_str();
}

std::string postForm(uint16_t port, const std::vector<std::pair<const char*, std::string>>& fields)
{
    HttpClient http;
    FormFields form;
    for (const auto& f : fields)
        form.field(f.first) = f.second.c_str();
    ByteArray out;
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/orvane";
    http.postForm(url.c_str(), &form, &out);
    return std::string(reinterpret_cast<const char*>(out.data()), out.count());
}

class Client {
public:
    Client(ServerProcess& server, const char* name, const char* password)
        : server_(server), name_(name), password_(password)
    {
    }
    ~Client() { leave(); }

    uint64_t signUp()
    {
        const std::string reply = postForm(server_.httpPort(), {{"CMD", "CREATE_USER"},
                                                                {"User_Name", name_},
                                                                {"Email", name_ + "@example.org"},
                                                                {"First_Name", name_},
                                                                {"Last_Name", ""},
                                                                {"Password", password_},
                                                                {"Web_Site", ""},
                                                                {"Network_ID", ""}});
        EXPECT_EQ(childText(reply, "status"), "SUCCESS") << reply;
        id = parseUInt64(childText(reply, "userID").c_str());
        return id;
    }

    // The sign-in form, then the link: the sign-in frame answered by 101 and the presence
    // list, which is returned as (id, status) pairs.
    std::vector<std::pair<uint64_t, int>> signIn(std::vector<std::string>* lines = nullptr)
    {
        const std::string reply = postForm(
            server_.httpPort(), {{"CMD", "LOGIN"}, {"user", name_}, {"password", password_}, {"network_id", ""}});
        std::vector<std::string> split;
        size_t start = 0;
        for (size_t lf; (lf = reply.find('\n', start)) != std::string::npos; start = lf + 1)
            split.push_back(reply.substr(start, lf - start));
        split.push_back(reply.substr(start));
        EXPECT_GE(split.size(), 7u) << reply;
        if (split.size() < 7)
            return {};
        EXPECT_EQ(split[0], "LOGIN SUCCESS");
        EXPECT_EQ(split[1], "127.0.0.1:" + std::to_string(server_.messagePort()));
        EXPECT_EQ(split.back(), std::to_string(id));
        if (lines)
            *lines = split;

        socket_.create();
        SocketAddress address;
        address.setHost("127.0.0.1", server_.messagePort());
        connectSocket(socket_.handle, address);
        reader_.reset(new Message(socket_, 100));
        XmlNode signIn("message");
        signIn.addChild("network_id", "");
        signIn.addChild("user_id", uint64ToString(id));
        signIn.addChild("user_name", name_.c_str());
        signIn.addChild("password", password_.c_str());
        signIn.addChild("status", "1");
        signIn.addChild("peer_contacts", "");
        signIn.addChild("contacts", "");
        send(100, 0, signIn);
        const Received signedIn = next();
        EXPECT_EQ(signedIn.type, 101);
        EXPECT_EQ(childText(signedIn.body, "external_address"), "127.0.0.1");
        const Received list = next();
        EXPECT_EQ(list.type, 6);
        return presenceRecords(list.body);
    }

    void leave()
    {
        socket_.close();
        reader_.reset();
    }

    void send(uint8_t type, uint64_t recipient, const XmlNode& body, uint64_t claimedSender = 0)
    {
        Message frame;
        frame.build(type, recipient, 0, claimedSender ? claimedSender : id, 0, body);
        frame.write(socket_.handle);
    }
    void sendModule(uint64_t to, const char* data, uint64_t claimedSender = 0)
    {
        XmlNode m("message");
        m.addChild("module_id", "chat");
        m.addChild("data", data);
        send(2, to, m, claimedSender);
    }
    void sendSession(uint64_t to, const char* data, bool canBeOffline)
    {
        XmlNode m("message");
        m.addChild("module_id", "chat");
        m.addChild("session_id", "s1");
        m.addChild("data", data);
        m.addChild("can_be_offline", canBeOffline ? "yes" : "no");
        m.addChild("timestamp", "1700000000");
        send(3, to, m);
    }
    void command(const char* name, const char* key, const std::string& value)
    {
        XmlNode c;
        c.addChild("command", name);
        c.addChild(key, value.c_str());
        if (std::string(name) == "ADD_CONTACT")
            c.addChild("network_id", "");
        send(10, 0, c);
    }

    // The next frame, within the time limit (a failure otherwise).
    Received next(int timeoutMs = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            try {
                reader_->read();
                Received r{reader_->type, reader_->recipientId, reader_->senderId, bodyOf(*reader_)};
                all.push_back(r);
                return r;
            } catch (const TimeoutException&) {
                if (std::chrono::steady_clock::now() > end) {
                    ADD_FAILURE() << name_ << ": no frame in time";
                    return Received{0, 0, 0, ""};
                }
            } catch (const Exception&) {
                ADD_FAILURE() << name_ << ": the link ended";
                return Received{0, 0, 0, ""};
            }
        }
    }

    // Every frame the server queued for this client before now: it answers a request for
    // the client's own information after them.
    std::vector<Received> drain()
    {
        XmlNode c;
        c.addChild("command", "GET_USER_INFO");
        send(10, id, c);
        std::vector<Received> before;
        for (;;) {
            Received r = next();
            if (r.type == 0)
                return before;
            if (r.type == 10 && childText(r.body, "command") == "USER_INFO") {
                all.pop_back();
                return before;
            }
            before.push_back(r);
        }
    }

    uint64_t id = 0;
    std::vector<Received> all;

private:
    ServerProcess& server_;
    std::string name_;
    std::string password_;
    Socket socket_;
    std::unique_ptr<Message> reader_;
};

void expectPresence(const Received& r, uint64_t recipient, uint64_t who, int status)
{
    EXPECT_EQ(r.type, 4);
    EXPECT_EQ(r.recipient, recipient);
    EXPECT_EQ(r.sender, who) << "a single presence record comes from its account";
    const auto records = presenceRecords(r.body);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].first, who);
    EXPECT_EQ(records[0].second, status);
}

void expectCommand(const Received& r, const char* command)
{
    EXPECT_EQ(r.type, 10);
    EXPECT_EQ(r.sender, 0u);
    EXPECT_EQ(childText(r.body, "command"), command) << r.body;
}

std::multiset<std::string> dataOf(const Client& c)
{
    std::multiset<std::string> out;
    for (const Received& r : c.all)
        if (r.type == 2 || r.type == 3)
            out.insert(childText(r.body, "data"));
    return out;
}

TEST(ServerEndToEnd, ThreeClients)
{
    ServerProcess server;
    ASSERT_TRUE(server.start({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--in-memory"}));
    Client alice(server, "alice", "secret1"), bob(server, "bob", "secret2"), carol(server, "carol", "secret3");
    alice.signUp();
    bob.signUp();
    carol.signUp();
    ASSERT_TRUE(alice.id && bob.id && carol.id);
    EXPECT_EQ(childText(postForm(server.httpPort(), {{"CMD", "CREATE_USER"}, {"User_Name", "bob"}, {"Password", "x"}}),
                        "status"),
              "FAILED");

    // Alice signs in alone and lists bob and carol while they are offline.
    EXPECT_TRUE(alice.signIn().empty());
    alice.command("ADD_CONTACT", "contact_name", "bob");
    Received added = alice.next();
    expectCommand(added, "CONTACT_ADDED");
    EXPECT_EQ(parsed(added.body).childOrEmpty("NewContact")->childOrEmpty("UserID")->value, uint64ToString(bob.id));
    alice.command("ADD_CONTACT", "contact_name", "carol");
    expectCommand(alice.next(), "CONTACT_ADDED");
    alice.command("ADD_CONTACT", "contact_name", "nobody");
    expectCommand(alice.next(), "CONTACT_NOT_ADDED");

    // Bob comes: alice sees him; he lists alice and sees her at once.
    EXPECT_TRUE(bob.signIn().empty());
    expectPresence(alice.next(), alice.id, bob.id, 1);
    bob.command("ADD_CONTACT", "contact_name", "alice");
    expectCommand(bob.next(), "CONTACT_ADDED");
    expectPresence(bob.next(), bob.id, alice.id, 1);

    // Carol's sign-in reply names alice among the accounts that list her.
    std::vector<std::string> lines;
    EXPECT_TRUE(carol.signIn(&lines).empty());
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], std::to_string(alice.id));
    expectPresence(alice.next(), alice.id, carol.id, 1);
    carol.command("ADD_CONTACT", "contact_name", "alice");
    expectCommand(carol.next(), "CONTACT_ADDED");
    expectPresence(carol.next(), carol.id, alice.id, 1);
    carol.command("ADD_CONTACT", "contact_name", "bob");
    expectCommand(carol.next(), "CONTACT_ADDED");
    expectPresence(carol.next(), carol.id, bob.id, 1);

    // Messages: the sender is the connection's account, whatever the frame claims.
    alice.sendModule(bob.id, "a2b", carol.id);
    Received m = bob.next();
    EXPECT_EQ(m.type, 2);
    EXPECT_EQ(m.sender, alice.id);
    EXPECT_EQ(childText(m.body, "data"), "a2b");
    bob.sendSession(carol.id, "b2c-live", false);
    m = carol.next();
    EXPECT_EQ(m.type, 3);
    EXPECT_EQ(m.sender, bob.id);
    EXPECT_EQ(childText(m.body, "data"), "b2c-live");

    // Carol goes: alice, who lists her, sees it; bob does not list her.
    carol.leave();
    expectPresence(alice.next(), alice.id, carol.id, 0);
    // While she is away, one session message may wait for her and one may not.
    alice.sendSession(carol.id, "a2c-held", true);
    alice.sendSession(carol.id, "a2c-lost", false);
    EXPECT_TRUE(alice.drain().empty());

    // Carol comes back: her list, both contacts online, then the held message.
    const auto online = carol.signIn(&lines);
    ASSERT_EQ(online.size(), 2u);
    EXPECT_EQ(online[0], std::make_pair(alice.id, 1));
    EXPECT_EQ(online[1], std::make_pair(bob.id, 1));
    EXPECT_EQ(lines[4], std::to_string(alice.id) + "\talice\talice\t\talice@example.org\t");
    EXPECT_EQ(lines[5], std::to_string(bob.id) + "\tbob\tbob\t\tbob@example.org\t");
    m = carol.next();
    EXPECT_EQ(m.type, 3);
    EXPECT_EQ(m.sender, alice.id);
    EXPECT_EQ(childText(m.body, "data"), "a2c-held");
    expectPresence(alice.next(), alice.id, carol.id, 1);

    // Alice removes carol; carol's going no longer reaches her.
    alice.command("REMOVE_CONTACT", "contact_id", uint64ToString(carol.id).c_str());
    Received removed = alice.next();
    expectCommand(removed, "CONTACT_REMOVED");
    EXPECT_EQ(childText(removed.body, "contact_id"), std::to_string(carol.id));
    alice.command("REMOVE_CONTACT", "contact_id", uint64ToString(carol.id).c_str());
    expectCommand(alice.next(), "CONTACT_NOT_REMOVED");
    carol.leave();

    // Alice changes her details while signed in; the change is in bob's next sign-in reply.
    EXPECT_EQ(childText(postForm(server.httpPort(), {{"CMD", "CHANGE_USER"},
                                                     {"User_Name", "alice"},
                                                     {"User_ID", std::to_string(alice.id)},
                                                     {"Password", ""},
                                                     {"Email", "alice@example.net"},
                                                     {"First_Name", "Alice"},
                                                     {"Last_Name", "Liddell"},
                                                     {"Web_Site", ""}}),
                        "status"),
              "SUCCESS");

    EXPECT_TRUE(alice.drain().empty());
    EXPECT_TRUE(bob.drain().empty());
    bob.leave();
    expectPresence(alice.next(), alice.id, bob.id, 0);
    bob.signIn(&lines);
    EXPECT_EQ(lines[4], std::to_string(alice.id) + "\talice\tAlice\tLiddell\talice@example.net\t");
    expectPresence(alice.next(), alice.id, bob.id, 1);
    EXPECT_TRUE(alice.drain().empty());
    EXPECT_TRUE(bob.drain().empty());

    // Nothing went where it was not sent.
    for (const Client* c : {&alice, &bob, &carol})
        for (const Received& r : c->all)
            EXPECT_EQ(r.recipient, c->id) << "type " << int(r.type) << ": " << r.body;
    EXPECT_EQ(dataOf(alice), std::multiset<std::string>());
    EXPECT_EQ(dataOf(bob), std::multiset<std::string>({"a2b"}));
    EXPECT_EQ(dataOf(carol), std::multiset<std::string>({"b2c-live", "a2c-held"}));

    server.stop();
    EXPECT_TRUE(server.exitedCleanly()) << server.log();
}

TEST(ServerEndToEnd, WrongPasswordsAreRefusedAndLogged)
{
    ServerProcess server;
    ASSERT_TRUE(server.start({"--http", "127.0.0.1:0", "--message", "127.0.0.1:0", "--in-memory", "--hash-cost", "1"}));
    Client alice(server, "alice", "secret1");
    alice.signUp();
    const std::string refused = postForm(server.httpPort(), {{"CMD", "LOGIN"}, {"user", "alice"}, {"password", "nope"}});
    EXPECT_EQ(refused.substr(0, 5), "<?xml");
    EXPECT_EQ(childText(refused, "status"), "FAILED");

    // On the link, a wrong password closes the connection.
    Socket s;
    s.create();
    SocketAddress address;
    address.setHost("127.0.0.1", server.messagePort());
    connectSocket(s.handle, address);
    XmlNode signIn("message");
    signIn.addChild("user_name", "alice");
    signIn.addChild("password", "nope");
    Message frame;
    frame.build(100, 0, 0, 0, 0, signIn);
    frame.write(s.handle);
    Message reader(s, 100);
    bool closed = false;
    for (int i = 0; i < 50 && !closed; ++i) {
        try {
            reader.read();
        } catch (const TimeoutException&) {
        } catch (const Exception&) {
            closed = true;
        }
    }
    EXPECT_TRUE(closed);
    s.close();
    server.stop();
    const std::string log = server.log();
    EXPECT_NE(log.find("sign-in refused for \"alice\""), std::string::npos) << log;
    EXPECT_NE(log.find("wrong user name or password for \"alice\""), std::string::npos) << log;
}

} // namespace
