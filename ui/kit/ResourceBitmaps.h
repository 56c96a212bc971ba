#pragma once

class wxBitmap;

namespace orvane {

// The program's bitmaps by resource id. The program registers its embedded images at start;
// the skinned controls look them up. An unknown id answers an invalid bitmap.
void registerResourceBitmap(int id, const wxBitmap& bitmap);
wxBitmap resourceBitmap(int id);

} // namespace orvane
