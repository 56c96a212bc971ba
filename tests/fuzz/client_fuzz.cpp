// What the server sends the client, from arbitrary bytes: the first byte chooses between
// the sign-in reply (the rest as its text) and the frames of the link (the rest cut into
// frames by the reader and handed to the application's handlers, against contacts of a
// fixed sign-in reply). Nothing a server sends may crash the client or read outside what
// it received.
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/SilentUi.h"
#include "core/app/ClientApp.h"

#include <cstddef>
#include <cstdint>

using namespace orvane;
using orvane::fuzzing::ReadingModule;
using orvane::testing::SilentPort;
using orvane::testing::SilentUi;

namespace {

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
