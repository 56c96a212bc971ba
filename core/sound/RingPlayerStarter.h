#pragma once

#include "foundation/Thread.h"

#include <atomic>

namespace orvane {

class RingPlayer;
class UiThreadPort;

// Starts the ring player's thread at the end of start-up, off the user-interface thread,
// and then tells that thread so (ThreadMessage::RingStarted). Runs once.
class RingPlayerStarter : public Thread {
public:
    RingPlayerStarter(RingPlayer& player, UiThreadPort& port);
    // Waits for the body when it still runs: it uses the player and the port.
    ~RingPlayerStarter() override;

    void run() override;
    bool deleteWhenDone() override { return false; }

    // The ring player's thread has been started.
    bool isDone() const { return done_.load(); }

private:
    RingPlayer& player_;
    UiThreadPort& port_;
    std::atomic<bool> done_{false};
};

} // namespace orvane
