#pragma once

// Lines of text that one side adds as they come (the output of a program, the calls on a
// recording user interface) and a test waits for.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orvane::testing {

// The lines of one client or program, in order; any thread may add and wait.
class LineLog {
public:
    void add(const std::string& line)
    {
        std::function<void(const std::string&)> sink;
        {
            std::lock_guard<std::mutex> guard(lock_);
            lines_.push_back(line);
            sink = sink_;
        }
        if (sink)
            sink(line);
        changed_.notify_all();
    }

    // Takes text as it arrives from a stream: each complete line is added, the start of
    // an unfinished one is kept in `pending` for the next call.
    void addText(std::string& pending, const char* data, size_t size)
    {
        pending.append(data, size);
        for (size_t lf; (lf = pending.find('\n')) != std::string::npos;) {
            add(pending.substr(0, lf));
            pending.erase(0, lf + 1);
        }
    }

    void setSink(std::function<void(const std::string&)> sink)
    {
        std::lock_guard<std::mutex> guard(lock_);
        sink_ = std::move(sink);
    }

    std::vector<std::string> lines() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_;
    }

    // Waits until a line at or after `from` equals `line`; its index, or -1 when the time
    // ran out.
    int waitFor(const std::string& line, int timeoutMs = 10000, size_t from = 0)
    {
        return waitUntil([&line](const std::string& candidate) { return candidate == line; }, timeoutMs, from);
    }

    int waitUntil(const std::function<bool(const std::string&)>& match, int timeoutMs, size_t from = 0)
    {
        std::unique_lock<std::mutex> guard(lock_);
        int found = -1;
        changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
            for (size_t i = from; i < lines_.size(); ++i)
                if (match(lines_[i])) {
                    found = static_cast<int>(i);
                    return true;
                }
            return false;
        });
        return found;
    }

    size_t count(const std::string& line) const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), line));
    }

    size_t size() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return lines_.size();
    }

    std::string dump() const
    {
        std::string text;
        for (const std::string& line : lines())
            text += "  " + line + "\n";
        return text;
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    std::function<void(const std::string&)> sink_;
};

} // namespace orvane::testing
