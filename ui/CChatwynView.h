#pragma once

#include <wx/treectrl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

class wxArrayString;

namespace orvane {

class ClientApp;
class CChatwynDoc;
class ContactRecord;
class Skin;

// The contact list as the user sees it, in the main frame's client area: two roots,
// "Online" and "Offline", and under the root that matches its presence one item per listed
// contact of the application's contact list, its text the display name and its data the
// record. A contact counts as online when its status is not 0.
//
// Pictures (bitmap 130 cut into four 16 by 16 images, RGB(255, 0, 255) transparent):
// 0 root collapsed, 1 root expanded, 2 contact of status 1, 3 contact of status 0; a
// contact of any other status keeps picture 0.
//
// Order: a contact enters its root after the last child whose name sorts strictly before
// its own, or first when none does; so a root's children stay in ascending order and a new
// contact goes before those of an equal name. Names sort as the contact list's full sort
// does (as the user's locale orders them, ignoring case: core/contacts/NameOrder.h), so a
// contact that changes presence lands where a rebuild would put it. A contact whose name
// changes while its presence does not keeps its place.
//
// Data: the tree keeps, beside wx's items, an index of its contact items by id and each
// root's children with their sort keys, so that finding an item and its insert position
// answer what a walk over the children would without one (a rebuild of n contacts costs
// about n steps rather than n squared). An item's sort key is that of its display name
// when it was inserted or last updated, which is also its text.
//
// The frame routes the menu commands to the view first: it hands each wxEVT_MENU and
// wxEVT_UPDATE_UI event to ProcessWindowEventLocally, and the view handles, by their wx ids
// (command::toWxId), Add contact (32977), Delete contact (32978), Search contact (32981,
// does nothing) and the module commands 32773 to 32973. The same entry points are public.
//
// User-interface thread only. A full rebuild sorts and walks the application's contact
// list under the application lock; a single refresh uses the record it is given.
class CChatwynView : public wxTreeCtrl {
public:
    enum Picture { RootCollapsed = 0, RootExpanded = 1, ContactOnline = 2, ContactOffline = 3 };
    static constexpr int PictureSize = 16;

    // The selection changed (also when a rebuild reset the tree): the frame's bars
    // re-evaluate their buttons.
    using SelectionHandler = std::function<void()>;
    // The Add contact command: the frame runs the add-contact dialog.
    using AddContactHandler = std::function<void()>;
    // Files dropped on an online contact's item.
    using DropHandler = std::function<void(ContactRecord& contact, const wxArrayString& files)>;

    CChatwynView(wxWindow* parent, ClientApp& app, Skin& skin, wxWindowID id = wxID_ANY);
    ~CChatwynView() override;

    // Registers the view with its document (NULL: with none); the document's updates reach
    // it from then on, until the view is destroyed.
    void SetDocument(CChatwynDoc* doc);
    CChatwynDoc* GetDocument() const { return doc_; }

    // The first initial update (the frame's creation): a full rebuild; then the picture list,
    // the skin's background colour and the drop target. Later calls only rebuild.
    void OnInitialUpdate();
    // NULL: full rebuild, the selected contact (by id) selected again. A record: that
    // contact's item is refreshed, added, moved or removed. The caller keeps the record
    // alive for the call; after records were deleted a full rebuild must follow at once. A
    // record before the first rebuild rebuilds everything.
    void OnUpdate(ContactRecord* hint);
    // The selected item's record; NULL when nothing or a root is selected.
    ContactRecord* GetSelectedContact() const;
    // Where a contact context menu would open, in screen coordinates: the right button, the
    // context-menu key and Shift+F10 end here. The system has no such menu: does nothing.
    virtual void ShowContextMenu(const wxPoint& screenPoint);

    wxTreeItemId GetOnlineRoot() const { return online_.item; }
    wxTreeItemId GetOfflineRoot() const { return offline_.item; }
    // The item of the contact with this id (compared byte for byte), or an invalid id.
    wxTreeItemId FindContactItem(const std::string& id) const;

    void SetSelectionHandler(SelectionHandler handler) { selectionHandler_ = std::move(handler); }
    void SetAddContactHandler(AddContactHandler handler) { addContactHandler_ = std::move(handler); }
    void SetDropHandler(DropHandler handler) { dropHandler_ = std::move(handler); }

    // ---- commands (program ids, not wx ids) ----
    // Runs the add-contact handler.
    void OnAddContact();
    // Signed in: the server link is open.
    bool CanAddContact() const;
    // Asks "Are you sure, you want to delete [name]\nfrom your contact list?"; Yes queues
    // REMOVE_CONTACT with the contact's id. The tree changes when the server answers.
    void OnDeleteContact();
    bool CanDeleteContact() const { return GetSelectedContact() != nullptr; }
    // 32773 + k: the module of Actions entry k acts on the selected contact when it accepts
    // it at this moment; nothing without such an entry.
    void OnModuleCommand(int commandId);
    // Enabled exactly when the module of Actions entry k accepts the selected contact.
    bool OnUpdateModuleCommand(int commandId) const;
    // Files dropped at a point of the client area: passed on with the contact when the
    // point lies on an online contact's item. True when they were passed on.
    bool OnDropFiles(const wxPoint& point, const wxArrayString& files);

private:
    friend class CChatwynDoc;

    struct Child {
        wxTreeItemId item;
        // The display name's key in the order of names.
        std::string key;
    };
    struct Root {
        wxTreeItemId item;
        std::vector<Child> children;
    };

    void ResetTree();
    void UpdateContactItem(ContactRecord& contact);
    // The index in the root's children before which a contact of this key goes.
    size_t FindInsertPosition(const std::string& key, const Root& root) const;
    void InsertContactItem(Root& root, const std::string& name, ContactRecord& contact, size_t position);
    void UpdateRootStates();
    void DeleteContactItem(const wxTreeItemId& item);
    Root* rootOf(const wxTreeItemId& item);
    void SetRootPicture(const wxTreeItemId& root, int picture);
    void selectionChanged();
    // The document went first; it is not told when this view goes.
    void documentGone() { doc_ = nullptr; }

    void onSelChanged(wxTreeEvent& event);
    void onItemExpanding(wxTreeEvent& event);
    void onLeftDoubleClick(wxMouseEvent& event);
    void onRightDown(wxMouseEvent& event);
    void onTreeKeyDown(wxTreeEvent& event);
    void onModuleMenu(wxCommandEvent& event);
    void onUpdateModuleMenu(wxUpdateUIEvent& event);

    ClientApp& app_;
    Skin& skin_;
    CChatwynDoc* doc_ = nullptr;
    bool initialised_ = false;

    // The tree's single real root, hidden: "Online" and "Offline" are its children.
    wxTreeItemId hiddenRoot_;
    Root online_;
    Root offline_;
    std::unordered_map<std::string, wxTreeItemId> itemsById_;

    SelectionHandler selectionHandler_;
    AddContactHandler addContactHandler_;
    DropHandler dropHandler_;
};

} // namespace orvane
