#pragma once

#include "foundation/Exception.h"
#include "foundation/String.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace orvane {

// Growable array. Whenever room is short for a needed count n, the capacity becomes
// exactly n + growBy: it never doubles, so arrays that are given no growBy reallocate on
// every growth. Slots between count and capacity are not cleared.
template <class T>
class Array {
public:
    Array() = default;
    explicit Array(int growBy) : growBy_(growBy < 0 ? 0 : growBy) {}
    Array(const Array& other) : growBy_(other.growBy_) { *this = other; }
    Array(Array&& other) noexcept { swap(other); }
    ~Array() { delete[] data_; }

    // Takes the other's count and copies every element; an empty other leaves count 0.
    Array& operator=(const Array& other)
    {
        if (this == &other)
            return *this;
        if (other.data_ && other.count_ > 0) {
            setSize(other.count_);
            for (int i = 0; i < other.count_; ++i)
                data_[i] = other.data_[i];
        }
        count_ = other.count_ > 0 && data_ ? other.count_ : 0;
        return *this;
    }
    Array& operator=(Array&& other) noexcept
    {
        if (this != &other) {
            Array tmp(std::move(other));
            swap(tmp);
        }
        return *this;
    }

    void swap(Array& other) noexcept
    {
        std::swap(data_, other.data_);
        std::swap(capacity_, other.capacity_);
        std::swap(count_, other.count_);
        std::swap(growBy_, other.growBy_);
    }

    // 0 frees the storage; otherwise a block of exactly n elements replaces the old one,
    // keeping the first min(count, n) elements. On failure nothing changes.
    void setCapacity(int n)
    {
        if (n <= 0) {
            delete[] data_;
            data_ = nullptr;
            capacity_ = 0;
            count_ = 0;
            return;
        }
        T* block = new (std::nothrow) T[static_cast<size_t>(n)];
        if (!block)
            throw MemoryException();
        int keep = count_ < n ? count_ : n;
        for (int i = 0; i < keep; ++i)
            block[i] = std::move(data_[i]);
        delete[] data_;
        data_ = block;
        capacity_ = n;
        count_ = keep;
    }

    void setSize(int n)
    {
        if (n < 0)
            n = 0;
        if (capacity_ < n) {
            if (n > INT_MAX - growBy_)
                throw MemoryException();
            setCapacity(n + growBy_);
        }
        count_ = n;
    }

    void add(const T& element)
    {
        if (count_ == INT_MAX)
            throw MemoryException();
        if (count_ < capacity_) {
            data_[count_++] = element;
            return;
        }
        T copy(element); // the element may live in the block that growing frees
        setSize(count_ + 1);
        data_[count_ - 1] = std::move(copy);
    }

    // Removes the element at index, moving the rest down; out-of-range indexes do nothing.
    void removeAt(int index)
    {
        if (index < 0 || index >= count_)
            return;
        for (int i = index; i + 1 < count_; ++i)
            data_[i] = std::move(data_[i + 1]);
        --count_;
        if constexpr (!std::is_trivially_copyable_v<T>)
            data_[count_] = T();
    }

    void release() { setCapacity(0); }

    // Byte arrays only: copies n bytes to index pos, growing the count to pos + n.
    void write(int pos, const void* source, int n)
    {
        static_assert(sizeof(T) == 1 && std::is_trivially_copyable_v<T>, "byte arrays only");
        if (!source || n <= 0 || pos < 0)
            return;
        if (pos > INT_MAX - n)
            throw MemoryException();
        if (count_ < pos + n)
            setSize(pos + n);
        std::memcpy(data_ + pos, source, static_cast<size_t>(n));
    }

    T& operator[](int i) { return data_[i]; }
    const T& operator[](int i) const { return data_[i]; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    int count() const { return count_; }
    int capacity() const { return capacity_; }
    int growBy() const { return growBy_; }
    void setGrowBy(int n) { growBy_ = n < 0 ? 0 : n; }
    bool isEmpty() const { return count_ == 0; }

    T* begin() { return data_; }
    T* end() { return data_ + count_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + count_; }

private:
    T* data_ = nullptr;
    int capacity_ = 0;
    int count_ = 0;
    int growBy_ = 0;
};

using ByteArray = Array<uint8_t>;
using PointerArray = Array<void*>;

class StringArray : public Array<String> {
public:
    using Array<String>::Array;
    void clear() { release(); }
};

struct NameValuePair {
    String name;
    String value;

    NameValuePair() = default;
    explicit NameValuePair(const char* n) : name(n) {}
    NameValuePair(const char* n, const char* v) : name(n), value(v) {}
    String getName() const { return name; }
    String getValue() const { return value; }
    void setValue(const char* v) { value = v; }
    // The value becomes the decimal text of the number.
    void setValue(int n);
    // Reads one attribute of a header value such as "a=1; Path=/x": the value is split at
    // ';', and the first piece whose name (before its first '=', trimmed, ASCII letters
    // lowered) equals the given name gives its trimmed text after the '='. Pieces without
    // '=' are skipped; no match gives the empty text.
    String attribute(const char* attributeName) const;
};

// Ordered list of name/value pairs (HTTP headers, cookie attributes, authentication
// parameters). Names may repeat and are looked up ignoring ASCII case.
class NameValueList : public Array<NameValuePair> {
public:
    NameValueList() : Array<NameValuePair>(10) { setCapacity(8); }
    NameValueList(const NameValueList& other) : NameValueList() { Array::operator=(other); }
    NameValueList& operator=(const NameValueList& other)
    {
        Array::operator=(other);
        return *this;
    }

    // Appends the pair and answers its index; a NULL or empty name adds nothing (-1).
    int add(const char* name, const char* value);
    int find(const char* name, int start = 0) const;
    // The value of the first pair with that name, or the empty string.
    String get(const char* name) const;
    // The first pair with that name (case ignored); a missing one is appended with the
    // name spelled as passed and an empty value.
    NameValuePair& entry(const char* name);
    // Removes the first pair with that name (case ignored); false when there is none or
    // the name is NULL or empty.
    bool remove(const char* name);
    void append(const NameValuePair& pair) { Array::add(pair); }
    void clear() { release(); }
};

uint32_t hashString(const String& s);

// Chained hash set of strings.
class StringHashSet {
public:
    using HashFunction = uint32_t (*)(const String&);

    struct Entry {
        Entry* next;
        uint32_t hash;
        String key;
    };

    class Iterator {
    public:
        explicit Iterator(const StringHashSet& set);
        bool isValid() const { return visited_ < set_.size_; }
        void next();
        String key() const { return current_->key; }

    private:
        void skipToNonEmpty();

        uint32_t bucket_ = 0;
        const Entry* current_ = nullptr;
        int visited_ = 0;
        const StringHashSet& set_;
    };

    // A table of zero chains would make every lookup divide by zero; it gets one chain.
    explicit StringHashSet(HashFunction hash = hashString, uint32_t bucketCount = 17);
    ~StringHashSet();
    StringHashSet(const StringHashSet&) = delete;
    StringHashSet& operator=(const StringHashSet&) = delete;

    Entry* find(const String& key) const;
    void add(const String& key);
    int size() const { return size_; }
    uint32_t bucketCount() const { return bucketCount_; }

private:
    uint32_t bucketCount_;
    int size_ = 0;
    Entry** buckets_;
    HashFunction hashFunction_;
};

} // namespace orvane
