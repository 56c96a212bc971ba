#include "network/CookieJar.h"

namespace orvane {

void CookieSite::set(const char* name, const char* value)
{
    const int i = cookies.find(name);
    if (i >= 0)
        cookies[i].value = value ? value : "";
    else
        cookies.add(name, value);
}

CookieSite* CookieJar::find(const char* prefix)
{
    for (CookieSite& site : *this)
        if (site.prefix == prefix)
            return &site;
    return nullptr;
}

void CookieJar::set(const char* prefix, const char* name, const char* value)
{
    String lowered(prefix ? prefix : "");
    lowered.toLower();
    CookieSite* site = find(lowered);
    if (!site) {
        CookieSite fresh;
        fresh.prefix = lowered;
        add(fresh);
        site = &(*this)[count() - 1];
    }
    site->set(name, value);
}

String CookieJar::headerFor(const char* url) const
{
    const String target(url ? url : "");
    String header;
    for (const CookieSite& site : *this) {
        if (!target.startsWith(site.prefix))
            continue;
        for (const NameValuePair& cookie : site.cookies) {
            if (!header.isEmpty())
                header.append(';');
            header += cookie.name;
            header.append('=');
            header += cookie.value;
        }
    }
    return header;
}

} // namespace orvane
