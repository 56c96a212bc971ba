#pragma once

#include "core/app/UiThreadPort.h"

#include <functional>

namespace orvane {

// The core's way to the user-interface thread, over wx's event queue: a posted message or
// action is queued on the application object and runs on the user-interface thread in the
// order of posting. The message goes to the handler given at construction (the application
// object's onThreadMessage). Posting is safe from any thread while the wx application
// exists; once it is gone, posts are dropped.
class WxUiThreadPort : public UiThreadPort {
public:
    using MessageHandler = std::function<void(int id, intptr_t wParam, intptr_t lParam)>;

    void setMessageHandler(MessageHandler handler) { handler_ = std::move(handler); }
    void post(int id, intptr_t wParam, intptr_t lParam) override;
    void callAfter(std::function<void()> action) override;

private:
    MessageHandler handler_;
};

} // namespace orvane
