#include "network/WaitingRoom.h"

#include "foundation/Clock.h"

namespace orvane {

WaitingRoom::WaitingRoom(EventLoop& loop, int timeoutMs, std::function<void(Key)> expired)
    : loop_(loop), timeoutMs_(timeoutMs), expired_(std::move(expired))
{
}

WaitingRoom::~WaitingRoom()
{
    if (timer_)
        loop_.cancel(timer_);
}

void WaitingRoom::enter(Key key, uint32_t address)
{
    if (contains(key))
        return;
    std::list<Key>& sameAddress = byAddress_[address];
    Entry entry;
    entry.address = address;
    entry.arrival = monotonicMillis();
    entry.inOrder = order_.insert(order_.end(), key);
    entry.inAddress = sameAddress.insert(sameAddress.end(), key);
    entries_.emplace(key, entry);
    if (!timer_)
        arm();
}

void WaitingRoom::leave(Key key)
{
    auto it = entries_.find(key);
    if (it == entries_.end())
        return;
    auto sameAddress = byAddress_.find(it->second.address);
    sameAddress->second.erase(it->second.inAddress);
    if (sameAddress->second.empty())
        byAddress_.erase(sameAddress);
    order_.erase(it->second.inOrder);
    entries_.erase(it);
}

bool WaitingRoom::makeRoom(uint32_t address, int open, int maxOpen, int maxWaitingPerAddress,
                          const std::function<void(Key key, bool sameAddress)>& close)
{
    if (open >= maxOpen) {
        if (entries_.empty())
            return false;
        const bool sameAddress = countFrom(address) > 0;
        close(sameAddress ? oldestFrom(address) : oldest(), sameAddress);
    }
    if (countFrom(address) >= maxWaitingPerAddress)
        close(oldestFrom(address), true);
    return true;
}

int WaitingRoom::countFrom(uint32_t address) const
{
    auto it = byAddress_.find(address);
    return it == byAddress_.end() ? 0 : static_cast<int>(it->second.size());
}

WaitingRoom::Key WaitingRoom::oldest() const
{
    return order_.empty() ? 0 : order_.front();
}

WaitingRoom::Key WaitingRoom::oldestFrom(uint32_t address) const
{
    auto it = byAddress_.find(address);
    return it == byAddress_.end() ? 0 : it->second.front();
}

void WaitingRoom::arm()
{
    if (order_.empty())
        return;
    const int64_t due = entries_.at(order_.front()).arrival + timeoutMs_;
    const int64_t left = due - monotonicMillis();
    timer_ = loop_.runAfter(left < 0 ? 0 : static_cast<int>(left), [this] { onTimer(); });
}

void WaitingRoom::onTimer()
{
    timer_ = 0;
    const int64_t now = monotonicMillis();
    while (!order_.empty()) {
        const Key key = order_.front();
        if (entries_.at(key).arrival + timeoutMs_ > now)
            break;
        leave(key);
        expired_(key);
    }
    if (!timer_)
        arm();
}

} // namespace orvane
