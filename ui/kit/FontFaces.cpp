#include "ui/kit/FontFaces.h"

namespace orvane {

namespace {

// Liberation is drawn to the metrics of the three core faces; the sans faces without a
// metric twin go to the nearest in width. MS Sans Serif is a bitmap face whose widths are
// close to Arial's.
const std::vector<FontFaceMapping> Faces = {
    {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},
    {"Arial", "Liberation Sans"},
    {"Helvetica", "Liberation Sans"},
    {"MS Sans Serif", "Liberation Sans"},
    {"Microsoft Sans Serif", "Liberation Sans"},
    {"MS Shell Dlg", "Liberation Sans"},
    {"MS Shell Dlg 2", "Liberation Sans"},
    {"Courier New", "Liberation Mono"},
    {"Courier", "Liberation Mono"},
    {"Lucida Console", "DejaVu Sans Mono"},
    // Bitstream Vera, and with it DejaVu, was drawn after Verdana's proportions.
    {"Verdana", "DejaVu Sans"},
    {"Tahoma", "Liberation Sans"},
    {"Segoe UI", "DejaVu Sans"},
    {"System", "DejaVu Sans"},
    {"Georgia", "DejaVu Serif"},
};

bool sameIgnoringAsciiCase(const std::string& a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return i == a.size() && !b[i];
}

} // namespace

wxString presentFace(const std::string& windowsFace)
{
    for (const FontFaceMapping& row : Faces) {
        if (sameIgnoringAsciiCase(windowsFace, row.windowsFace))
            return wxString::FromUTF8(row.presentFace);
    }
    return wxString::FromUTF8(windowsFace.c_str());
}

const std::vector<FontFaceMapping>& fontFaceTable()
{
    return Faces;
}

} // namespace orvane
