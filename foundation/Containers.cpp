#include "foundation/Containers.h"

namespace orvane {

int NameValueList::add(const char* name, const char* value)
{
    if (!name || !*name)
        return -1;
    int index = count();
    setSize(index + 1);
    NameValuePair& pair = (*this)[index];
    pair.name = name;
    pair.value = value ? value : "";
    return index;
}

int NameValueList::find(const char* name, int start) const
{
    if (!name || !*name)
        return -1;
    if (start < 0)
        start = 0;
    for (int i = start; i < count(); ++i)
        if ((*this)[i].name.equalsIgnoreCase(name))
            return i;
    return -1;
}

String NameValueList::get(const char* name) const
{
    int i = find(name);
    return i >= 0 ? (*this)[i].value : String();
}

NameValuePair& NameValueList::entry(const char* name)
{
    int i = find(name);
    if (i < 0) {
        i = count();
        setSize(i + 1);
        (*this)[i] = NameValuePair(name ? name : "", "");
    }
    return (*this)[i];
}

bool NameValueList::remove(const char* name)
{
    int i = find(name);
    if (i < 0)
        return false;
    removeAt(i);
    return true;
}

void NameValuePair::setValue(int n)
{
    value.format("%d", n);
}

String NameValuePair::attribute(const char* attributeName) const
{
    String wanted(attributeName ? attributeName : "");
    wanted.trim().toLower();
    StringArray pieces;
    value.split(';', pieces, true);
    for (const String& piece : pieces) {
        int eq = piece.find('=');
        if (eq < 0)
            continue;
        String key = piece.substring(0, eq);
        key.trim().toLower();
        if (key == wanted) {
            String text = piece.substring(eq + 1);
            return text.trim();
        }
    }
    return String();
}

uint32_t hashString(const String& s)
{
    uint32_t h = 0;
    for (int i = 0; i < s.length(); ++i)
        h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(s.at(i))));
    return h;
}

StringHashSet::StringHashSet(HashFunction hash, uint32_t bucketCount)
    : bucketCount_(bucketCount == 0 ? 1 : bucketCount), hashFunction_(hash ? hash : hashString)
{
    buckets_ = new (std::nothrow) Entry*[bucketCount_]();
    if (!buckets_)
        throw MemoryException();
}

StringHashSet::~StringHashSet()
{
    for (uint32_t b = 0; b < bucketCount_; ++b) {
        Entry* e = buckets_[b];
        while (e) {
            Entry* next = e->next;
            delete e;
            e = next;
        }
    }
    delete[] buckets_;
}

StringHashSet::Entry* StringHashSet::find(const String& key) const
{
    uint32_t h = hashFunction_(key);
    for (Entry* e = buckets_[h % bucketCount_]; e; e = e->next)
        if (e->key.compare(key) == 0)
            return e;
    return nullptr;
}

void StringHashSet::add(const String& key)
{
    if (find(key))
        return;
    uint32_t h = hashFunction_(key);
    Entry*& head = buckets_[h % bucketCount_];
    Entry* e = new (std::nothrow) Entry{head, h, key};
    if (!e)
        throw MemoryException();
    head = e;
    ++size_;
}

StringHashSet::Iterator::Iterator(const StringHashSet& set) : set_(set)
{
    if (set_.size_ > 0) {
        current_ = set_.buckets_[0];
        skipToNonEmpty();
    }
}

void StringHashSet::Iterator::skipToNonEmpty()
{
    while (!current_ && bucket_ + 1 < set_.bucketCount_)
        current_ = set_.buckets_[++bucket_];
}

void StringHashSet::Iterator::next()
{
    ++visited_;
    if (!isValid())
        return;
    current_ = current_->next;
    skipToNonEmpty();
}

} // namespace orvane
