#include "core/contacts/NameOrder.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace orvane {

namespace {

// The locale whose collation orders names: the first of LC_ALL, LC_COLLATE and LANG that
// is set, without its character set and modifier ("de_DE.UTF-8@euro" is "de_DE"). The
// empty name is the common order of all languages, also for C and POSIX.
std::string collationLocale()
{
    std::string name;
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    name = name.substr(0, name.find_first_of(".@"));
    if (name == "C" || name == "POSIX")
        name.clear();
    return name;
}

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};
using Collator = std::unique_ptr<UCollator, CollatorCloser>;

Collator openCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open(collationLocale().c_str(), &status));
    if (U_FAILURE(status)) {
        // A locale name that ICU cannot take still gets the common order.
        status = U_ZERO_ERROR;
        collator.reset(ucol_open("", &status));
        if (U_FAILURE(status))
            collator.reset();
    }
    if (collator)
        ucol_setStrength(collator.get(), UCOL_SECONDARY);
    return collator;
}

// A collator is not to be shared between threads; one is made per thread on first use.
UCollator* threadCollator()
{
    thread_local Collator collator = openCollator();
    return collator.get();
}

// The name as UTF-16: UTF-8 when it is valid throughout, else every byte as its Latin-1
// character.
std::vector<UChar> utf16(const char* name)
{
    const int32_t length = static_cast<int32_t>(std::strlen(name));
    std::vector<UChar> text(static_cast<size_t>(length) + 1);
    int32_t written = 0;
    int32_t substitutions = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(text.data(), static_cast<int32_t>(text.size()), &written, name, length, 0xFFFD,
                         &substitutions, &status);
    if (U_FAILURE(status) || substitutions > 0) {
        for (int32_t i = 0; i < length; ++i)
            text[static_cast<size_t>(i)] = static_cast<unsigned char>(name[i]);
        written = length;
    }
    text.resize(static_cast<size_t>(written));
    return text;
}

} // namespace

std::string nameSortKey(const char* name)
{
    const std::vector<UChar> text = utf16(name ? name : "");
    UCollator* collator = threadCollator();
    if (!collator) {
        // Without collation data: code points, which still keeps equal names together.
        std::string key;
        for (UChar c : text) {
            key += static_cast<char>(c >> 8);
            key += static_cast<char>(c & 0xff);
        }
        return key;
    }
    uint8_t buffer[256];
    const int32_t length = static_cast<int32_t>(text.size());
    int32_t needed = ucol_getSortKey(collator, text.data(), length, buffer, sizeof buffer);
    if (needed <= static_cast<int32_t>(sizeof buffer))
        return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(needed > 0 ? needed - 1 : 0));
    std::vector<uint8_t> large(static_cast<size_t>(needed));
    needed = ucol_getSortKey(collator, text.data(), length, large.data(), needed);
    // The key ends in a zero byte of its own, which adds nothing to the order.
    return std::string(reinterpret_cast<const char*>(large.data()), static_cast<size_t>(needed > 0 ? needed - 1 : 0));
}

int compareNames(const char* a, const char* b)
{
    return nameSortKey(a).compare(nameSortKey(b));
}

} // namespace orvane
