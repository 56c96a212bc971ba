#pragma once

#include <string>

namespace orvane {

// The view's one rule: every top-level page the view arrives at is reported to the peer,
// except the ones the peer asked for, which are only shown. about:blank (the window's
// first page) is never reported and leaves the mark as it was.
//
// The "asked for by the peer" mark lasts until a page loads, or until the user starts a
// navigation of their own, so a peer's navigation that never completes cannot silence the
// user's navigations for good. Callers feed it only top-level navigations; frames inside
// a page never reach it.
class NavigationReporter {
public:
    enum class Outcome { Ignore, ShowOnly, ShowAndSend };

    void peerNavigationStarted() { fromPeer_ = true; }
    void userNavigationStarted() { fromPeer_ = false; }
    // A top-level page arrived at url (after any redirects).
    Outcome pageArrived(const std::string& url);
    // The navigation in progress failed.
    void navigationFailed() { fromPeer_ = false; }

    bool fromPeer() const { return fromPeer_; }

private:
    bool fromPeer_ = false;
};

} // namespace orvane
