#pragma once

#include <wx/string.h>

#include <string>
#include <vector>

namespace orvane {

// The program names its fonts by the faces of the desktop it was first drawn on ("Times New
// Roman", "MS Sans Serif", "Arial", ...). Those faces are not installed here, and fontconfig
// would quietly substitute whatever it likes; this table picks for each one a family that is
// installed (fonts-liberation2 and fonts-dejavu-core), preferring one with the same metrics
// so that texts fit the places laid out for them.
//
// The name is matched without regard to ASCII letter case, as the original desktop matches
// face names. A name the table does not know passes through unchanged, so a family that is
// installed here can be named directly.
wxString presentFace(const std::string& windowsFace);

// One row of the table, for those who need to look over all of it.
struct FontFaceMapping {
    const char* windowsFace;
    const char* presentFace;
};
const std::vector<FontFaceMapping>& fontFaceTable();

} // namespace orvane
