#include "core/contacts/ContactRecord.h"

#include "core/contacts/NameOrder.h"

namespace orvane {

ContactRecord::ContactRecord(const char* text) : id(text ? text : "") {}

ContactRecord::~ContactRecord() = default;

const char* ContactRecord::getDisplayName()
{
    String name = firstName;
    name += " ";
    name += lastName;
    name.trim();
    displayName_ = name.isEmpty() ? userName : name;
    return displayName_.c_str();
}

const std::string& ContactRecord::sortKey()
{
    const char* name = getDisplayName();
    if (!hasSortKey_ || sortKeyName_ != name) {
        sortKeyName_ = name;
        sortKey_ = nameSortKey(name);
        hasSortKey_ = true;
    }
    return sortKey_;
}

namespace presence {

uint64_t readId(const uint8_t* record)
{
    uint64_t id = 0;
    for (int i = 0; i < 8; ++i)
        id = (id << 8) | record[i];
    return id;
}

void apply(const uint8_t* record, ContactRecord& contact)
{
    contact.status = record[8];
    // The address bytes are already in network order; the port is read big-endian.
    uint32_t address;
    static_assert(sizeof address == 4, "IPv4 address");
    __builtin_memcpy(&address, record + 9, 4);
    const int port = (record[13] << 8) | record[14];
    contact.endpoint.setAddress(address, port);
}

} // namespace presence

} // namespace orvane
