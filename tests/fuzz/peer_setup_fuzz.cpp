// What a connection to the peer port sends, as arbitrary bytes cut into arrivals: each frame
// is read as the port reads a set-up record (capped on the wire and inflated) and decided
// against a client whose contact bob asked for its addresses and to whom it sent a
// CONNECT_BACK. Whatever the record, the answer is "SUCCESS", "FAILED" or none; none only
// for a record that is no set-up record; and a connection goes on only to the module here,
// from bob, for this user, or to this program's own waiting request.
#include "tests/fuzz/ChannelHarness.h"

#include "core/channels/Packet.h"
#include "core/channels/PeerPort.h"
#include "foundation/Conversions.h"

#include <cstddef>
#include <cstdint>
#include <memory>

using namespace orvane;
using namespace orvane::fuzzing;

namespace {

struct SetUpHarness : ChannelHarness {
    std::shared_ptr<ChannelRequest> connectBack;

    SetUpHarness()
    {
        // bob's ask makes his direct connection welcome for the whole run; carl leaves the
        // list after asking.
        system().tcpConnector().timing.expectationMs = 1 << 30;
        for (uint64_t asker : {Bob, Carl}) {
            const String id = uint64ToString(asker);
            const String ask = "<xml command=\"ASK_TCP_SERVER_IP_PORT\" connection_id=\"1\" user_id=\"" + id + "\"/>";
            MonitorLock guard(app.lock());
            system().onMessage(sender(asker), ask.c_str());
        }
        app.contactRemoved("34");
        // A connect-back of this program's own that waits for bob (its id is 10000, the
        // first there is).
        connectBack = system().addRequest(ChannelRequest::ConnectBack);
        connectBack->peerUserId = Bob;
        check(connectBack->connectionId == SystemModule::FirstConnectionId);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SetUpHarness* harness = new SetUpHarness();
    if (size < 1)
        return 0;
    ByteBufferSource source(data + 1, static_cast<int>(size - 1), 1 + data[0] % 32);
    Packet reader(0);
    reader.maxBodyLength = PeerPort::Limits().maxRecordBytes;
    reader.setSource(&source);
    for (;;) {
        XmlNode record;
        try {
            reader.read(record);
        } catch (const Packet::FormatException&) {
            continue;
        } catch (const Exception&) {
            break;
        }
        const TcpChannelConnector::SetUpDecision decision = harness->system().tcpConnector().decide(record);
        String command = record.childOrEmpty("command")->value;
        command.toUpper();
        const bool setUp = command == "CONNECT_DIRECT" || command == "CONNECT_DIRECT_BACK";
        check(decision.answer == (setUp ? decision.action == TcpChannelConnector::SetUpDecision::Refuse ? "FAILED"
                                                                                                           : "SUCCESS"
                                        : ""));
        if (decision.action == TcpChannelConnector::SetUpDecision::Refuse)
            continue;
        check(parseUInt64(record.childOrEmpty("recipient_id")->value.c_str()) == OwnId);
        check(decision.sender == Bob);
        if (decision.action == TcpChannelConnector::SetUpDecision::HandOver) {
            check(command == "CONNECT_DIRECT");
            check(decision.moduleId == "probe");
        } else {
            check(command == "CONNECT_DIRECT_BACK");
            check(decision.request == harness->connectBack);
        }
    }
    return 0;
}
