#pragma once

#include <wx/panel.h>

#include <functional>

class wxActivityIndicator;
class wxComboBox;

namespace orvane {

class CIconButton;
class ISkin;

// The bar above a session's page: Back, Forward, Stop and Refresh, the address box, Go and
// a busy indicator that runs while a page loads. It paints the main program's skin
// background. Go, and Enter in the address box, add the typed text to the box's list
// (always, duplicates and empty texts included) and ask the owner to navigate there.
// Buttons without their picture keep their caption. User-interface thread only.
class CAddressBar : public wxPanel {
public:
    enum Id { BackId = 1000, AddressId = 1001, GoId = 1002, ForwardId = 1003, StopId = 1004, RefreshId = 1005,
              AnimationId = 1006 };
    // The longest address Go takes.
    static constexpr int MaxAddressLength = 1023;

    struct Handlers {
        std::function<void(const wxString&)> go;
        std::function<void()> back, forward, stop, refresh;
    };

    CAddressBar(wxWindow* parent, ISkin& skin, Handlers handlers);

    void SetAddressText(const wxString& url);
    wxString addressText() const;
    wxComboBox& addressBox() { return *address_; }
    CIconButton& goButton() { return *go_; }
    void StartAnimation();
    void StopAnimation();
    bool animating() const;

    // Go with the box's present text.
    void Go();

private:
    CIconButton* addButton(int id, const char* caption, int bitmap, const char* tooltip);

    ISkin& skin_;
    Handlers handlers_;
    wxActivityIndicator* animation_ = nullptr;
    wxComboBox* address_ = nullptr;
    CIconButton* go_ = nullptr;
};

} // namespace orvane
