#include "core/contacts/ContactList.h"

#include <algorithm>

namespace orvane {

ContactList::ContactList() = default;
ContactList::~ContactList() = default;

ContactRecord* ContactList::find(const char* id) const
{
    if (!id)
        return nullptr;
    const auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

ContactRecord* ContactList::add(const char* id)
{
    if (!id)
        return nullptr;
    const auto [it, added] = byId_.emplace(id, nullptr);
    if (!added)
        return it->second;
    auto record = std::make_unique<ContactRecord>(id);
    record->userName = "Unknown ";
    record->userName += id;
    it->second = record.get();
    records_.push_back(std::move(record));
    return it->second;
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
    byId_.clear();
    records_.clear();
}

int ContactList::compare(ContactRecord& a, ContactRecord& b)
{
    if (a.isOnline() != b.isOnline())
        return a.isOnline() ? 1 : -1;
    return a.sortKey().compare(b.sortKey());
}

void ContactList::sort()
{
    // Each record's presence and key are taken once, not once per comparison.
    struct Entry {
        bool online;
        const std::string* key;
        std::unique_ptr<ContactRecord> record;
    };
    std::vector<Entry> entries;
    entries.reserve(records_.size());
    for (auto& record : records_) {
        const bool online = record->isOnline();
        const std::string* key = &record->sortKey();
        entries.push_back(Entry{online, key, std::move(record)});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.online != b.online)
            return b.online;
        return *a.key < *b.key;
    });
    for (size_t i = 0; i < entries.size(); ++i)
        records_[i] = std::move(entries[i].record);
}

} // namespace orvane
