#pragma once

// The user-interface thread of tests and of the headless client: a plain loop on a thread
// of its own that takes posted thread messages and actions in order, hands the messages to
// the application, and runs the application's idle step whenever it has nothing to do.

#include "core/app/ClientApp.h"
#include "core/app/UiThreadPort.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace orvane::testing {

class UiLoop : public UiThreadPort {
public:
    UiLoop() : thread_([this] { run(); }) {}
    ~UiLoop() override { stop(); }
    UiLoop(const UiLoop&) = delete;
    UiLoop& operator=(const UiLoop&) = delete;

    // The application that takes the messages and the idle step; NULL while there is none.
    // Set and cleared through the loop itself, so it never changes under a handler.
    void attach(ClientApp* app)
    {
        runSync([this, app] { app_ = app; });
    }

    void post(int id, intptr_t wParam, intptr_t lParam) override
    {
        push(Item{id, wParam, lParam, nullptr});
    }

    void callAfter(std::function<void()> action) override { push(Item{0, 0, 0, std::move(action)}); }

    // Runs the action on the loop's thread and waits for its end; its result.
    template <class F>
    auto runSync(F action) -> decltype(action())
    {
        using Result = decltype(action());
        auto task = std::make_shared<std::packaged_task<Result()>>(std::move(action));
        std::future<Result> result = task->get_future();
        callAfter([task] { (*task)(); });
        return result.get();
    }

    // Ends the loop after what is queued; later posts are lost.
    void stop()
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stopping_)
                return;
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

    std::thread::id threadId() const { return thread_.get_id(); }

private:
    struct Item {
        int id;
        intptr_t wParam;
        intptr_t lParam;
        std::function<void()> action;
    };

    void push(Item item)
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            if (stopping_)
                return;
            items_.push_back(std::move(item));
        }
        wake_.notify_all();
    }

    void run()
    {
        for (;;) {
            Item item;
            {
                std::unique_lock<std::mutex> guard(lock_);
                if (items_.empty()) {
                    if (stopping_)
                        return;
                    // Idle: the application runs its event queue, then the loop waits.
                    if (app_) {
                        guard.unlock();
                        app_->onIdle();
                        guard.lock();
                    }
                    wake_.wait(guard, [this] { return !items_.empty() || stopping_; });
                    continue;
                }
                item = std::move(items_.front());
                items_.pop_front();
            }
            if (item.action)
                item.action();
            else if (app_)
                app_->onThreadMessage(item.id, item.wParam, item.lParam);
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<Item> items_;
    bool stopping_ = false;
    ClientApp* app_ = nullptr;
    std::thread thread_;
};

} // namespace orvane::testing
