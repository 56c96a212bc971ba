#pragma once

#include <wx/string.h>

#include <functional>
#include <vector>

namespace orvane {

class ClientApp;
class ContactRecord;
class CChatwynView;

// The document of the contact list. It holds no data of its own: it titles the main window
// with the account's user name and carries the core's change notices to its views. The
// main frame shows the title in its caption as "<title> - Orvane".
//
// A view registers itself (CChatwynView::SetDocument) and unregisters when it is destroyed,
// so the document never calls a view that is gone. User-interface thread only.
class CChatwynDoc {
public:
    using TitleHandler = std::function<void(const wxString& title)>;

    CChatwynDoc() = default;
    ~CChatwynDoc();
    CChatwynDoc(const CChatwynDoc&) = delete;
    CChatwynDoc& operator=(const CChatwynDoc&) = delete;

    // A new document: the title becomes the user name of the account configuration.
    bool OnNewDocument(ClientApp& app);

    const wxString& GetTitle() const { return title_; }
    // Stores the title and tells the title handler, also when the text did not change (the
    // frame may have been re-titled by someone else meanwhile).
    void SetTitle(const wxString& title);
    void SetTitleHandler(TitleHandler handler) { titleHandler_ = std::move(handler); }

    // Every view's OnUpdate(hint): NULL rebuilds, a record refreshes that contact. Runs
    // synchronously, so that no view keeps a record that the caller is about to delete.
    void UpdateAllViews(ContactRecord* hint);

    const std::vector<CChatwynView*>& views() const { return views_; }

private:
    friend class CChatwynView;
    void addView(CChatwynView& view);
    void removeView(CChatwynView& view);

    wxString title_;
    TitleHandler titleHandler_;
    // Not owned: the windows belong to their frame.
    std::vector<CChatwynView*> views_;
};

} // namespace orvane
