#pragma once

// A client for the fuzz targets of the channel set-up: signed in as user 7 with the contacts
// bob (12) and carl (34), the module "probe" loaded, and its system module up on loopback
// only (the peer port and the datagram socket on 127.0.0.1). Nothing a fuzzed message asks
// for may leave the machine, so the threads that would connect out are all taken before
// the first input: every connect-back and relay join is refused at the bound; and a
// datagram responder ends at once, having sent nothing.

#include "core/Diagnostics.h"
#include "core/app/ClientApp.h"
#include "core/channels/SystemModule.h"
#include "foundation/Conversions.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/SilentUi.h"

#include <cstdint>
#include <unistd.h>

namespace orvane::fuzzing {

constexpr uint64_t OwnId = 7;
constexpr uint64_t Bob = 12;
constexpr uint64_t Carl = 34;
constexpr uint64_t Stranger = 555;

struct ChannelHarness {
    testing::SilentUi ui;
    testing::SilentPort port;
    ReadingModule probe{"probe"};
    ClientApp app{ui, port};

    ChannelHarness()
    {
        // Refusals are the normal outcome here; a line for each would only slow the run.
        setDiagnosticHook([](const char*) {});
        app.account().bindAddress = "127.0.0.1";
        app.applySignInReply(SignInReply::parse("LOGIN SUCCESS\nhost:1\na\n2\n12\tbob\t\t\t\t\n34\tcarl\t\t\t\t\n\n\n7"));
        app.addBuiltinModule(&app.systemModule());
        app.addBuiltinModule(&probe);
        app.systemModule().onSignedIn();
        // Users no message names hold every connect-back and relay join there is.
        for (uint64_t user = 1; user <= 4; ++user)
            for (int i = 0; i < SystemModule::MaxSetUpThreadsPerUser; ++i)
                system().threadStarting(SystemModule::SetUpThread::Tcp, 900000 + user);
        system().udpManager().timing.responderMs = 0;
        if (system().ownUserId() != OwnId || system().tcpConnector().boundPort() == 0 || !waitForUdp())
            __builtin_trap();
    }

    SystemModule& system() { return app.systemModule(); }

    // A record for the sender: bob's and carl's are listed, anybody else's is a stranger's,
    // made the way the dispatch makes one.
    ContactRecord* sender(uint64_t id) { return app.getContact(uint64ToString(id).c_str()); }

private:
    bool waitForUdp()
    {
        // The datagram socket binds on the manager's own thread, just after it starts.
        for (int i = 0; i < 5000 && !system().udpManager().isBound(); ++i)
            ::usleep(1000);
        return system().udpManager().isBound();
    }
};

} // namespace orvane::fuzzing
