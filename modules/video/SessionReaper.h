#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orvane {

// Ends the video library's worker threads away from the user-interface thread: a closing
// window hands over its session, the last window the capture thread, and a thread of the
// reaper's own stops each, waits for it and deletes it, in the order they came. A session
// thread may be inside a channel opening that needs the user-interface thread for up to a
// minute; waiting there would freeze the program, and the window would not close.
//
// The thread starts with the first job and ends with finish, which waits for every job
// handed over so far (at unload: no code of the library may run after it). Jobs may come
// again after finish. Any thread may hand over jobs.
class SessionReaper {
public:
    using Job = std::function<void()>;

    SessionReaper() = default;
    ~SessionReaper() { finish(); }
    SessionReaper(const SessionReaper&) = delete;
    SessionReaper& operator=(const SessionReaper&) = delete;

    void reap(Job job);
    // Waits for all jobs and the thread.
    void finish();
    // Jobs handed over and not yet done.
    int pending();

private:
    void loop();

    std::mutex lock_; // guards jobs_, busy_, quit_, thread_
    std::condition_variable changed_;
    std::deque<Job> jobs_;
    bool busy_ = false;
    bool quit_ = false;
    std::thread thread_;
};

} // namespace orvane
