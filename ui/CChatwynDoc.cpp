#include "ui/CChatwynDoc.h"

#include "core/app/ClientApp.h"
#include "ui/CChatwynView.h"

#include <algorithm>

namespace orvane {

CChatwynDoc::~CChatwynDoc()
{
    // The views outlive their document only when the frame goes after it; they must not
    // reach back into it then.
    for (CChatwynView* view : views_)
        view->documentGone();
}

bool CChatwynDoc::OnNewDocument(ClientApp& app)
{
    SetTitle(wxString::FromUTF8(app.account().userName.c_str()));
    return true;
}

void CChatwynDoc::SetTitle(const wxString& title)
{
    title_ = title;
    if (titleHandler_)
        titleHandler_(title_);
}

void CChatwynDoc::UpdateAllViews(ContactRecord* hint)
{
    // Over a copy, and only views still registered: an update runs the frame's selection
    // handler, which may close a window.
    const std::vector<CChatwynView*> views = views_;
    for (CChatwynView* view : views)
        if (std::find(views_.begin(), views_.end(), view) != views_.end())
            view->OnUpdate(hint);
}

void CChatwynDoc::addView(CChatwynView& view)
{
    if (std::find(views_.begin(), views_.end(), &view) == views_.end())
        views_.push_back(&view);
}

void CChatwynDoc::removeView(CChatwynView& view)
{
    views_.erase(std::remove(views_.begin(), views_.end(), &view), views_.end());
}

} // namespace orvane
