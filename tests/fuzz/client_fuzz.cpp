// What the server sends the client, from arbitrary bytes: the first byte chooses between
// the sign-in reply (the rest as its text) and the frames of the link (the rest cut into
// frames by the reader and handed to the application's handlers, against contacts of a
// fixed sign-in reply). Nothing a server sends may crash the client or read outside what
// it received.
#include "tests/support/SilentUi.h"
#include "core/app/ClientApp.h"
#include "core/module/ModuleBase.h"

#include <cstddef>
#include <cstdint>

using namespace orvane;
using orvane::testing::SilentPort;
using orvane::testing::SilentUi;

namespace {


class ReadingModule : public ModuleBase {
public:
    explicit ReadingModule(const char* id) : id_(id) {}
    bool init(IModuleHost*) override { return true; }
    void shutdown() override {}
    const char* getId() override { return id_; }
    const char* getName() override { return id_; }
    const char* getVersion() override { return "1"; }
    const char* getDisplayName() override { return ""; }
    BitmapHandle getBitmap() override { return nullptr; }
    const char* getDescription() override { return ""; }
    void actOn(IContact*) override {}
    void onIncomingConnection(IContact*, IModuleConnection* connection) override
    {
        if (connection)
            connection->close();
    }
    // Touch every byte the application hands over.
    void onMessage(IContact* contact, const char* data) override { use(contact, data); }
    void onSessionMessage(IContact* contact, const char* data, int, const char* session) override
    {
        use(contact, data);
        use(nullptr, session);
    }
    void onContactAdded(IContact* contact) override { use(contact, ""); }
    void onContactRemoved(IContact* contact) override { use(contact, ""); }

    size_t sum = 0;

private:
    void use(IContact* contact, const char* text)
    {
        for (const char* p = text; p && *p; ++p)
            sum += static_cast<unsigned char>(*p);
        if (contact)
            sum += std::strlen(contact->getId()) + std::strlen(contact->getDisplayName());
    }
    const char* id_;
};

struct Harness {
    SilentUi ui;
    SilentPort port;
    ReadingModule probe{"probe"};
    ClientApp app{ui, port};
    int runs = 0;

    Harness()
    {
        app.addBuiltinModule(&probe);
    }

    void reset()
    {
        // Strangers' records pile up run after run; start each batch from the same list.
        if (++runs % 256 == 1) {
            app.clearContacts();
            app.applySignInReply(SignInReply::parse(
                "LOGIN SUCCESS\nhost:1\na\n2\n12\tbob\tBob\t\t\t\n34\tcarl\t\t\t\t\n\n56\n\n7"));
        }
    }
};

Harness& harness()
{
    static Harness* h = new Harness();
    return *h;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    if (data[0] & 1) {
        const SignInReply reply =
            SignInReply::parse(String(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1)));
        if (reply.outcome == SignInReply::Success && (reply.serverPort < 1 || reply.serverPort > 65535 ||
                                                      !isUserIdText(reply.ownUserId)))
            __builtin_trap();
        return 0;
    }
    Harness& h = harness();
    h.reset();
    ByteBufferSource source(data + 1, static_cast<int>(size - 1), 1 + data[0] / 2 % 64);
    Message reader(0);
    reader.maxBodyLength = 64 * 1024;
    reader.setSource(&source);
    MonitorLock guard(h.app.lock());
    for (;;) {
        try {
            reader.read();
        } catch (const Message::FormatException&) {
            continue;
        } catch (const Exception&) {
            break;
        }
        h.app.dispatchServerFrame(reader);
    }
    return 0;
}
