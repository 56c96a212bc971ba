// orvane-gallery: every control of the UI kit in each of its states on one window, for a
// person to look at. `--screenshot FILE` saves a picture of the window as the X server shows
// it and ends; the test run keeps that picture as a build artefact.

#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CFlatSlider.h"
#include "core/ConfigFiles.h"
#include "resources/ProgramImages.h"
#include "ui/kit/Skin.h"

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace orvane {
namespace {

// A panel in the skin's background colour, as the program's dialogs are.
class SkinnedPanel : public wxPanel {
public:
    SkinnedPanel(wxWindow* parent, Skin& skin) : wxPanel(parent), skin_(skin)
    {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
            wxPaintDC dc(this);
            skin_.paintBackground(this, &dc);
        });
    }

private:
    Skin& skin_;
};

class GalleryFrame : public wxFrame {
public:
    explicit GalleryFrame(Skin& skin) : wxFrame(nullptr, wxID_ANY, "Orvane UI kit gallery")
    {
        auto* panel = new SkinnedPanel(this, skin);
        auto* rows = new wxBoxSizer(wxVERTICAL);
        addEdits(panel, rows, skin);
        addSliders(panel, rows, skin);
        panel->SetSizer(rows);
        rows->SetSizeHints(this);
    }

private:
    static wxSizer* row(wxWindow* parent, wxSizer* rows, const wxString& title)
    {
        auto* caption = new wxStaticText(parent, wxID_ANY, title);
        rows->Add(caption, 0, wxLEFT | wxTOP, 8);
        auto* line = new wxBoxSizer(wxHORIZONTAL);
        rows->Add(line, 0, wxALL, 6);
        return line;
    }

    void addEdits(wxWindow* parent, wxSizer* rows, Skin& skin)
    {
        wxSizer* line = row(parent, rows, "Flat edit: normal, hover, focused, read-only, password");
        const char* texts[] = {"normal", "hover", "focused", "read-only", "secret"};
        for (int i = 0; i < 5; ++i) {
            auto* edit = new CFlatEdit(parent, wxID_ANY, texts[i], wxDefaultPosition, wxSize(120, 24),
                                       i == 4 ? wxTE_PASSWORD : 0);
            edit->SetBorderColor(skin.backgroundColorLight());
            edit->SetHoverBorderColor(skin.foregroundColor());
            if (i == 3)
                edit->SetEditable(false);
            line->Add(edit, 0, wxRIGHT, 8);
            edits_[i] = edit;
        }
    }

    void addSliders(wxWindow* parent, wxSizer* rows, Skin& skin)
    {
        wxSizer* line = row(parent, rows, "Flat slider: horizontal at 0, 50 and 100, vertical");
        for (int value : {0, 50, 100}) {
            auto* slider = new CFlatSlider(parent, wxID_ANY, value, 0, 100, wxDefaultPosition, wxSize(140, 24));
            slider->SetBackgroundColor(skin.backgroundColor());
            slider->SetThumbColors(skin.backgroundColorLight(), skin.foregroundColor());
            line->Add(slider, 0, wxRIGHT, 8);
        }
        auto* vertical = new CFlatSlider(parent, wxID_ANY, 30, 0, 100, wxDefaultPosition, wxSize(24, 90), wxSL_VERTICAL);
        vertical->SetBackgroundColor(skin.backgroundColor());
        vertical->SetThumbColors(skin.backgroundColorLight(), skin.foregroundColor());
        line->Add(vertical);
    }

public:
    // Puts the controls that show a passing state into it: the pointer over one edit, the
    // focus in another.
    void stage()
    {
        edits_[2]->SetFocus();
        hoverTarget_ = edits_[1];
    }
    wxWindow* hoverTarget() const { return hoverTarget_; }

private:
    CFlatEdit* edits_[5] = {};
    wxWindow* hoverTarget_ = nullptr;
};

} // namespace

class GalleryApp : public wxApp {
public:
    void OnInitCmdLine(wxCmdLineParser& parser) override
    {
        wxApp::OnInitCmdLine(parser);
        parser.AddOption("", "screenshot", "save a picture of the window to FILE and end");
    }
    bool OnCmdLineParsed(wxCmdLineParser& parser) override
    {
        parser.Found("screenshot", &screenshot_);
        return wxApp::OnCmdLineParsed(parser);
    }

    bool OnInit() override
    {
        if (!wxApp::OnInit())
            return false;
        wxInitAllImageHandlers();
        loadSkin();
        frame_ = new GalleryFrame(skin_);
        frame_->Show();
        frame_->stage();
        if (!screenshot_.empty())
            CallAfter(&GalleryApp::takeScreenshot);
        return true;
    }

private:
    // The skin of the config.ini that the build puts beside the program, as the program
    // itself reads it, and the program's own pictures.
    void loadSkin()
    {
        ConfigSettings config;
        config.readConfig(ConfigPaths::locate());
        skin_.load(config.skin);
        registerProgramImages();
    }

    void takeScreenshot()
    {
        // The pointer over the control that shows hover, then time for every window to map
        // and paint.
        if (wxWindow* target = frame_->hoverTarget()) {
            wxUIActionSimulator pointer;
            const wxSize size = target->GetSize();
            pointer.MouseMove(target->ClientToScreen(wxPoint(size.GetWidth() / 2, size.GetHeight() / 2)));
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        while (std::chrono::steady_clock::now() < until) {
            Yield(true);
            wxMilliSleep(10);
        }
        frame_->Update();
        const wxRect area = frame_->GetScreenRect();
        wxBitmap picture(area.GetWidth(), area.GetHeight(), 24);
        {
            wxScreenDC screen;
            wxMemoryDC memory(picture);
            memory.Blit(0, 0, area.GetWidth(), area.GetHeight(), &screen, area.GetLeft(), area.GetTop());
        }
        const bool saved = picture.SaveFile(screenshot_, wxBITMAP_TYPE_PNG);
        std::fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", screenshot_.utf8_str().data());
        exitCode_ = saved ? 0 : 1;
        frame_->Destroy();
    }

    int OnExit() override { return exitCode_; }

    Skin skin_;
    GalleryFrame* frame_ = nullptr;
    wxString screenshot_;
    int exitCode_ = 0;
};

} // namespace orvane

wxIMPLEMENT_APP(orvane::GalleryApp);
