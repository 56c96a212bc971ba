#pragma once

namespace orvane {

// A descriptor through which any thread wakes one that waits in poll or epoll: signal()
// makes it readable, and it stays so until the waiter drains it, so a wake-up sent before
// the wait began is not lost. Several signals before a drain count as one.
class WakeSignal {
public:
    // Check isOk(): without a descriptor to spare there is nothing to wait on.
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    bool isOk() const { return fd_ >= 0; }
    // The descriptor to wait on for reading.
    int fd() const { return fd_; }
    void signal();
    // Takes the pending wake-ups, so the next wait blocks again.
    void drain();

private:
    int fd_ = -1;
};

} // namespace orvane
