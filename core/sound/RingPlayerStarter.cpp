#include "core/sound/RingPlayerStarter.h"

#include "core/Diagnostics.h"
#include "core/app/ThreadMessages.h"
#include "core/app/UiThreadPort.h"
#include "core/sound/RingPlayer.h"
#include "foundation/Exception.h"

namespace orvane {

RingPlayerStarter::RingPlayerStarter(RingPlayer& player, UiThreadPort& port) : player_(player), port_(port) {}

RingPlayerStarter::~RingPlayerStarter()
{
    Thread::stop(true);
}

void RingPlayerStarter::run()
{
    try {
        player_.Thread::start();
        done_ = true;
        port_.post(ThreadMessage::RingStarted, 0, 0);
    } catch (const Exception&) {
        // A ring player that cannot start leaves the program without a ring, not
        // without its other threads.
        diagnostic("the ring player could not be started");
    }
}

} // namespace orvane
