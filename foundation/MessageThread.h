#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace orvane {

// A thread that owns a queue of posted messages and handles them one at a time, in the
// order they were posted: the stand-in for a thread with its own message queue, commanded
// by posted thread messages (id, wParam, lParam). Nothing else runs on it.
//
// The loop ends when the handler calls quit() from inside the thread (the current message
// is the last), or when another thread calls quit(), which takes effect once the messages
// already queued are handled. Messages posted after the loop ended are refused (post
// answers false) and dropped; a handler that throws is reported and the loop goes on.
//
// Threads: post, quit, join and pending may be called from any thread; join never from the
// message thread itself. The handler and the reporter run only on the message thread.
class MessageThread {
public:
    struct Message {
        unsigned id = 0;
        uintptr_t wParam = 0;
        intptr_t lParam = 0;
    };
    using Handler = std::function<void(const Message&)>;
    // Told what escaped the handler; by default one line on standard error.
    using Reporter = std::function<void(const char* text)>;

    explicit MessageThread(Handler handler, Reporter reporter = {});
    // Ends the loop as quit() does and waits for the thread.
    ~MessageThread();
    MessageThread(const MessageThread&) = delete;
    MessageThread& operator=(const MessageThread&) = delete;

    // Starts the thread; the owner calls it once its handler's state is built. Further
    // calls do nothing.
    void start();
    bool post(unsigned id, uintptr_t wParam = 0, intptr_t lParam = 0);
    void quit();
    // Waits until the loop has ended (at once when it never started).
    void join();

    // Messages queued and not yet taken.
    size_t pending() const;
    bool isCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }
    bool hasEnded() const;

private:
    void loop();

    Handler handler_;
    Reporter reporter_;
    // Guards queue_, quitAfterQueue_, ended_ and started_.
    mutable std::mutex lock_;
    std::condition_variable posted_;
    std::deque<Message> queue_;
    // Another thread asked the loop to end once the queue is empty.
    bool quitAfterQueue_ = false;
    // The handler asked to end after the current message; only the message thread uses it.
    bool quitNow_ = false;
    bool started_ = false;
    bool ended_ = false;
    std::thread thread_;
    std::mutex joinLock_;
};

} // namespace orvane
