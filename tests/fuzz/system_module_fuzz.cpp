// The system module's messages from anyone, as arbitrary texts from a sender the first byte
// picks: bob (listed), carl (known, no longer listed), a stranger, or a peer contact of the
// sign-in reply. Whatever comes, nothing starts beyond the bounds (the connect-backs and relay
// joins are all taken, and no message may add one), no channel is being set up beyond the
// bound, no request of this program's appears, and nobody but bob is ever expected on the
// peer port.
#include "tests/fuzz/ChannelHarness.h"

#include "foundation/Conversions.h"
#include "foundation/XmlNode.h"

#include <cstddef>
#include <cstdint>

using namespace orvane;
using namespace orvane::fuzzing;

namespace {

struct MessageHarness : ChannelHarness {
    int threadsBefore = 0;

    MessageHarness()
    {
        app.contactRemoved("34");
        threadsBefore = system().runningThreads();
    }

    // A stranger's or carl's direct connection is refused, whatever they sent before.
    void checkRefused(uint64_t from)
    {
        XmlNode record("packet");
        record.addChild("command", "CONNECT_DIRECT");
        record.addChild("module_id", "probe");
        record.addChild("sender_id", uint64ToString(from).c_str());
        record.addChild("recipient_id", uint64ToString(OwnId).c_str());
        check(system().tcpConnector().decide(record).action == TcpChannelConnector::SetUpDecision::Refuse);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MessageHarness* harness = new MessageHarness();
    if (size < 1)
        return 0;
    const uint64_t senders[] = {Bob, Carl, Stranger, 56};
    const uint64_t from = senders[data[0] % 4];
    const String text(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    {
        MonitorLock guard(harness->app.lock());
        harness->system().onMessage(harness->sender(from), text.c_str());
    }
    SystemModule& system = harness->system();
    check(system.runningThreads() <= harness->threadsBefore + SystemModule::MaxSetUpThreads);
    check(system.udpManager().channelCount() <= SystemModule::MaxSetUpThreads);
    check(system.pendingRequestCount() == 0);
    harness->checkRefused(Carl);
    harness->checkRefused(Stranger);
    return 0;
}
