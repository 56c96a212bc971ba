#pragma once

#include <functional>

namespace orvane {

// Tells when a system tray appears on the screen: a new tray manager announces itself to
// every client by the MANAGER message on the root window once it owns the screen's tray
// selection (_NET_SYSTEM_TRAY_S<n>). The callback runs inside the toolkit's event filter;
// it should only schedule its work.
//
// User-interface thread only.
class TrayManagerWatch {
public:
    explicit TrayManagerWatch(std::function<void()> arrived);
    ~TrayManagerWatch();
    TrayManagerWatch(const TrayManagerWatch&) = delete;
    TrayManagerWatch& operator=(const TrayManagerWatch&) = delete;

private:
    // The GDK event filter, with GDK's own types (TrayManagerWatch.cpp).
    struct Filter;
    friend struct Filter;

    std::function<void()> arrived_;
    unsigned long managerAtom_ = 0;
    unsigned long selectionAtom_ = 0;
};

} // namespace orvane
