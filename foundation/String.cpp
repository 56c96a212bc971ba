#include "foundation/String.h"

#include "foundation/Containers.h"
#include "foundation/Exception.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace orvane {

namespace {

char* allocateBuffer(int capacity)
{
    char* p = static_cast<char*>(std::malloc(static_cast<size_t>(capacity) + 1));
    if (!p)
        throw MemoryException();
    return p;
}

// A length that grows past what an int holds is refused rather than wrapped.
int checkedSum(int a, int b)
{
    if (b < 0 || a > INT_MAX - b)
        throw MemoryException();
    return a + b;
}

// The appending rule doubles the new length; past the int range the capacity stops
// at the largest value instead of wrapping.
int doubledCapacity(int length)
{
    return length > INT_MAX / 2 ? INT_MAX : length * 2;
}

int textLength(const char* text, int length)
{
    if (!text)
        return 0;
    return length < 0 ? static_cast<int>(std::strlen(text)) : length;
}

} // namespace

String::String(const char* text, int length)
{
    int n = textLength(text, length);
    if (n == 0)
        return;
    allocateExact(n);
    std::memcpy(data_, text, static_cast<size_t>(n));
    data_[n] = 0;
    length_ = n;
}

String::String(const String& other)
{
    if (other.length_ == 0)
        return;
    allocateExact(other.length_);
    std::memcpy(data_, other.data_, static_cast<size_t>(other.length_) + 1);
    length_ = other.length_;
}

String::String(String&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_)
{
    other.data_ = nullptr;
    other.length_ = 0;
    other.capacity_ = 0;
}

String::~String()
{
    std::free(data_);
}

void String::allocateExact(int n)
{
    char* p = allocateBuffer(n);
    std::free(data_);
    data_ = p;
    capacity_ = n;
}

void String::reallocateKeeping(int n)
{
    char* p = allocateBuffer(n);
    if (data_)
        std::memcpy(p, data_, static_cast<size_t>(length_) + 1);
    else
        p[0] = 0;
    std::free(data_);
    data_ = p;
    capacity_ = n;
}

void String::growForAppend(int newLength)
{
    if (capacity_ < newLength)
        reallocateKeeping(doubledCapacity(newLength));
}

String& String::assign(const char* text, int length)
{
    int n = textLength(text, length);
    if (n == 0) {
        clear();
        return *this;
    }
    if (capacity_ >= n) {
        // memmove: the source may lie inside this very buffer.
        std::memmove(data_, text, static_cast<size_t>(n));
    } else {
        // The old buffer is freed only after the copy, so a source inside it stays valid.
        char* p = allocateBuffer(n);
        std::memcpy(p, text, static_cast<size_t>(n));
        std::free(data_);
        data_ = p;
        capacity_ = n;
    }
    data_[n] = 0;
    length_ = n;
    return *this;
}

String& String::operator=(const char* text)
{
    return assign(text, -1);
}

String& String::operator=(const String& other)
{
    if (this != &other)
        assign(other.data_, other.length_);
    return *this;
}

String& String::operator=(String&& other) noexcept
{
    if (this != &other) {
        std::free(data_);
        data_ = other.data_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.length_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

void String::clear()
{
    length_ = 0;
    if (data_)
        data_[0] = 0;
}

void String::reserve(int n)
{
    if (capacity_ < n)
        reallocateKeeping(n);
}

void String::setLength(int n)
{
    if (n <= 0) {
        clear();
        return;
    }
    if (n > capacity_)
        reallocateKeeping(n);
    if (n > length_)
        std::memset(data_ + length_, ' ', static_cast<size_t>(n - length_));
    length_ = n;
    data_[n] = 0;
}

String& String::append(const char* text, int length)
{
    int n = textLength(text, length);
    if (n == 0)
        return *this;
    int newLength = checkedSum(length_, n);
    if (capacity_ < newLength) {
        // Copy old text and the appended text before freeing: the text may be our own.
        int capacity = doubledCapacity(newLength);
        char* p = allocateBuffer(capacity);
        if (length_)
            std::memcpy(p, data_, static_cast<size_t>(length_));
        std::memcpy(p + length_, text, static_cast<size_t>(n));
        std::free(data_);
        data_ = p;
        capacity_ = capacity;
    } else {
        std::memmove(data_ + length_, text, static_cast<size_t>(n));
    }
    length_ = newLength;
    data_[length_] = 0;
    return *this;
}

String& String::append(char c)
{
    return append(&c, 1);
}

String& String::operator+=(const String& other)
{
    return append(other.data_, other.length_);
}

String& String::operator+=(const char* text)
{
    return append(text, -1);
}

String& String::operator+=(char c)
{
    return append(&c, 1);
}

namespace {

int compareBytes(const char* a, int na, const char* b, int nb)
{
    int n = na < nb ? na : nb;
    int r = n > 0 ? std::memcmp(a, b, static_cast<size_t>(n)) : 0;
    if (r != 0)
        return r < 0 ? -1 : 1;
    if (na == nb)
        return 0;
    return na < nb ? -1 : 1;
}

String concat(const char* a, int na, const char* b, int nb)
{
    String r;
    int n = checkedSum(na, nb);
    if (n == 0)
        return r;
    r.reserve(n);
    r.append(a, na);
    r.append(b, nb);
    return r;
}

} // namespace

int String::compare(const char* text) const
{
    if (!text)
        return length_ > 0 ? 1 : 0;
    return compareBytes(c_str(), length_, text, static_cast<int>(std::strlen(text)));
}

int String::compare(const String& other) const
{
    return compareBytes(c_str(), length_, other.c_str(), other.length_);
}

int String::find(const char* needle, int start) const
{
    if (!needle || !*needle || length_ == 0 || start >= length_)
        return -1;
    if (start < 0)
        start = 0;
    size_t n = std::strlen(needle);
    const void* hit = memmem(data_ + start, static_cast<size_t>(length_ - start), needle, n);
    return hit ? static_cast<int>(static_cast<const char*>(hit) - data_) : -1;
}

int String::find(char c, int start) const
{
    if (length_ == 0 || start >= length_)
        return -1;
    if (start < 0)
        start = 0;
    const void* hit = std::memchr(data_ + start, c, static_cast<size_t>(length_ - start));
    return hit ? static_cast<int>(static_cast<const char*>(hit) - data_) : -1;
}

int String::findFirstOf(const char* set, int start) const
{
    if (!set || !*set || start >= length_)
        return -1;
    if (start < 0)
        start = 0;
    for (int i = start; i < length_; ++i)
        if (std::strchr(set, data_[i]) && data_[i] != 0)
            return i;
    return -1;
}

bool String::startsWith(const char* text) const
{
    if (!text)
        return true;
    size_t n = std::strlen(text);
    if (n == 0 || n > static_cast<size_t>(length_))
        return false;
    return std::memcmp(data_, text, n) == 0;
}

bool String::endsWith(const char* text) const
{
    if (!text)
        return true;
    size_t n = std::strlen(text);
    if (n == 0 || n > static_cast<size_t>(length_))
        return false;
    return std::memcmp(data_ + length_ - n, text, n) == 0;
}

bool equalsIgnoreCase(const char* a, const char* b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    for (; *a && *b; ++a, ++b)
        if (asciiLower(*a) != asciiLower(*b))
            return false;
    return *a == *b;
}

bool String::equalsIgnoreCase(const char* text) const
{
    return orvane::equalsIgnoreCase(c_str(), text);
}

String String::substring(int pos, int n) const
{
    if (pos < 0)
        pos = 0;
    if (pos >= length_)
        return String();
    int rest = length_ - pos;
    if (n < 0 || n > rest)
        n = rest;
    return String(data_ + pos, n);
}

void String::erase(int pos, int n)
{
    if (length_ == 0 || pos < 0 || pos > length_)
        return;
    int rest = length_ - pos;
    if (n >= 0 && n < rest) {
        std::memmove(data_ + pos, data_ + pos + n, static_cast<size_t>(rest - n) + 1);
        length_ -= n;
    } else {
        length_ = pos;
        data_[pos] = 0;
    }
}

void String::replaceAll(const char* from, const char* to)
{
    if (!from || !*from || length_ == 0)
        return;
    if (!to)
        to = "";
    const int fromLen = static_cast<int>(std::strlen(from));
    const int toLen = static_cast<int>(std::strlen(to));

    // Occurrences, scanned left to right; text that replaces one is never searched.
    std::vector<int> hits;
    for (int i = find(from, 0); i >= 0; i = find(from, i + fromLen))
        hits.push_back(i);
    if (hits.empty())
        return;

    // The capacity follows the appending rule at each replacement that no longer fits.
    int capacity = capacity_;
    long long running = length_;
    for (size_t k = 0; k < hits.size(); ++k) {
        running += toLen - fromLen;
        if (running > INT_MAX)
            throw MemoryException();
        if (running > capacity)
            capacity = doubledCapacity(static_cast<int>(running));
    }
    const int newLength = static_cast<int>(running);

    // Front to back into out: a new buffer, or this one when the text does not grow (each
    // piece then moves towards the front, never over text not yet moved).
    auto copyForward = [&](char* out) {
        int src = 0, dst = 0;
        for (int hit : hits) {
            std::memmove(out + dst, data_ + src, static_cast<size_t>(hit - src));
            dst += hit - src;
            std::memcpy(out + dst, to, static_cast<size_t>(toLen));
            dst += toLen;
            src = hit + fromLen;
        }
        std::memmove(out + dst, data_ + src, static_cast<size_t>(length_ - src));
    };
    if (capacity != capacity_) {
        char* p = allocateBuffer(capacity);
        copyForward(p);
        std::free(data_);
        data_ = p;
        capacity_ = capacity;
    } else if (toLen <= fromLen) {
        copyForward(data_);
    } else {
        // Growing in place: fill from the back so nothing is overwritten before it moves.
        int src = length_, dst = newLength;
        for (size_t k = hits.size(); k-- > 0;) {
            int tail = src - (hits[k] + fromLen);
            dst -= tail;
            std::memmove(data_ + dst, data_ + hits[k] + fromLen, static_cast<size_t>(tail));
            dst -= toLen;
            std::memcpy(data_ + dst, to, static_cast<size_t>(toLen));
            src = hits[k];
        }
    }
    length_ = newLength;
    data_[length_] = 0;
}

String& String::toLower()
{
    for (int i = 0; i < length_; ++i)
        data_[i] = asciiLower(data_[i]);
    return *this;
}

String& String::toUpper()
{
    for (int i = 0; i < length_; ++i)
        data_[i] = asciiUpper(data_[i]);
    return *this;
}

String& String::trimLeft()
{
    int i = 0;
    while (i < length_ && isBlankByte(data_[i]))
        ++i;
    if (i > 0)
        erase(0, i);
    return *this;
}

String& String::trimRight()
{
    int n = length_;
    while (n > 0 && isBlankByte(data_[n - 1]))
        --n;
    if (n < length_) {
        length_ = n;
        data_[n] = 0;
    }
    return *this;
}

String& String::format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    formatV(fmt, args);
    va_end(args);
    return *this;
}

String& String::formatV(const char* fmt, va_list args)
{
    if (!fmt || !*fmt) {
        clear();
        return *this;
    }
    // Formatting goes into a separate block: the format or an argument may point into
    // this string's own buffer.
    int capacity = capacity_ == 0 ? static_cast<int>(std::strlen(fmt)) : capacity_;
    for (;;) {
        char* p = allocateBuffer(capacity);
        va_list copy;
        va_copy(copy, args);
        int r = std::vsnprintf(p, static_cast<size_t>(capacity) + 1, fmt, copy);
        va_end(copy);
        if (r < 0) {
            std::free(p);
            clear();
            return *this;
        }
        if (r > capacity) {
            std::free(p);
            capacity = r;
            continue;
        }
        if (capacity == capacity_) {
            std::memcpy(data_, p, static_cast<size_t>(r) + 1);
            std::free(p);
        } else {
            std::free(data_);
            data_ = p;
            capacity_ = capacity;
        }
        length_ = r;
        return *this;
    }
}

void String::split(char sep, StringArray& out, bool trim) const
{
    out.setSize(0);
    if (length_ == 0)
        return;
    const char* text = data_;
    const char* start = text;
    const char* p = text;
    for (; *p; ++p) {
        if (*p != sep)
            continue;
        String piece(start, static_cast<int>(p - start));
        if (trim)
            piece.trim();
        out.add(piece);
        start = p + 1;
    }
    String last(start, static_cast<int>(p - start));
    if (trim)
        last.trim();
    if (!last.isEmpty())
        out.add(last);
}

void String::parsePairs(char sep, char assign, NameValueList& out, bool trim) const
{
    out.clear();
    if (length_ == 0)
        return;
    // Work up to the first zero byte, as every text-taking operation does.
    const char* text = c_str();
    const char* end = text + std::strlen(text);
    const char* p = text;
    while (p < end) {
        const char* stop = static_cast<const char*>(std::memchr(p, sep, static_cast<size_t>(end - p)));
        if (!stop)
            stop = end; // the missing final separator is implied
        const char* eq = static_cast<const char*>(std::memchr(p, assign, static_cast<size_t>(stop - p)));
        String name, value;
        if (eq) {
            name.assign(p, static_cast<int>(eq - p));
            value.assign(eq + 1, static_cast<int>(stop - eq - 1));
        } else {
            name.assign(p, static_cast<int>(stop - p));
        }
        if (trim) {
            name.trim();
            value.trim();
        }
        out.add(name, value);
        p = stop + 1;
    }
}

String operator+(const String& a, const String& b)
{
    return concat(a.c_str(), a.length(), b.c_str(), b.length());
}

String operator+(const String& a, const char* b)
{
    return concat(a.c_str(), a.length(), b ? b : "", b ? static_cast<int>(std::strlen(b)) : 0);
}

String operator+(const String& a, char c)
{
    return concat(a.c_str(), a.length(), &c, 1);
}

String operator+(const char* a, const String& b)
{
    return concat(a ? a : "", a ? static_cast<int>(std::strlen(a)) : 0, b.c_str(), b.length());
}

String operator+(char c, const String& b)
{
    return concat(&c, 1, b.c_str(), b.length());
}

} // namespace orvane
