#pragma once

#include "network/EventLoop.h"

#include <cstdint>
#include <functional>
#include <list>
#include <unordered_map>

namespace orvane {

// The connections of one face that have not yet shown they are real clients (no sign-in
// frame yet, no whole request yet), oldest first and counted by source address. Each must
// get through within the same time of its arrival, so the oldest is always the next to run
// out and one timer on the loop watches the whole room; entries leave in any order.
//
// Used on the loop's thread.
class WaitingRoom {
public:
    using Key = uint64_t;

    // `expired` is called for each connection whose time ran out, after it left the room.
    WaitingRoom(EventLoop& loop, int timeoutMs, std::function<void(Key)> expired);
    ~WaitingRoom();
    WaitingRoom(const WaitingRoom&) = delete;
    WaitingRoom& operator=(const WaitingRoom&) = delete;

    // `address` in network order. A key already in the room stays where it is.
    void enter(Key key, uint32_t address);
    // A key that is not in the room is ignored.
    void leave(Key key);

    bool contains(Key key) const { return entries_.count(key) != 0; }
    int size() const { return static_cast<int>(entries_.size()); }
    int countFrom(uint32_t address) const;
    // The longest waiting, overall or from one address; 0 when there is none.
    Key oldest() const;
    Key oldestFrom(uint32_t address) const;

private:
    struct Entry {
        uint32_t address;
        int64_t arrival;
        std::list<Key>::iterator inOrder;
        std::list<Key>::iterator inAddress;
    };

    void arm();
    void onTimer();

    EventLoop& loop_;
    const int timeoutMs_;
    std::function<void(Key)> expired_;
    std::unordered_map<Key, Entry> entries_;
    std::list<Key> order_;
    std::unordered_map<uint32_t, std::list<Key>> byAddress_;
    EventLoop::TimerId timer_ = 0;
};

} // namespace orvane
