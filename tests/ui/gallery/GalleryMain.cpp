// orvane-gallery: every control of the UI kit in each of its states on one window, for a
// person to look at. `--screenshot FILE` saves a picture of the window as the X server shows
// it and ends; the test run keeps that picture as a build artefact.

#include "resources/ResourceIds.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CGradientButton.h"
#include "ui/kit/CIconButton.h"
#include "ui/kit/CLevelMeter.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"
#include "ui/kit/CFlatSlider.h"
#include "core/ConfigFiles.h"
#include "resources/ProgramImages.h"
#include "ui/kit/Skin.h"

#include <wx/app.h>
#include <wx/cmdline.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

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
        addSkinButtons(panel, rows, skin);
        addIconButtons(panel, rows, skin);
        addGradientButtons(panel, rows);
        addLabels(panel, rows, skin);
        addMeters(panel, rows);
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

    // A picture of one state of a control, so that several states of one control can be
    // seen side by side: once the window shows, the state is put into a spare copy of the
    // control with the events a person would cause, drawn, and shown as a still.
    template <typename Control>
    void plate(wxWindow* parent, wxSizer* line, Control& control, const wxString& state,
               const std::function<void()>& enter, const std::function<void()>& leave)
    {
        auto* still = new wxStaticBitmap(parent, wxID_ANY, wxNullBitmap);
        still->SetMinSize(control.GetSize());
        auto* column = new wxBoxSizer(wxVERTICAL);
        column->Add(still, 0, wxALIGN_CENTER_HORIZONTAL);
        column->Add(new wxStaticText(parent, wxID_ANY, state), 0, wxALIGN_CENTER_HORIZONTAL | wxTOP, 2);
        line->Add(column, 0, wxRIGHT, 10);
        Control* source = &control;
        plates_.push_back([still, source, enter, leave] {
            enter();
            wxBitmap picture = testing::drawnControl(*source);
            leave();
            // A shaped button's window leaves out the key colour; so does its still.
            picture.SetMask(new wxMask(picture, colourOf(SkinKeyColor)));
            still->SetBitmap(picture);
        });
        spares_.push_back(&control);
    }

    // The usual states of a button: the spare copy is hidden and destroyed with the window.
    template <typename Control>
    void buttonPlates(wxWindow* parent, wxSizer* line, Control& button, bool checkable)
    {
        const wxSize size = button.GetClientSize();
        const int x = size.GetWidth() / 2;
        const int y = size.GetHeight() / 2;
        Control* b = &button;
        auto nothing = [] {};
        plate(parent, line, button, "normal", nothing, nothing);
        plate(parent, line, button, "hover",
              [=] { testing::sendMouse(*b, wxEVT_MOTION, x, y, false); },
              [=] { testing::sendMouse(*b, wxEVT_LEAVE_WINDOW, -50, -50, false); });
        plate(parent, line, button, "pressed",
              [=] { testing::sendMouse(*b, wxEVT_LEFT_DOWN, x, y, true); },
              [=] {
                  // Let go outside, so that no click happens.
                  testing::sendMouse(*b, wxEVT_LEFT_UP, -50, -50, false);
                  testing::sendMouse(*b, wxEVT_LEAVE_WINDOW, -50, -50, false);
              });
        plate(parent, line, button, "focused", [=] { testing::sendFocus(*b, true); },
              [=] { testing::sendFocus(*b, false); });
        if (checkable)
            plate(parent, line, button, "checked", [=] { b->SetCheck(true); }, [=] { b->SetCheck(false); });
        plate(parent, line, button, "disabled", [=] { b->Enable(false); }, [=] { b->Enable(true); });
    }

    void addSkinButtons(wxWindow* parent, wxSizer* rows, Skin& skin)
    {
        wxSizer* line = row(parent, rows, "Skinned button (large OK; Talk; check box): states, then live");
        auto* ok = new CSkinButton(parent, wxID_ANY, "OK");
        ok->SetBitmaps(BitmapLargeButton, BitmapLargeButtonPressed, BitmapLargeButtonHover, BitmapLargeButton,
                       BitmapLargeButtonDefault, true, false, 2);
        ok->SetTextColor(skin.textColor());
        buttonPlates(parent, line, *ok, false);
        auto* talk = new CSkinButton(parent, wxID_ANY, "");
        talk->SetBitmaps(BitmapTalk, BitmapTalkPressed, BitmapTalkHover, BitmapTalkDisabled, BitmapTalk, true,
                         false, 0);
        buttonPlates(parent, line, *talk, false);

        wxSizer* live = row(parent, rows, "");
        auto* liveOk = new CSkinButton(parent, wxID_ANY, "OK");
        liveOk->SetBitmaps(BitmapLargeButton, BitmapLargeButtonPressed, BitmapLargeButtonHover, BitmapLargeButton,
                           BitmapLargeButtonDefault, true, false, 2);
        live->Add(liveOk, 0, wxRIGHT, 10);
        for (int id : {BitmapTalk, BitmapHangUp}) {
            auto* b = new CSkinButton(parent, wxID_ANY, "");
            const bool isTalk = id == BitmapTalk;
            b->SetBitmaps(id, isTalk ? BitmapTalkPressed : BitmapHangUpPressed,
                          isTalk ? BitmapTalkHover : BitmapHangUpHover,
                          isTalk ? BitmapTalkDisabled : BitmapHangUpDisabled, id, true, false, 0);
            live->Add(b, 0, wxRIGHT, 10);
        }
        auto* check = new CSkinButton(parent, wxID_ANY, "", CSkinButton::CheckBox);
        check->SetBitmaps(BitmapCheckBoxClear, BitmapCheckBoxTicked, 0, 0, 0, true, false, 0);
        live->Add(check, 0, wxALIGN_CENTER_VERTICAL | wxRIGHT, 4);
        live->Add(new wxStaticText(parent, wxID_ANY, "Detect automatically"), 0, wxALIGN_CENTER_VERTICAL);
    }

    void addIconButtons(wxWindow* parent, wxSizer* rows, Skin& skin)
    {
        wxSizer* line = row(parent, rows, "Icon button (flat, picture left; check-box mode; classic)");
        auto colour = [&](CIconButton& b) {
            b.SetColor(CIconButton::NormalBackground, skin.backgroundColor());
            b.SetColor(CIconButton::HotBackground, skin.menuSelectionColor());
            b.SetColor(CIconButton::FocusBackground, skin.backgroundColor());
            for (int text : {CIconButton::NormalText, CIconButton::HotText, CIconButton::FocusText})
                b.SetColor(text, skin.textColor());
        };
        auto* flat = new CIconButton(parent, wxID_ANY, "Talk", wxDefaultPosition, wxSize(90, 44));
        flat->SetBitmaps(BitmapTalk, SkinKeyColor, CIconButton::GreyCopy);
        colour(*flat);
        buttonPlates(parent, line, *flat, false);
        auto* check = new CIconButton(parent, wxID_ANY, "Check", wxDefaultPosition, wxSize(70, 28),
                                      CIconButton::CheckBoxStyle);
        colour(*check);
        plate(parent, line, *check, "checked", [=] { check->SetCheck(1); }, [=] { check->SetCheck(0); });
        auto* classic = new CIconButton(parent, wxID_ANY, "Classic", wxDefaultPosition, wxSize(70, 28),
                                        CIconButton::DefaultButtonStyle);
        classic->SetFlat(false);
        plate(parent, line, *classic, "classic default", [] {}, [] {});
        plate(parent, line, *classic, "classic pressed",
              [=] { testing::sendMouse(*classic, wxEVT_LEFT_DOWN, 10, 10, true); },
              [=] { testing::sendMouse(*classic, wxEVT_LEFT_UP, -50, -50, false); });

        wxSizer* live = row(parent, rows, "");
        for (const char* caption : {"Video", "Browse"}) {
            auto* b = new CIconButton(parent, wxID_ANY, caption, wxDefaultPosition, wxSize(90, 44));
            b->SetBitmaps(BitmapTalk, SkinKeyColor, CIconButton::DarkerCopy);
            b->SetTooltipText(wxString("Start ") + caption);
            colour(*b);
            live->Add(b, 0, wxRIGHT, 10);
        }
    }

    void addGradientButtons(wxWindow* parent, wxSizer* rows)
    {
        wxSizer* line = row(parent, rows, "Gradient button: the six shadings, normal and hot");
        for (int kind = CGradientButton::VerticalShade; kind <= CGradientButton::Noise; ++kind) {
            auto* b = new CGradientButton(parent, wxID_ANY, wxString::Format("Kind %d", kind), wxDefaultPosition,
                                          wxSize(64, 26));
            b->SetShade(kind, kind == CGradientButton::Noise ? 8 : 0, 25, 30, 0xc08040);
            const int x = 32, y = 13;
            plate(parent, line, *b, "normal", [] {}, [] {});
            plate(parent, line, *b, "hot", [=] { testing::sendMouse(*b, wxEVT_MOTION, x, y, false); },
                  [=] { testing::sendMouse(*b, wxEVT_LEAVE_WINDOW, -50, -50, false); });
        }
    }

    void addLabels(wxWindow* parent, wxSizer* rows, Skin& skin)
    {
        wxSizer* line = row(parent, rows, "Text label: left, centred, right with border 2, shadow, outline, link, opaque");
        struct Look {
            const char* text;
            int alignment;
            int border;
            bool shadow;
            bool outline;
            const char* url;
            bool transparent;
        };
        const Look looks[] = {
            {"Left", -1, 0, false, false, "", true},
            {"Centred", 0, 1, false, false, "", true},
            {"Right", 1, 2, false, false, "", true},
            {"Shadow", 0, 0, true, false, "", true},
            {"Outline", 0, 0, false, true, "", true},
            {"A link", 0, 0, false, false, "http://127.0.0.1/", true},
            {"Opaque", 0, 1, false, false, "", false},
        };
        for (const Look& look : looks) {
            auto* label = new CTextLabel(parent, wxID_ANY, look.text, wxDefaultPosition, wxSize(90, 26));
            label->SetTextColor(skin.textColor());
            label->SetAlignment(look.alignment);
            label->SetBorderWidth(look.border);
            label->SetBorderColor(skin.foregroundColor());
            label->SetShadow(look.shadow);
            label->SetOutline(look.outline);
            label->SetUrl(look.url);
            label->SetFontSize(14);
            label->SetFontBold(look.shadow || look.outline);
            label->SetBackgroundColor(skin.backgroundColorLight());
            label->SetTransparent(look.transparent);
            line->Add(label, 0, wxRIGHT, 8);
        }
    }

    void addMeters(wxWindow* parent, wxSizer* rows)
    {
        wxSizer* line = row(parent, rows, "Level meter 0..100 at 0, 35, 70, 100 and 250 (clamped); LCD colours; empty range; vertical");
        auto meter = [&](int64_t low, int64_t high, int64_t position, const wxSize& size, bool lcd, bool vertical) {
            auto* m = new CLevelMeter(parent, wxID_ANY, wxDefaultPosition, size);
            m->SetVertical(vertical);
            if (lcd)
                m->SetLcdColors();
            m->SetRange64(low, high);
            m->SetPos64(position);
            line->Add(m, 0, wxRIGHT | wxALIGN_CENTER_VERTICAL, 8);
        };
        for (int position : {0, 35, 70, 100, 250})
            meter(0, 100, position, wxSize(90, 14), false, false);
        meter(0, 100, 60, wxSize(90, 14), true, false);
        meter(5, 5, 5, wxSize(60, 14), false, false);
        meter(0, 10, 7, wxSize(14, 60), false, true);
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
        for (auto& take : plates_)
            take();
        for (wxWindow* spare : spares_)
            spare->Hide();
        GetChildren().front()->Layout();
        GetChildren().front()->GetSizer()->SetSizeHints(this);
        edits_[2]->SetFocus();
        hoverTarget_ = edits_[1];
    }
    wxWindow* hoverTarget() const { return hoverTarget_; }

private:
    CFlatEdit* edits_[5] = {};
    std::vector<std::function<void()>> plates_;
    std::vector<wxWindow*> spares_;
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
        // Read from the X server: what is really on the screen.
        const wxImage picture = testing::screenImage(frame_->GetScreenRect());
        const bool saved = picture.IsOk() && picture.SaveFile(screenshot_, wxBITMAP_TYPE_PNG);
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
