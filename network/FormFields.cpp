#include "network/FormFields.h"

namespace orvane {

namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

bool isPlainByte(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

void appendEncoded(String& out, const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        if (isPlainByte(*p)) {
            out.append(static_cast<char>(*p));
        } else if (*p == ' ') {
            out.append('+');
        } else {
            const char escaped[3] = {'%', kUpperHex[*p >> 4], kUpperHex[*p & 15]};
            out.append(escaped, 3);
        }
    }
}

} // namespace

FormFields::~FormFields() = default;

String& FormFields::field(const char* name)
{
    const char* wanted = name ? name : "";
    for (int i = 0; i < names.count(); ++i)
        if (names[i] == wanted)
            return values[i];
    names.add(String(wanted));
    values.add(String());
    return values[values.count() - 1];
}

String FormFields::encode() const
{
    String out;
    for (int i = 0; i < names.count(); ++i) {
        if (!out.isEmpty())
            out.append('&');
        out += names[i];
        out.append('=');
        appendEncoded(out, values[i].c_str());
    }
    return out;
}

String urlEncode(const char* text)
{
    String out;
    if (text)
        appendEncoded(out, text);
    return out;
}

} // namespace orvane
