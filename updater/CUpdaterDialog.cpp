#include "updater/CUpdaterDialog.h"

#include "updater/CPercentProgress.h"
#include "updater/UpdaterTexts.h"

#include <wx/button.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <cstdio>

namespace orvane {

namespace {

// The original control numbers.
constexpr int ProgressId = 1003;
constexpr int StatusId = 1001;
constexpr int StopId = 1002;

wxString withPath(const char* format, const std::string& path)
{
    wxString text = wxString::FromUTF8(format);
    text.Replace("%s", wxString::FromUTF8(path.c_str()));
    return text;
}

} // namespace

void showUpdaterBox(const wxString& text)
{
    std::fprintf(stderr, "orvane-updater: %s\n", static_cast<const char*>(text.utf8_str()));
    std::fflush(stderr);
    wxMessageBox(text, updater::UpdateTitle, wxOK | wxICON_ERROR);
}

CUpdaterDialog::CUpdaterDialog(const std::string& url, const std::string& target)
    : wxDialog(nullptr, wxID_ANY, "Updater", wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxMINIMIZE_BOX)
    , download_(std::make_unique<UpdateDownload>(url, target, static_cast<UpdateDownload::Listener&>(*this)))
{
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(new wxStaticText(this, wxID_ANY, updater::DownloadingUpdate), 0, wxALL, FromDIP(8));
    progress_ = new CPercentProgress(this, ProgressId);
    progress_->SetRange(0, 100);
    progress_->SetBarColour(0x800000);
    progress_->SetBkColour(0xFFFFFF);
    progress_->SetPos(0);
    column->Add(progress_, 0, wxEXPAND | wxLEFT | wxRIGHT, FromDIP(8));
    column->Add(new wxStaticText(this, StatusId, ""), 0, wxALL, FromDIP(4));
    stop_ = new wxButton(this, StopId, updater::StopButton);
    column->Add(stop_, 0, wxALIGN_CENTER | wxALL, FromDIP(8));
    SetSizerAndFit(column);
    Centre();

    stop_->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnStop(); });
    Bind(wxEVT_CLOSE_WINDOW, &CUpdaterDialog::OnClose, this);
    Bind(wxEVT_CONTEXT_MENU, &CUpdaterDialog::OnContextMenu, this);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { ShowAbout(); }, AboutCommand);
}

std::unique_ptr<wxMenu> CUpdaterDialog::CreateWindowMenu() const
{
    auto menu = std::make_unique<wxMenu>();
    menu->Append(AboutCommand, updater::AboutItem);
    return menu;
}

void CUpdaterDialog::OnContextMenu(wxContextMenuEvent&)
{
    const std::unique_ptr<wxMenu> menu = CreateWindowMenu();
    PopupMenu(menu.get());
}

void CUpdaterDialog::ShowAbout()
{
    wxDialog about(this, wxID_ANY, updater::AboutTitle);
    auto* column = new wxBoxSizer(wxVERTICAL);
    auto* product = new wxStaticText(&about, wxID_ANY, updater::AboutProduct);
    product->SetFont(product->GetFont().Bold().Larger());
    column->Add(product, 0, wxALL, FromDIP(12));
    column->Add(new wxStaticText(&about, wxID_ANY, updater::AboutText), 0, wxLEFT | wxRIGHT, FromDIP(12));
    column->Add(about.CreateButtonSizer(wxOK), 0, wxALIGN_CENTER | wxALL, FromDIP(12));
    about.SetSizerAndFit(column);
    about.Centre();
    about.ShowModal();
}

CUpdaterDialog::~CUpdaterDialog()
{
    download_->requestStop();
    if (thread_.joinable())
        thread_.join();
}

void CUpdaterDialog::StartDownload()
{
    thread_ = std::thread([this] { download_->run(); });
}

// ---- the download thread's side ----

void CUpdaterDialog::onBegin(int64_t length)
{
    CallAfter([this, length] { OnBegin(length); });
}

void CUpdaterDialog::onProgress(int64_t n)
{
    CallAfter([this, n] { OnProgress(n); });
}

void CUpdaterDialog::onFailed(UpdateDownload::Failure failure)
{
    CallAfter([this, failure] { OnFailed(failure); });
}

void CUpdaterDialog::onDone()
{
    CallAfter([this] { Finish(); });
}

// ---- the user-interface thread's side ----

void CUpdaterDialog::OnBegin(int64_t length)
{
    total_ = length;
    received_ = 0;
    progress_->SetRange(0, length);
}

void CUpdaterDialog::OnProgress(int64_t n)
{
    progress_->OffsetPos(n);
    received_ += n;
    const int percent = total_ > 0 ? static_cast<int>(received_ * 100 / total_) : 0;
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    SetTitle(wxString::Format("%d %% ", percent) + updater::UpdateTitle);
    // The text stays readable where the bar passes under it.
    progress_->SetTextColour(percent < 45 ? 0x000000 : percent < 55 ? 0x808080 : 0xFFFFFF);
}

void CUpdaterDialog::OnFailed(UpdateDownload::Failure failure)
{
    switch (failure) {
    case UpdateDownload::Failure::CannotCreate:
        showUpdaterBox(withPath(updater::CannotCreateFile, download_->target()));
        break;
    case UpdateDownload::Failure::CannotDownload:
        showUpdaterBox(withPath(updater::CannotDownloadFile, download_->url()));
        break;
    case UpdateDownload::Failure::CannotWrite:
        showUpdaterBox(withPath(updater::CannotWriteFile, download_->target()));
        break;
    }
    Finish();
}

void CUpdaterDialog::OnStop()
{
    download_->requestStop();
    if (thread_.joinable())
        thread_.join();
    Finish();
}

void CUpdaterDialog::OnClose(wxCloseEvent& event)
{
    // The window manager's close button only puts the window away; Stop ends the update.
    if (event.CanVeto() && !finished_) {
        event.Veto();
        Iconize(true);
        return;
    }
    Destroy();
}

void CUpdaterDialog::Finish()
{
    if (finished_)
        return;
    finished_ = true;
    Destroy();
}

} // namespace orvane
