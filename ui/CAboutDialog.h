#pragma once

#include "ui/CSkinDialog.h"

namespace orvane {

// The about box (dialog 100, "About Orvane"): the logo, the product name, the maker's
// notice and the version ("Version [version].[build]"), and OK. OK, Enter and Escape end
// it. User-interface thread only.
class CAboutDialog : public CSkinDialog {
public:
    static constexpr int LogoId = 1049;
    static constexpr int ProductId = 1047;
    static constexpr int NoticeId = 1048;
    static constexpr int VersionId = 1006;
    static constexpr int OkId = 1;

    // `version` and `build` go into the version label.
    CAboutDialog(wxWindow* parent, Skin& skin, const wxString& version, const wxString& build);

    // Builds the box, runs it modally and destroys it.
    static void run(wxWindow* parent, Skin& skin, const wxString& version, const wxString& build);
};

} // namespace orvane
