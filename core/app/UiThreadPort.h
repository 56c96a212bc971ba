#pragma once

#include <cstdint>
#include <functional>

namespace orvane {

// The one way from any thread to the user-interface thread. The program backs it with
// its toolkit's event queue; tests and the headless client with a plain loop on a thread
// of their own. Either way the user-interface thread takes the posted messages and
// actions in the order they were posted, hands each message to
// ClientApp::onThreadMessage, and runs ClientApp::onIdle whenever it has nothing else
// to do. A message posted after that thread has ended is lost.
class UiThreadPort {
public:
    virtual ~UiThreadPort();
    // Callable from any thread; never waits for the user-interface thread.
    virtual void post(int id, intptr_t wParam, intptr_t lParam) = 0;
    // Runs the action on the user-interface thread, in order with the messages.
    virtual void callAfter(std::function<void()> action) = 0;
};

} // namespace orvane
