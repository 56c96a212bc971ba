#pragma once

#include <cstdarg>
#include <cstddef>

namespace orvane {

class StringArray;
class NameValueList;

// The 8-bit byte string of the whole system. It owns its buffer and copies deeply;
// comparisons and case folding touch only the ASCII letters. The buffer, when there is
// one, always holds a zero byte at index length().
class String {
public:
    String() = default;
    String(const char* text, int length = -1);
    String(const String& other);
    String(String&& other) noexcept;
    ~String();

    String& assign(const char* text, int length = -1);
    String& operator=(const char* text);
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;

    void clear();
    void reserve(int n);
    void setLength(int n);

    String& append(const char* text, int length = -1);
    String& append(char c);
    String& operator+=(const String& other);
    String& operator+=(const char* text);
    String& operator+=(char c);

    // -1, 0 or 1; bytes compare as unsigned values.
    int compare(const char* text) const;
    int compare(const String& other) const;
    int find(const char* needle, int start = 0) const;
    int find(char c, int start = 0) const;
    int findFirstOf(const char* set, int start = 0) const;
    bool startsWith(const char* text) const;
    bool endsWith(const char* text) const;
    bool equalsIgnoreCase(const char* text) const;

    String substring(int pos, int n = -1) const;
    void erase(int pos, int n);
    void replaceAll(const char* from, const char* to);
    String& toLower();
    String& toUpper();
    String& trimLeft();
    String& trimRight();
    String& trim() { trimLeft(); return trimRight(); }

    String& format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    String& formatV(const char* fmt, va_list args);

    void split(char sep, StringArray& out, bool trim) const;
    void parsePairs(char sep, char assign, NameValueList& out, bool trim) const;

    // The text, or "" when there is no buffer; never NULL.
    const char* c_str() const { return data_ ? data_ : ""; }
    operator const char*() const { return c_str(); }
    // The buffer itself; NULL when there is none.
    char* data() { return data_; }
    const char* data() const { return data_; }
    int length() const { return length_; }
    int capacity() const { return capacity_; }
    bool isEmpty() const { return length_ == 0; }
    char at(int i) const { return data_[i]; }
    char& at(int i) { return data_[i]; }

private:
    void allocateExact(int n);           // new buffer of n + 1 bytes, old one freed
    void growForAppend(int newLength);   // appending rule: capacity = 2 x new length
    void reallocateKeeping(int n);       // capacity n, text and terminator kept

    char* data_ = nullptr;
    int length_ = 0;
    int capacity_ = 0;
};

String operator+(const String& a, const String& b);
String operator+(const String& a, const char* b);
String operator+(const String& a, char c);
String operator+(const char* a, const String& b);
String operator+(char c, const String& b);

inline bool operator==(const String& a, const String& b) { return a.compare(b) == 0; }
inline bool operator==(const String& a, const char* b) { return a.compare(b) == 0; }
inline bool operator==(const char* a, const String& b) { return b.compare(a) == 0; }
inline bool operator!=(const String& a, const String& b) { return a.compare(b) != 0; }
inline bool operator!=(const String& a, const char* b) { return a.compare(b) != 0; }
inline bool operator<(const String& a, const String& b) { return a.compare(b) < 0; }

// ASCII-only case folding of one byte.
inline char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c; }
inline char asciiUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c; }
inline bool isBlankByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Compares two zero-terminated texts ignoring ASCII case; NULL counts as "".
bool equalsIgnoreCase(const char* a, const char* b);

} // namespace orvane
