#include "modules/webjoin/CWebjoinDoc.h"

#include "core/module/ModuleInterfaces.h"
#include "modules/webjoin/NavigateRecord.h"

#include <utility>

namespace orvane {

CWebjoinDoc::CWebjoinDoc(IModuleHost& host, std::string contactId, std::string contactName, std::string sessionId)
    : host_(host)
    , contactId_(std::move(contactId))
    , contactName_(std::move(contactName))
    , sessionId_(std::move(sessionId))
{
}

void CWebjoinDoc::SendNavigate(const std::string& url)
{
    if (contactId_.empty())
        return;
    host_.send(contactId_.c_str(), NavigateRecord::write(url, sessionId_).c_str());
}

} // namespace orvane
