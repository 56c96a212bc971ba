#pragma once

#include "foundation/Containers.h"
#include "foundation/String.h"

namespace orvane {

// The fields of one form in the order they go on the wire, and their encoding as an
// "application/x-www-form-urlencoded" body. Names go out exactly as stored; values are
// encoded by urlEncode.
class FormFields {
public:
    StringArray names;
    StringArray values;

    FormFields() = default;
    ~FormFields();

    // The value of the first field whose name equals the text byte for byte; a missing
    // field is appended with an empty value. Assign the field's text to the result.
    String& field(const char* name);
    // name=value pairs joined by '&'; the empty text for an empty form.
    String encode() const;
};

// Letters and digits stay, a space becomes '+', every other byte "%XX" in upper case.
String urlEncode(const char* text);

} // namespace orvane
