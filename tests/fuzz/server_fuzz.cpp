// The message server's handling of a client's frames, driven in-process: the input is what
// one client sends on its connection (cut into arrivals of a size the first byte chooses),
// read by the server's own frame reader into a session on a hub whose accounts live in
// memory. A second client stays signed in to receive whatever is relayed. The input may
// instead be a series of account forms (one per line) for the form reader and the account
// endpoint's commands.
//
// Whatever the input, every frame a client receives must be well formed and addressed to
// it, everything relayed must carry the sender's real id, and the session must leave the
// hub when its connection ends.
#include "core/Message.h"
#include "network/FormFields.h"
#include "server/AccountService.h"
#include "server/AccountStore.h"
#include "server/FormParser.h"
#include "server/MessageHub.h"
#include "server/RelaySessions.h"
#include "server/ServerLog.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace orvane;

namespace {

using Frames = std::vector<std::vector<uint8_t>>;

class Output : public SessionOutput {
public:
    bool send(const uint8_t* frame, int length) override
    {
        frames.emplace_back(frame, frame + length);
        return true;
    }
    void requestClose() override {}
    Frames frames;
};

// Checks a frame written by the server: the header's magic and length, the recipient.
void checkFrame(const std::vector<uint8_t>& f, uint64_t recipient)
{
    if (f.size() < 21 || f[0] != '#')
        std::abort();
    const uint32_t length = (uint32_t(f[17]) << 24) | (uint32_t(f[18]) << 16) | (uint32_t(f[19]) << 8) | f[20];
    if (f.size() != 21 + size_t(length))
        std::abort();
    uint64_t to = 0;
    for (int i = 3; i < 8; ++i)
        to = (to << 8) | f[i];
    if (to != recipient)
        std::abort();
}

uint64_t senderOf(const std::vector<uint8_t>& f)
{
    uint64_t from = 0;
    for (int i = 10; i < 15; ++i)
        from = (from << 8) | f[i];
    return from;
}

ServerSettings fuzzSettings()
{
    ServerSettings s;
    s.maxFrameBody = 64 * 1024; // inflating to it stays fast
    s.maxContacts = 4;
    s.maxHeldFrames = 8;
    s.maxHeldBytes = 64 * 1024;
    s.maxSessionsPerUser = 2;
    return s;
}

// Accounts alice (#1), bob (#2, signed in for good, listing alice) and carol (#3, never
// online), made once: their hashes are the slow part.
struct World {
    World() : settings(fuzzSettings()), store("", 1), hub(store, settings)
    {
        silenceServerLog();
        const char* names[] = {"alice", "bob", "carol"};
        const char* passwords[] = {"secret1", "secret2", "secret3"};
        for (int i = 0; i < 3; ++i) {
            AccountRecord r;
            r.userName = names[i];
            uint64_t id;
            if (store.createAccount(r, passwords[i], id) != AccountStore::Created || id != uint64_t(i + 1))
                std::abort();
        }
        store.addContact(2, 1, 10);
        SocketAddress peer;
        peer.setHost("10.0.0.8", 40001);
        bob.reset(new ClientSession(hub, bobOutput, peer));
        Message signIn;
        XmlNode body("message");
        body.addChild("user_name", "bob");
        body.addChild("password", "secret2");
        signIn.build(100, 0, 0, 0, 0, body);
        ByteBufferSource source(signIn.outgoingData(), signIn.outgoingLength());
        Message reader;
        reader.setSource(&source);
        reader.read();
        if (!bob->onFrame(reader) || !bob->isSignedIn())
            std::abort();
        bobOutput.frames.clear();
    }

    // Back to the state above, so that every input starts from the same place.
    void reset()
    {
        for (uint64_t contact = 1; contact <= 3; ++contact)
            store.removeContact(1, contact);
        Array<HeldFrame> held;
        for (uint64_t id = 1; id <= 3; ++id)
            store.takeHeldFrames(id, held);
        bobOutput.frames.clear();
    }

    ServerSettings settings;
    AccountStore store;
    MessageHub hub;
    Output bobOutput;
    std::unique_ptr<ClientSession> bob;
};

World& world()
{
    static World w;
    return w;
}

void fuzzFrames(const uint8_t* data, size_t size, int chunk)
{
    World& w = world();
    w.reset();
    Output output;
    SocketAddress peer;
    peer.setHost("10.0.0.7", 40000);
    // A relay of its own per input, so that the sessions alice opens start from none.
    RelaySessions::Limits limits;
    limits.maxSessions = 16;
    limits.maxSessionsPerUser = 4;
    RelaySessions relay(limits);
    SocketAddress relayAddress;
    relayAddress.setHost("127.0.0.1", 8472);
    relay.setAddress(relayAddress);
    w.hub.setRelay(&relay);
    {
        ClientSession alice(w.hub, output, peer);
        ByteBufferSource source(data, static_cast<int>(size), chunk);
        Message reader(5);
        reader.maxBodyLength = w.settings.maxFrameBody;
        reader.setSource(&source);
        while (alice.readFrame(reader) != ClientSession::SessionEnded) {
        }
        if (!alice.isSignedIn() && !output.frames.empty())
            std::abort(); // nothing is sent to a client that has not signed in
        if (alice.isSignedIn() && w.hub.sessionCount(1) != 1)
            std::abort();
        alice.end();
    }
    w.hub.setRelay(nullptr);
    if (w.hub.sessionCount(1) != 0 || w.hub.sessionCount(2) != 1)
        std::abort();
    // Only alice asked, and never for more than her share.
    if (relay.count() != relay.countOpenedBy(1) || relay.count() > limits.maxSessionsPerUser)
        std::abort();
    for (const auto& f : output.frames)
        checkFrame(f, 1);
    for (const auto& f : w.bobOutput.frames) {
        checkFrame(f, 2);
        // Everything bob gets here comes from alice: relayed frames and her presence.
        if ((f[1] == 2 || f[1] == 3 || f[1] == 4) && senderOf(f) != 1)
            std::abort();
    }
}

void fuzzForms(const uint8_t* data, size_t size)
{
    ServerSettings settings = fuzzSettings();
    AccountStore store("", 1);
    MessageHub hub(store, settings);
    AccountService service(store, hub, settings);
    SocketAddress peer, local;
    peer.setHost("10.0.0.7", 40000);
    local.setHost("127.0.0.1", 8470);
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (int forms = 0; start < size && forms < 4; ++forms) {
        size_t end = start;
        while (end < size && text[end] != '\n')
            ++end;
        NameValueList fields;
        if (parseForm(text + start, static_cast<int>(end - start), fields, settings.maxFormFields)) {
            const AccountReply reply = service.handle(fields, peer, local);
            if (reply.body.isEmpty() || (reply.status != 200 && reply.status != 400))
                std::abort();
            // Values come back unchanged through the program's own form encoder.
            FormFields again;
            for (int i = 0; i < fields.count(); ++i)
                again.field(String().format("f%d", i)) = fields[i].value;
            const String encoded = again.encode();
            NameValueList back;
            if (!parseForm(encoded.c_str(), encoded.length(), back, settings.maxFormFields) ||
                back.count() != fields.count())
                std::abort();
            for (int i = 0; i < fields.count(); ++i) {
                // The encoder takes zero-terminated texts: a decoded %00 ends a value there.
                const String& value = fields[i].value;
                if (static_cast<int>(std::strlen(value.c_str())) == value.length() && back[i].value != value)
                    std::abort();
            }
        }
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] & 0x80)
        fuzzForms(data + 1, size - 1);
    else
        fuzzFrames(data + 1, size - 1, data[0] % 32);
    return 0;
}
