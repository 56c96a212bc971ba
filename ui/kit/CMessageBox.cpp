#include "ui/kit/CMessageBox.h"

#include "resources/ResourceIds.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/FontFaces.h"
#include "ui/kit/ResourceBitmaps.h"
#include "ui/kit/Skin.h"

#include <wx/dcclient.h>
#include <wx/font.h>
#include <wx/tokenzr.h>

#include <algorithm>

namespace orvane {

namespace {

constexpr int Margin = 12;
constexpr int IconSize = 32;
constexpr int IconGap = 12;
constexpr int ButtonGap = 8;
// Beyond this a line of the text is wrapped at its spaces.
constexpr int MaxTextWidth = 420;

// The letter after the caption's '&' ("&Yes": 'Y'), upper case; 0 for none.
int mnemonicOf(const wxString& caption)
{
    for (size_t i = 0; i + 1 < caption.length(); ++i) {
        if (caption[i] == '&') {
            if (caption[i + 1] != '&')
                return static_cast<int>(wxToupper(caption[i + 1]));
            ++i;
        }
    }
    return 0;
}

} // namespace

int messageBoxIconId(long style)
{
    if (style & wxICON_NONE)
        return 0;
    if (style & wxICON_ERROR)
        return IconBoxStop;
    if (style & wxICON_WARNING)
        return IconBoxExclamation;
    if (style & wxICON_QUESTION)
        return IconBoxQuestion;
    if (style & wxICON_INFORMATION)
        return IconBoxInformation;
    return (style & wxYES_NO) ? IconBoxQuestion : IconBoxInformation;
}

CMessageBox::CMessageBox(wxWindow* parent, ISkin& skin, const wxString& text, const wxString& caption, long style)
    : wxMessageDialogBase(parent, text, caption, style), skin_(skin), iconId_(messageBoxIconId(style))
{
    wxDialog::Create(m_parent, wxID_ANY, caption, wxDefaultPosition, wxDefaultSize,
                     wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX);
    SetFont(wxFont(8, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false,
                   presentFace("MS Sans Serif")));
    SetBackgroundStyle(wxBG_STYLE_PAINT);

    // The default button first, as the desktop's own boxes order them.
    const std::vector<std::pair<int, wxString>> answers =
        (style & wxYES_NO) ? std::vector<std::pair<int, wxString>>{{wxID_YES, "&Yes"}, {wxID_NO, "&No"}}
                           : std::vector<std::pair<int, wxString>>{{wxID_OK, "OK"}};
    for (size_t i = 0; i < answers.size(); ++i) {
        auto* button = new CSkinButton(this, answers[i].first, answers[i].second);
        if (i == 0)
            button->SetBitmaps(BitmapLargeButtonDefault, BitmapLargeButtonPressed, BitmapLargeButtonHover, 0,
                               BitmapLargeButtonDefault, true, false, 0);
        else
            button->SetBitmaps(BitmapLargeButton, BitmapLargeButtonPressed, BitmapLargeButtonHover, 0,
                               BitmapLargeButtonDefault, true, false, 0);
        buttons_.push_back(button);
    }
    layOut();
    CentreOnParent();
    if (!buttons_.empty())
        buttons_.front()->SetFocus();

    Bind(wxEVT_PAINT, &CMessageBox::onPaint, this);
    Bind(wxEVT_CHAR_HOOK, &CMessageBox::onCharHook, this);
    Bind(wxEVT_CLOSE_WINDOW, &CMessageBox::onClose, this);
    Bind(wxEVT_BUTTON, &CMessageBox::onButton, this);
    // Not skipped: wx's default would stretch a lone child, the OK button, over the window.
    Bind(wxEVT_SIZE, [this](wxSizeEvent&) { Layout(); });
}

bool CMessageBox::Layout()
{
    for (size_t i = 0; i < buttons_.size() && i < buttonPlaces_.size(); ++i)
        buttons_[i]->SetSize(buttonPlaces_[i]);
    return true;
}

void CMessageBox::layOut()
{
    // The text's lines, each wrapped at its spaces to the widest a line may be.
    lines_.clear();
    int textWidth = 0;
    for (const wxString& paragraph : wxSplit(GetMessage(), '\n', '\0')) {
        wxString line;
        for (const wxString& word : wxSplit(paragraph, ' ', '\0')) {
            const wxString longer = line.empty() ? word : line + " " + word;
            if (!line.empty() && GetTextExtent(longer).x > MaxTextWidth) {
                lines_.push_back(line);
                line = word;
            } else {
                line = longer;
            }
        }
        lines_.push_back(line);
    }
    lineHeight_ = GetCharHeight();
    for (const wxString& line : lines_)
        textWidth = std::max(textWidth, GetTextExtent(line).x);
    const int textHeight = lineHeight_ * static_cast<int>(lines_.size());

    const int iconWidth = iconId_ ? IconSize + IconGap : 0;
    const int topHeight = std::max(iconId_ ? IconSize : 0, textHeight);
    iconRect_ = iconId_ ? wxRect(Margin, Margin, IconSize, IconSize) : wxRect();
    // The text centred on the picture's height when it is the shorter.
    textRect_ = wxRect(Margin + iconWidth, Margin + (topHeight - textHeight) / 2, textWidth, textHeight);

    int buttonsWidth = 0;
    int buttonHeight = 0;
    for (const CSkinButton* button : buttons_) {
        buttonsWidth += button->GetSize().x;
        buttonHeight = std::max(buttonHeight, button->GetSize().y);
    }
    buttonsWidth += ButtonGap * static_cast<int>(buttons_.size() - 1);

    const int width = std::max(Margin + iconWidth + textWidth + Margin, Margin + buttonsWidth + Margin);
    const int buttonsTop = Margin + topHeight + Margin + 4;
    int x = (width - buttonsWidth) / 2;
    buttonPlaces_.clear();
    for (CSkinButton* button : buttons_) {
        buttonPlaces_.emplace_back(wxPoint(x, buttonsTop), button->GetSize());
        x += button->GetSize().x + ButtonGap;
    }
    Layout();
    SetClientSize(width, buttonsTop + buttonHeight + Margin);
}

void CMessageBox::onPaint(wxPaintEvent&)
{
    wxPaintDC dc(this);
    skin_.paintBackground(this, &dc);
    if (iconId_) {
        const wxBitmap picture = resourceBitmap(iconId_);
        if (picture.IsOk())
            dc.DrawBitmap(picture, iconRect_.GetPosition(), true);
    }
    dc.SetFont(GetFont());
    dc.SetTextForeground(colourOf(skin_.textColor()));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    int y = textRect_.y;
    for (const wxString& line : lines_) {
        dc.DrawText(line, textRect_.x, y);
        y += lineHeight_;
    }
}

void CMessageBox::onCharHook(wxKeyEvent& event)
{
    const int modifiers = event.GetModifiers();
    if (modifiers != wxMOD_NONE && modifiers != wxMOD_ALT) {
        event.Skip();
        return;
    }
    // A button's letter answers with it, alone or with Alt.
    const int key = event.GetKeyCode();
    if (key > 0 && key < 128 && wxIsalpha(key)) {
        for (const CSkinButton* button : buttons_) {
            if (mnemonicOf(button->GetLabel()) == static_cast<int>(wxToupper(key))) {
                answer(button->GetId());
                return;
            }
        }
    }
    if (modifiers != wxMOD_NONE) {
        event.Skip();
        return;
    }
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        answer(cancelAnswer());
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: {
        const auto* focused = dynamic_cast<CSkinButton*>(FindFocus());
        const bool ours = focused && std::find(buttons_.begin(), buttons_.end(), focused) != buttons_.end();
        answer(ours ? focused->GetId() : buttons_.front()->GetId());
        return;
    }
    default:
        event.Skip();
    }
}

void CMessageBox::onClose(wxCloseEvent&)
{
    answer(cancelAnswer());
}

void CMessageBox::onButton(wxCommandEvent& event)
{
    answer(event.GetId());
}

void CMessageBox::answer(int code)
{
    SetReturnCode(code);
    if (IsModal())
        EndModal(code);
    else
        Hide();
}

int CMessageBox::cancelAnswer() const
{
    return (GetMessageDialogStyle() & wxYES_NO) ? wxID_NO : wxID_OK;
}

} // namespace orvane
