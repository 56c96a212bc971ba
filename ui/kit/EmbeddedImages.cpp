#include "ui/kit/EmbeddedImages.h"

#include "ui/kit/ResourceBitmaps.h"

#include <wx/bitmap.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/mstream.h>

namespace orvane {

bool registerEmbeddedImages(const EmbeddedImage* images, std::size_t count)
{
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG))
        wxImage::AddHandler(new wxPNGHandler);
    bool all = true;
    for (std::size_t i = 0; i < count; ++i) {
        wxMemoryInputStream stream(images[i].bytes, images[i].size);
        wxImage image;
        {
            // A damaged image is answered by the result; wx's own complaint would open a
            // dialog in a program that has just started.
            wxLogNull quiet;
            if (!image.LoadFile(stream, wxBITMAP_TYPE_PNG)) {
                all = false;
                continue;
            }
        }
        registerResourceBitmap(images[i].id, wxBitmap(image));
    }
    return all;
}

} // namespace orvane
