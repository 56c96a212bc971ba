#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

namespace orvane {

// The cookies of one site: every URL that starts with `prefix` gets them.
struct CookieSite {
    // "http://" + host [":" port] + path, in lower case.
    String prefix;
    NameValueList cookies;

    // Replaces the value of the cookie of that name (case ignored) or appends the cookie.
    void set(const char* name, const char* value);
};

class CookieJar : public Array<CookieSite> {
public:
    // The site whose prefix equals the text byte for byte, or NULL.
    CookieSite* find(const char* prefix);
    // Stores the cookie under the lowered prefix, adding the site when it is new.
    void set(const char* prefix, const char* name, const char* value);
    // name=value pairs of every site whose prefix starts the URL, joined by ';'.
    String headerFor(const char* url) const;
};

} // namespace orvane
