#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

namespace orvane {

// Reads the body of an "application/x-www-form-urlencoded" post: fields separated by '&',
// name and value by the first '='; in both, '+' is a space and '%' with two hexadecimal
// digits (either case) is that byte. A '%' without two digits after it stands for itself.
// Empty pieces are skipped, a piece without '=' is a name with an empty value.
//
// False, with `fields` holding what was read before, when the form has more than
// maxFields fields. Lookups in the result ignore the case of names; the first of two
// fields of the same name wins.
bool parseForm(const char* body, int length, NameValueList& fields, int maxFields);

// The text with the escapes above undone.
String urlDecode(const char* text, int length);

} // namespace orvane
