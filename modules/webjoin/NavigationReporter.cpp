#include "modules/webjoin/NavigationReporter.h"

namespace orvane {

NavigationReporter::Outcome NavigationReporter::pageArrived(const std::string& url)
{
    const bool fromPeer = fromPeer_;
    fromPeer_ = false;
    if (url == "about:blank")
        return Outcome::Ignore;
    return fromPeer ? Outcome::ShowOnly : Outcome::ShowAndSend;
}

} // namespace orvane
