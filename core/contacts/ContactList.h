#pragma once

#include "core/contacts/ContactRecord.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace orvane {

// The records of every user the program knows, in insertion order until a view sorts
// them. It owns its records. Not locked itself: the application holds its lock around
// every use (the list is reached from the user-interface thread and from module threads).
// Ids and user names are compared byte for byte.
//
// The records are indexed by id, so that finding and adding take the same time however
// long the list is: a sign-in reply of n contacts, or messages from n strangers, cost
// about n steps rather than n squared. Ids are unique in the list (add finds before it
// appends) and a record's id never changes once it is in the list.
class ContactList {
public:
    ContactList();
    ~ContactList();
    ContactList(const ContactList&) = delete;
    ContactList& operator=(const ContactList&) = delete;

    // The record with the id, or NULL.
    ContactRecord* find(const char* id) const;
    // The record with the id; a new one (named "Unknown " and the id, not listed, offline)
    // appended when there is none. NULL for a NULL id.
    ContactRecord* add(const char* id);
    // find, else add.
    ContactRecord* get(const char* id) { return add(id); }

    int count() const { return static_cast<int>(records_.size()); }
    // NULL for an index outside the list.
    ContactRecord* at(int index) const;
    // True when a listed record has exactly this user name.
    bool isListedUserName(const char* name) const;
    void unlistAll();
    // Deletes every record; pointers to them are invalid afterwards.
    void clear();
    // Offline contacts first, then by display name in the order of names (NameOrder.h);
    // records of equal rank keep their order.
    void sort();
    // The order of sort: negative, 0 or positive.
    static int compare(ContactRecord& a, ContactRecord& b);

private:
    std::vector<std::unique_ptr<ContactRecord>> records_;
    std::unordered_map<std::string, ContactRecord*> byId_;
};

} // namespace orvane
