#pragma once

#include "network/EventLoop.h"

#include <cstdint>
#include <functional>
#include <list>
#include <unordered_map>

namespace orvane {

// The connections of a listening port that have not yet shown what they are (no sign-in
// frame yet, no whole request yet, no set-up record yet), oldest first and counted by
// source address. Each must get through within the same time of its arrival, so the oldest
// is always the next to run out and one timer on the loop watches the whole room; entries
// leave in any order.
//
// It also keeps such a port open to whoever comes (makeRoom): idle connections beyond the
// port's bounds give way to new ones, the oldest first, so they can never keep a real
// client out.
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

    // Makes room for a new connection from `address` when `open` connections are open
    // (waiting or not) and at most `maxOpen` may be, and at most `maxWaitingPerAddress` may
    // wait from one address. Beyond the first bound the oldest waiting connection goes, from
    // the new one's own address when it has any waiting (one source filling the room
    // displaces its own); beyond the second, the oldest from that address. `close` ends the
    // connection with the key it is given and must take it out of the room; `sameAddress`
    // says which rule chose it. False when the new connection must be refused: the open
    // ones are at their bound and none of them waits.
    bool makeRoom(uint32_t address, int open, int maxOpen, int maxWaitingPerAddress,
                  const std::function<void(Key key, bool sameAddress)>& close);

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
