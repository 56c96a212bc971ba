#pragma once

// The channels of the headless client. Each channel has a worker thread of its own that
// reads what arrives and carries out the test's commands for it (send so many bytes, close),
// so that one thread at a time uses the channel. What happens is printed as lines:
//
//   channel N open tcp|udp HOW PEER     HOW: the path, or "incoming"; PEER: address:port
//   channel N sent BYTES SUM            after sending BYTES pseudo-random bytes
//   channel N received BYTES SUM        when the sender's end marker arrives
//   channel N closed                    the peer closed it (or it broke)
//   channel N closed-here               closed by command
//
// Data travels in frames 'D', a 32-bit sequence number and up to a chunk of bytes; an end
// marker 'E' follows. SUM adds a hash of every frame with its sequence number, so frames that
// a datagram channel reorders still add up, while a lost, doubled or changed one does not.
// A datagram channel has no flow control of its own, and a receiver that falls behind (a
// loaded machine, a sanitizer build) would have its queue overrun: the receiver acknowledges
// every Window-th frame with 'A' and its sequence number, and the sender keeps at most two
// windows unacknowledged.

#include "core/module/ModuleInterfaces.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orvane::testing {

class ChannelTable {
public:
    using Print = std::function<void(const std::string&)>;

    explicit ChannelTable(Print print) : print_(std::move(print)) {}
    ~ChannelTable() { closeAll(); }

    // Takes the channel and starts its worker; its number.
    int add(IModuleConnection* connection, bool datagrams, const std::string& how, const std::string& peer)
    {
        std::lock_guard<std::mutex> guard(lock_);
        const int number = ++last_;
        auto channel = std::make_unique<Channel>();
        channel->connection = connection;
        channel->datagrams = datagrams;
        Channel* raw = channel.get();
        channels_[number] = std::move(channel);
        print_("channel " + std::to_string(number) + " open " + (datagrams ? "udp " : "tcp ") + how + " " + peer);
        raw->worker = std::thread([this, raw, number] { work(*raw, number); });
        return number;
    }

    bool send(int number, size_t bytes, uint32_t seed) { return command(number, Command{false, bytes, seed}); }
    bool close(int number) { return command(number, Command{true, 0, 0}); }

    void closeAll()
    {
        std::map<int, std::unique_ptr<Channel>> channels;
        {
            std::lock_guard<std::mutex> guard(lock_);
            channels.swap(channels_);
        }
        for (auto& entry : channels) {
            {
                std::lock_guard<std::mutex> guard(entry.second->lock);
                entry.second->commands.push_back(Command{true, 0, 0});
            }
            if (entry.second->worker.joinable())
                entry.second->worker.join();
        }
    }

private:
    struct Command {
        bool close;
        size_t bytes;
        uint32_t seed;
    };

    struct Channel {
        IModuleConnection* connection = nullptr;
        bool datagrams = false;
        std::thread worker;
        std::mutex lock;
        std::deque<Command> commands;
        // What has arrived since the last end marker, and the latest acknowledgement.
        uint64_t received = 0;
        uint64_t sum = 0;
        bool ended = false;
        int64_t acknowledged = -1;
    };

    static constexpr uint32_t Window = 32;
    static constexpr int AckWaitMs = 2000;

    static uint64_t frameHash(const uint8_t* data, int length)
    {
        uint64_t h = 1469598103934665603ull;
        for (int i = 0; i < length; ++i)
            h = (h ^ data[i]) * 1099511628211ull;
        return h;
    }

    bool command(int number, const Command& command)
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto it = channels_.find(number);
        if (it == channels_.end())
            return false;
        std::lock_guard<std::mutex> channelGuard(it->second->lock);
        it->second->commands.push_back(command);
        return true;
    }

    // Sends the bytes; false when the channel broke on the way.
    bool sendBytes(Channel& channel, int number, size_t bytes, uint32_t seed)
    {
        const size_t chunk = channel.datagrams ? 1000 : 16384;
        uint64_t sum = 0;
        uint32_t state = seed ? seed : 1;
        uint32_t sequence = 0;
        std::vector<uint8_t> frame;
        channel.acknowledged = -1;
        try {
            for (size_t sent = 0; sent < bytes; sent += chunk, ++sequence) {
                if (channel.datagrams && !awaitWindow(channel, number, sequence))
                    return false;
                const size_t n = std::min(chunk, bytes - sent);
                frame.assign(5 + n, 0);
                frame[0] = 'D';
                writeSequence(frame.data() + 1, sequence);
                for (size_t i = 0; i < n; ++i) {
                    state ^= state << 13;
                    state ^= state >> 17;
                    state ^= state << 5;
                    frame[5 + i] = static_cast<uint8_t>(state);
                }
                sum += frameHash(frame.data(), static_cast<int>(frame.size()));
                channel.connection->send(frame.data(), static_cast<int>(frame.size()));
            }
            const std::string end = "E" + std::to_string(bytes) + " " + std::to_string(sum);
            for (int i = 0; i < (channel.datagrams ? 3 : 1); ++i)
                channel.connection->send(end.data(), static_cast<int>(end.size()));
        } catch (const IModuleConnection::ConnectionException&) {
            return false;
        }
        print_("channel " + std::to_string(number) + " sent " + std::to_string(bytes) + " " + std::to_string(sum));
        return true;
    }

    // Before frame `sequence` of a datagram channel: waits, taking what arrives meanwhile,
    // until at most two windows are unacknowledged. A lost acknowledgement costs a wait, not
    // the transfer: the next one covers it. False when the channel broke.
    bool awaitWindow(Channel& channel, int number, uint32_t sequence)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AckWaitMs);
        while (static_cast<int64_t>(sequence) - channel.acknowledged > 2 * static_cast<int64_t>(Window)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                channel.acknowledged = static_cast<int64_t>(sequence) - 1;
                break;
            }
            const int n = channel.connection->receive(20);
            if (n < 0)
                return false;
            if (n > 0)
                take(channel, number, channel.connection->data(), n);
        }
        return true;
    }

    static void writeSequence(uint8_t* at, uint32_t sequence)
    {
        for (int b = 0; b < 4; ++b)
            at[b] = static_cast<uint8_t>(sequence >> (24 - 8 * b));
    }

    static uint32_t readSequence(const uint8_t* at)
    {
        uint32_t sequence = 0;
        for (int b = 0; b < 4; ++b)
            sequence = (sequence << 8) | at[b];
        return sequence;
    }

    // One frame that arrived: data, an end marker or an acknowledgement.
    void take(Channel& channel, int number, const uint8_t* data, int n)
    {
        if (data[0] == 'D' && n >= 5) {
            channel.received += static_cast<uint64_t>(n - 5);
            channel.sum += frameHash(data, n);
            channel.ended = false;
            const uint32_t sequence = readSequence(data + 1);
            if (channel.datagrams && sequence % Window == Window - 1) {
                uint8_t ack[5] = {'A'};
                writeSequence(ack + 1, sequence);
                channel.connection->send(ack, sizeof ack);
            }
        } else if (data[0] == 'A' && n == 5) {
            channel.acknowledged = std::max(channel.acknowledged, static_cast<int64_t>(readSequence(data + 1)));
        } else if (data[0] == 'E' && !channel.ended) {
            // Only the first of the repeated end markers counts.
            channel.ended = true;
            print_("channel " + std::to_string(number) + " received " + std::to_string(channel.received) + " " +
                   std::to_string(channel.sum));
            channel.received = 0;
            channel.sum = 0;
        }
    }

    void work(Channel& channel, int number)
    {
        const std::string name = "channel " + std::to_string(number);
        for (;;) {
            Command next{false, 0, 0};
            bool have = false;
            {
                std::lock_guard<std::mutex> guard(channel.lock);
                if (!channel.commands.empty()) {
                    next = channel.commands.front();
                    channel.commands.pop_front();
                    have = true;
                }
            }
            if (have && next.close) {
                channel.connection->close();
                print_(name + " closed-here");
                return;
            }
            if (have && !sendBytes(channel, number, next.bytes, next.seed)) {
                channel.connection->close();
                print_(name + " closed");
                return;
            }
            int n;
            try {
                n = channel.connection->receive(50);
                if (n > 0)
                    take(channel, number, channel.connection->data(), n);
            } catch (const IModuleConnection::ConnectionException&) {
                n = -1;
            }
            if (n < 0) {
                channel.connection->close();
                print_(name + " closed");
                // Commands still queued have nothing left to act on.
                return;
            }
        }
    }

    Print print_;
    std::mutex lock_;
    std::map<int, std::unique_ptr<Channel>> channels_;
    int last_ = 0;
};

} // namespace orvane::testing
