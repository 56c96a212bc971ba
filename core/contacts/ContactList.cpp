#include "core/contacts/ContactList.h"

#include <algorithm>
#include <strings.h>

namespace orvane {

ContactList::ContactList() = default;
ContactList::~ContactList() = default;

ContactRecord* ContactList::find(const char* id) const
{
    if (!id)
        return nullptr;
    for (const auto& record : records_)
        if (record->id == id)
            return record.get();
    return nullptr;
}

ContactRecord* ContactList::add(const char* id)
{
    if (!id)
        return nullptr;
    if (ContactRecord* existing = find(id))
        return existing;
    auto record = std::make_unique<ContactRecord>(id);
    record->userName = "Unknown ";
    record->userName += id;
    records_.push_back(std::move(record));
    return records_.back().get();
}

ContactRecord* ContactList::at(int index) const
{
    if (index < 0 || index >= count())
        return nullptr;
    return records_[static_cast<size_t>(index)].get();
}

bool ContactList::isListedUserName(const char* name) const
{
    if (!name)
        return false;
    for (const auto& record : records_)
        if (record->listed && record->userName == name)
            return true;
    return false;
}

void ContactList::unlistAll()
{
    for (auto& record : records_)
        record->listed = false;
}

void ContactList::clear()
{
    records_.clear();
}

int ContactList::compare(ContactRecord& a, ContactRecord& b)
{
    if (a.isOnline() != b.isOnline())
        return a.isOnline() ? 1 : -1;
    const String nameA = a.getDisplayName();
    return ::strcasecmp(nameA.c_str(), b.getDisplayName());
}

void ContactList::sort()
{
    std::stable_sort(records_.begin(), records_.end(),
                     [](const std::unique_ptr<ContactRecord>& a, const std::unique_ptr<ContactRecord>& b) {
                         return compare(*a, *b) < 0;
                     });
}

} // namespace orvane
