#pragma once

#include "core/contacts/ContactRecord.h"

#include <memory>
#include <vector>

namespace orvane {

// The records of every user the program knows, in insertion order until a view sorts
// them. It owns its records. Not locked itself: the application holds its lock around
// every use (the list is reached from the user-interface thread and from module threads).
// Ids and user names are compared byte for byte.
class ContactList {
public:
    ContactList();
    ~ContactList();
    ContactList(const ContactList&) = delete;
    ContactList& operator=(const ContactList&) = delete;

    // The first record with the id, or NULL.
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
    // Offline contacts first, then by display name ignoring case.
    void sort();
    // The order of sort: negative, 0 or positive.
    static int compare(ContactRecord& a, ContactRecord& b);

private:
    std::vector<std::unique_ptr<ContactRecord>> records_;
};

} // namespace orvane
