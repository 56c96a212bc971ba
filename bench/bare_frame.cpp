// The peer of the start-up benchmark: the least a wx program does to show a window, one
// bare frame of the main window's size with a menu bar, shown at once.

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/menu.h>

namespace {

class BareApp : public wxApp {
public:
    bool OnInit() override
    {
        auto* frame = new wxFrame(nullptr, wxID_ANY, "bare - Orvane", wxPoint(1060, 237), wxSize(220, 550));
        auto* bar = new wxMenuBar;
        bar->Append(new wxMenu, "&File");
        frame->SetMenuBar(bar);
        frame->Show();
        return true;
    }
};

} // namespace

wxIMPLEMENT_APP_NO_MAIN(BareApp);

int main(int argc, char** argv)
{
    return wxEntry(argc, argv);
}
