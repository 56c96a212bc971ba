#include "modules/webjoin/NavigationReporter.h"

namespace orvane {

NavigationReporter::Outcome NavigationReporter::pageArrived(const std::string& url)
{
    // A new window shows about:blank first, and the peer's page it was opened for may
    // already be on its way: the blank page must not take the peer's mark with it.
    if (url == "about:blank")
        return Outcome::Ignore;
    const bool fromPeer = fromPeer_;
    fromPeer_ = false;
    return fromPeer ? Outcome::ShowOnly : Outcome::ShowAndSend;
}

} // namespace orvane
