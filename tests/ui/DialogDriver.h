#pragma once

// Driving the program's skinned dialogs as a person would: shown modeless (they end through
// the same handlers as in a modal run) or run modally with the test's steps queued to the
// dialog's own loop; buttons clicked with the mouse events a click is made of; text typed
// through the X server; message boxes answered while other dialogs run for real.

#include "tests/ui/MessageBoxAnswers.h"
#include "tests/ui/ControlProbe.h"
#include "tests/ui/ScreenProbe.h"
#include "ui/CSkinDialog.h"
#include "ui/kit/CFlatEdit.h"
#include "ui/kit/CSkinButton.h"
#include "ui/kit/CTextLabel.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/dialog.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/uiaction.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace orvane::testing {

// Shows the dialog modeless and waits until it is on the screen.
inline bool showModeless(wxDialog& dialog)
{
    dialog.Show();
    dialog.Raise();
    return waitUntil([&] { return dialog.IsShownOnScreen(); });
}

// Queues the steps to the loop of the dialog's coming modal run. When the steps fail, or the
// dialog has not ended 10 seconds after them, it is ended with wxID_ABORT, so a failing
// test never hangs in the loop.
inline void queueSteps(wxDialog& dialog, std::function<void()> steps)
{
    dialog.CallAfter([&dialog, steps = std::move(steps)] {
        steps();
        if (!::testing::Test::HasFailure() && !waitUntil([&] { return !dialog.IsModal(); }, std::chrono::seconds(10)))
            ADD_FAILURE() << "the dialog is still open";
        if (dialog.IsModal())
            dialog.EndModal(wxID_ABORT);
    });
}

// The dialog of that class that runs modally now, or nullptr.
template <typename Dialog>
Dialog* modalDialog()
{
    for (wxWindow* window : wxTopLevelWindows)
        if (auto* dialog = dynamic_cast<Dialog*>(window); dialog && dialog->IsModal())
            return dialog;
    return nullptr;
}

// Runs the dialog modally with the steps queued to its loop; answers its end code.
inline int runModal(wxDialog& dialog, std::function<void()> steps)
{
    queueSteps(dialog, std::move(steps));
    return dialog.ShowModal();
}

// Brings the dialog's window to the front with the keyboard focus of the display, as it must
// have for keys to reach it, and waits until it has it. Tests that type run without a
// window manager: one that is still placing a new window can take the focus away between
// two keys.
inline bool waitActive(wxDialog& dialog)
{
    GtkWindow* window = GTK_WINDOW(dialog.GetHandle());
    gtk_window_present(window);
    return waitUntil([&] { return gtk_window_is_active(window); });
}

// A left click in the middle of the dialog's button with that id: down and up, as the
// mouse sends them, so the button's own click logic decides.
inline void clickOn(wxWindow& dialog, int id)
{
    auto* button = dynamic_cast<CSkinButton*>(dialog.FindWindow(id));
    ASSERT_NE(button, nullptr) << "no skinned button " << id;
    const wxSize size = button->GetClientSize();
    sendMouse(*button, wxEVT_LEFT_DOWN, size.x / 2, size.y / 2, true);
    sendMouse(*button, wxEVT_LEFT_UP, size.x / 2, size.y / 2, false);
}

// Gives the field the keyboard focus, its window the display's, and waits until it has it.
inline bool focusField(CFlatEdit& field)
{
    auto* dialog = dynamic_cast<wxDialog*>(wxGetTopLevelParent(&field));
    if (dialog && !waitActive(*dialog))
        return false;
    field.SetFocus();
    return waitUntil([&] { return field.isFocused(); });
}

// Types the text at the end of the field (which gets the focus first) key by key through the
// X server; answers whether the field came to hold `expected`.
inline bool typeInto(CFlatEdit& field, const std::string& text, const wxString& expected)
{
    if (!focusField(field))
        return false;
    field.textCtrl().SetInsertionPointEnd();
    wxUIActionSimulator keys;
    keys.Text(text.c_str());
    return waitUntil([&] { return field.GetValue() == expected; });
}

// A key pressed and released through the X server.
inline void pressKey(int key)
{
    wxUIActionSimulator keys;
    keys.Char(key);
}

// The first and the last column of the label's picture, drawn over white, that hold anything
// else; -1 and -1 for none.
inline std::pair<int, int> inkedColumns(CTextLabel& label)
{
    const wxSize size = label.GetClientSize();
    wxBitmap bitmap(size.GetWidth(), size.GetHeight(), 24);
    {
        wxMemoryDC dc(bitmap);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
        label.render(dc);
    }
    const wxImage image = bitmap.ConvertToImage();
    std::pair<int, int> columns{-1, -1};
    for (int x = 0; x < image.GetWidth(); ++x) {
        for (int y = 0; y < image.GetHeight(); ++y) {
            if (image.GetRed(x, y) != 255 || image.GetGreen(x, y) != 255 || image.GetBlue(x, y) != 255) {
                if (columns.first < 0)
                    columns.first = x;
                columns.second = x;
                break;
            }
        }
    }
    return columns;
}

// The icon bits of a box's style.
inline long iconOf(long style)
{
    return style & (wxICON_EXCLAMATION | wxICON_HAND | wxICON_INFORMATION | wxICON_QUESTION | wxICON_NONE);
}

// The shown dialog, frame and caption included, as the screen has it; saved as
// ORVANE_ARTIFACTS_DIR/<name>.png when that folder is given.
inline wxImage dialogShot(wxDialog& dialog, const std::string& name)
{
    wxImage shot = screenImage(dialog.GetScreenRect());
    if (const char* dir = std::getenv("ORVANE_ARTIFACTS_DIR"); dir && shot.IsOk())
        shot.SaveFile(wxString(dir) + "/" + name + ".png", wxBITMAP_TYPE_PNG);
    return shot;
}

} // namespace orvane::testing
