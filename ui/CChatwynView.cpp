#include "ui/CChatwynView.h"

#include "core/app/ClientApp.h"
#include "core/contacts/ContactRecord.h"
#include "foundation/Monitor.h"
#include "resources/ResourceIds.h"
#include "ui/CChatwynDoc.h"
#include "ui/CommandIds.h"
#include "ui/MessageBoxes.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <wx/dnd.h>
#include <wx/imaglist.h>
#include <wx/wupdlock.h>

#include <algorithm>
#include <utility>

namespace orvane {

namespace {

// What a contact item carries: its record, and a copy of the record's id, so that the
// selection can be found again after the records were deleted (a sign-in clears them, then
// rebuilds the tree).
class ContactItemData : public wxTreeItemData {
public:
    ContactItemData(ContactRecord& record, std::string recordId) : contact(&record), id(std::move(recordId)) {}

    ContactRecord* contact;
    const std::string id;
};

// Names arrive as UTF-8; a name that is not valid UTF-8 still shows, byte for character.
wxString textOf(const std::string& bytes)
{
    wxString text = wxString::FromUTF8(bytes.data(), bytes.size());
    if (text.empty() && !bytes.empty())
        text = wxString(bytes.data(), wxConvISO8859_1, bytes.size());
    return text;
}

class ContactDropTarget : public wxFileDropTarget {
public:
    explicit ContactDropTarget(CChatwynView& view) : view_(view) {}

    bool OnDropFiles(wxCoord x, wxCoord y, const wxArrayString& files) override
    {
        return view_.OnDropFiles(wxPoint(x, y), files);
    }

private:
    CChatwynView& view_;
};

} // namespace

CChatwynView::CChatwynView(wxWindow* parent, ClientApp& app, Skin& skin, wxWindowID id)
    : wxTreeCtrl(parent, id, wxDefaultPosition, wxDefaultSize,
                 wxTR_HAS_BUTTONS | wxTR_HIDE_ROOT | wxTR_SINGLE | wxBORDER_NONE),
      app_(app),
      skin_(skin)
{
    Bind(wxEVT_TREE_SEL_CHANGED, &CChatwynView::onSelChanged, this);
    Bind(wxEVT_TREE_ITEM_EXPANDING, &CChatwynView::onItemExpanding, this);
    Bind(wxEVT_TREE_ITEM_COLLAPSING, &CChatwynView::onItemExpanding, this);
    Bind(wxEVT_LEFT_DCLICK, &CChatwynView::onLeftDoubleClick, this);
    Bind(wxEVT_RIGHT_DOWN, &CChatwynView::onRightDown, this);
    Bind(wxEVT_TREE_KEY_DOWN, &CChatwynView::onTreeKeyDown, this);

    const int firstAction = command::toWxId(command::ModuleActionFirst);
    const int lastAction = command::toWxId(command::ModuleActionLast);
    Bind(wxEVT_MENU, &CChatwynView::onModuleMenu, this, firstAction, lastAction);
    Bind(wxEVT_UPDATE_UI, &CChatwynView::onUpdateModuleMenu, this, firstAction, lastAction);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { OnAddContact(); }, command::toWxId(command::AddContact));
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { event.Enable(CanAddContact()); },
         command::toWxId(command::AddContact));
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { OnDeleteContact(); }, command::toWxId(command::DeleteContact));
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) { event.Enable(CanDeleteContact()); },
         command::toWxId(command::DeleteContact));
    Bind(wxEVT_MENU, [](wxCommandEvent&) {}, command::toWxId(command::SearchContact));
}

CChatwynView::~CChatwynView()
{
    // The items go while this object is whole; nobody hears of the selection any more.
    selectionHandler_ = nullptr;
    if (doc_)
        doc_->removeView(*this);
    DeleteAllItems();
}

void CChatwynView::SetDocument(CChatwynDoc* doc)
{
    if (doc_)
        doc_->removeView(*this);
    doc_ = doc;
    if (doc_)
        doc_->addView(*this);
}

void CChatwynView::OnInitialUpdate()
{
    OnUpdate(nullptr);
    if (initialised_)
        return;
    initialised_ = true;
    const wxBitmap states = resourceBitmap(BitmapContactStates);
    if (states.IsOk() && states.GetHeight() >= PictureSize) {
        auto* images = new wxImageList(PictureSize, PictureSize, true, 4);
        const wxColour key = colourOf(SkinKeyColor);
        for (int i = 0; i < 4 && (i + 1) * PictureSize <= states.GetWidth(); ++i)
            images->Add(states.GetSubBitmap(wxRect(i * PictureSize, 0, PictureSize, PictureSize)), key);
        AssignImageList(images);
    }
    SetBackgroundColour(colourOf(skin_.backgroundColor()));
    SetDropTarget(new ContactDropTarget(*this));
}

void CChatwynView::OnUpdate(ContactRecord* hint)
{
    // A refresh before the first rebuild finds no roots to work in: it builds them.
    if (hint && online_.item.IsOk()) {
        {
            wxWindowUpdateLocker noRedraw(this);
            UpdateContactItem(*hint);
        }
        UpdateRootStates();
        return;
    }

    std::string selectedId;
    if (const wxTreeItemId selected = GetSelection(); selected.IsOk())
        if (const auto* data = static_cast<const ContactItemData*>(GetItemData(selected)))
            selectedId = data->id;

    MonitorLock guard(app_.lock());
    app_.sortContacts();
    wxWindowUpdateLocker noRedraw(this);
    ResetTree();
    const int count = app_.getContactCount();
    for (int i = 0; i < count; ++i) {
        ContactRecord* contact = app_.getContactAt(i);
        if (contact && contact->isListed())
            UpdateContactItem(*contact);
    }
    UpdateRootStates();
    if (!selectedId.empty())
        if (const wxTreeItemId item = FindContactItem(selectedId); item.IsOk())
            SelectItem(item);
}

ContactRecord* CChatwynView::GetSelectedContact() const
{
    const wxTreeItemId item = GetSelection();
    if (!item.IsOk())
        return nullptr;
    const auto* data = static_cast<const ContactItemData*>(GetItemData(item));
    return data ? data->contact : nullptr;
}

void CChatwynView::ShowContextMenu(const wxPoint&)
{
}

wxTreeItemId CChatwynView::FindContactItem(const std::string& id) const
{
    const auto it = itemsById_.find(id);
    return it == itemsById_.end() ? wxTreeItemId() : it->second;
}

// ---- building the tree ----------------------------------------------------------------------

void CChatwynView::ResetTree()
{
    DeleteAllItems();
    hiddenRoot_ = online_.item = offline_.item = wxTreeItemId();
    online_.children.clear();
    offline_.children.clear();
    itemsById_.clear();
    selectionChanged();
    hiddenRoot_ = AddRoot(wxString());
    online_.item = AppendItem(hiddenRoot_, "Online", RootCollapsed, RootCollapsed);
    offline_.item = AppendItem(hiddenRoot_, "Offline", RootCollapsed, RootCollapsed);
}

void CChatwynView::UpdateContactItem(ContactRecord& contact)
{
    // Copies: the display name is the record's cache, rewritten by its next call.
    const std::string name = contact.getDisplayName();
    const std::string id = contact.getId();
    const wxTreeItemId item = FindContactItem(id);
    const wxTreeItemId root = item.IsOk() ? GetItemParent(item) : wxTreeItemId();
    const bool online = contact.isOnline();
    const bool listed = contact.isListed();

    if (item.IsOk() && listed && ((online && root == online_.item) || (!online && root == offline_.item))) {
        static_cast<ContactItemData*>(GetItemData(item))->contact = &contact;
        SetItemText(item, textOf(name));
        Root& children = online ? online_ : offline_;
        for (Child& child : children.children)
            if (child.item == item)
                child.key = contact.sortKey();
        return;
    }
    if (item.IsOk())
        DeleteContactItem(item);
    if (listed) {
        Root& target = online ? online_ : offline_;
        InsertContactItem(target, name, contact, FindInsertPosition(contact.sortKey(), target));
    }
}

size_t CChatwynView::FindInsertPosition(const std::string& key, const Root& root) const
{
    // Keys compare as unsigned bytes. From the end: the last child that sorts strictly
    // before, which in a sorted rebuild is the first one looked at.
    for (size_t i = root.children.size(); i > 0; --i)
        if (root.children[i - 1].key.compare(key) < 0)
            return i;
    return 0;
}

void CChatwynView::InsertContactItem(Root& root, const std::string& name, ContactRecord& contact, size_t position)
{
    // Inserted with its final picture: 2 for status 1, 3 for status 0, else the 0 it is
    // inserted with.
    const int picture = contact.status == 1 ? ContactOnline : contact.status == 0 ? ContactOffline : RootCollapsed;
    auto* data = new ContactItemData(contact, contact.getId());
    const wxTreeItemId item = InsertItem(root.item, position, textOf(name), picture, picture, data);
    root.children.insert(root.children.begin() + static_cast<std::ptrdiff_t>(position), Child{item, contact.sortKey()});
    itemsById_[data->id] = item;
    Expand(root.item);
    SetRootPicture(root.item, RootExpanded);
}

void CChatwynView::UpdateRootStates()
{
    for (const Root* root : {&online_, &offline_}) {
        if (!root->item.IsOk())
            continue;
        if (ItemHasChildren(root->item))
            Expand(root->item);
        else
            Collapse(root->item);
    }
}

void CChatwynView::DeleteContactItem(const wxTreeItemId& item)
{
    if (const auto* data = static_cast<const ContactItemData*>(GetItemData(item)))
        itemsById_.erase(data->id);
    if (Root* root = rootOf(item)) {
        auto& children = root->children;
        children.erase(std::remove_if(children.begin(), children.end(),
                                      [&item](const Child& child) { return child.item == item; }),
                       children.end());
    }
    Delete(item);
}

CChatwynView::Root* CChatwynView::rootOf(const wxTreeItemId& item)
{
    const wxTreeItemId parent = GetItemParent(item);
    if (parent.IsOk() && parent == online_.item)
        return &online_;
    if (parent.IsOk() && parent == offline_.item)
        return &offline_;
    return nullptr;
}

void CChatwynView::SetRootPicture(const wxTreeItemId& root, int picture)
{
    for (wxTreeItemIcon which : {wxTreeItemIcon_Normal, wxTreeItemIcon_Selected})
        if (GetItemImage(root, which) != picture)
            SetItemImage(root, picture, which);
}

void CChatwynView::selectionChanged()
{
    if (selectionHandler_)
        selectionHandler_();
}

// ---- commands -------------------------------------------------------------------------------

void CChatwynView::OnAddContact()
{
    if (addContactHandler_)
        addContactHandler_();
}

bool CChatwynView::CanAddContact() const
{
    return app_.connection().isConnected();
}

void CChatwynView::OnDeleteContact()
{
    ContactRecord* contact = GetSelectedContact();
    if (!contact)
        return;
    // Copies before the box: its loop runs the program's events, and a sign-in among them
    // deletes every record.
    const std::string id = contact->getId();
    const wxString question = wxString::Format("Are you sure, you want to delete [%s]\nfrom your contact list?",
                                               textOf(contact->getDisplayName()));
    if (askYesNo(this, question))
        app_.connection().sendRemoveContact(id.c_str());
}

void CChatwynView::OnModuleCommand(int commandId)
{
    if (commandId < command::ModuleActionFirst || commandId > command::ModuleActionLast)
        return;
    const ModuleEntry* entry = app_.getActionEntry(commandId - command::ModuleActionFirst);
    if (!entry)
        return;
    // actOnContact asks the module's canActOn first.
    app_.actOnContact(app_.findModuleIndex(entry->id.c_str()), GetSelectedContact());
}

bool CChatwynView::OnUpdateModuleCommand(int commandId) const
{
    if (commandId < command::ModuleActionFirst || commandId > command::ModuleActionLast)
        return false;
    const ModuleEntry* entry = app_.getActionEntry(commandId - command::ModuleActionFirst);
    return entry && entry->module && entry->module->canActOn(GetSelectedContact());
}

bool CChatwynView::OnDropFiles(const wxPoint& point, const wxArrayString& files)
{
    if (!GetClientRect().Contains(point))
        return false;
    int flags = 0;
    const wxTreeItemId item = HitTest(point, flags);
    if (!item.IsOk())
        return false;
    const auto* data = static_cast<const ContactItemData*>(GetItemData(item));
    if (!data || !data->contact->isOnline())
        return false;
    if (dropHandler_)
        dropHandler_(*data->contact, files);
    return true;
}

// ---- events ---------------------------------------------------------------------------------

void CChatwynView::onSelChanged(wxTreeEvent& event)
{
    selectionChanged();
    event.Skip();
}

void CChatwynView::onItemExpanding(wxTreeEvent& event)
{
    const int picture = event.GetEventType() == wxEVT_TREE_ITEM_EXPANDING ? RootExpanded : RootCollapsed;
    SetRootPicture(event.GetItem(), picture);
    event.Skip();
}

void CChatwynView::onLeftDoubleClick(wxMouseEvent& event)
{
    OnModuleCommand(command::ModuleActionFirst);
    // The tree's own handling then expands or collapses a root.
    event.Skip();
}

void CChatwynView::onRightDown(wxMouseEvent& event)
{
    int flags = 0;
    const wxTreeItemId item = HitTest(event.GetPosition(), flags);
    if (item.IsOk() &&
        (flags & (wxTREE_HITTEST_ONITEMICON | wxTREE_HITTEST_ONITEMLABEL | wxTREE_HITTEST_ONITEMSTATEICON)))
        SelectItem(item);
    ShowContextMenu(ClientToScreen(event.GetPosition()));
}

void CChatwynView::onTreeKeyDown(wxTreeEvent& event)
{
    const wxKeyEvent& key = event.GetKeyEvent();
    const bool menuKey = key.GetKeyCode() == WXK_WINDOWS_MENU || (key.GetKeyCode() == WXK_F10 && key.ShiftDown());
    if (!menuKey) {
        event.Skip();
        return;
    }
    // At the right and top of the selected item's text; the view's corner without one.
    wxPoint at;
    wxRect text;
    if (const wxTreeItemId item = GetSelection(); item.IsOk() && GetBoundingRect(item, text, true))
        at = wxPoint(text.x + text.width, text.y);
    ShowContextMenu(ClientToScreen(at));
}

void CChatwynView::onModuleMenu(wxCommandEvent& event)
{
    OnModuleCommand(command::fromWxId(event.GetId()));
}

void CChatwynView::onUpdateModuleMenu(wxUpdateUIEvent& event)
{
    event.Enable(OnUpdateModuleCommand(command::fromWxId(event.GetId())));
}

} // namespace orvane
