#include "server/FormParser.h"

#include "foundation/Conversions.h"

namespace orvane {

String urlDecode(const char* text, int length)
{
    String out;
    if (!text || length <= 0)
        return out;
    out.reserve(length);
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == '+') {
            out.append(' ');
        } else if (c == '%' && i + 2 < length && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0) {
            out.append(static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

bool parseForm(const char* body, int length, NameValueList& fields, int maxFields)
{
    if (!body || length <= 0)
        return true;
    int count = 0;
    int start = 0;
    while (start <= length) {
        int end = start;
        while (end < length && body[end] != '&')
            ++end;
        if (end > start) {
            if (++count > maxFields)
                return false;
            int equals = start;
            while (equals < end && body[equals] != '=')
                ++equals;
            const String name = urlDecode(body + start, equals - start);
            const String value = equals < end ? urlDecode(body + equals + 1, end - equals - 1) : String();
            NameValuePair pair;
            pair.name = name;
            pair.value = value;
            fields.append(pair);
        }
        start = end + 1;
    }
    return true;
}

} // namespace orvane
