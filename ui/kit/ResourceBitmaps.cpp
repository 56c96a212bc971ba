#include "ui/kit/ResourceBitmaps.h"

#include <wx/bitmap.h>

#include <map>

namespace orvane {

namespace {

// User-interface thread only, like every bitmap.
std::map<int, wxBitmap>& table()
{
    static std::map<int, wxBitmap> bitmaps;
    return bitmaps;
}

} // namespace

void registerResourceBitmap(int id, const wxBitmap& bitmap)
{
    table()[id] = bitmap;
}

wxBitmap resourceBitmap(int id)
{
    const auto it = table().find(id);
    return it == table().end() ? wxBitmap() : it->second;
}

} // namespace orvane
