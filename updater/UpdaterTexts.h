#pragma once

// The update program's texts, kept under their string-table numbers.
namespace orvane::updater {

constexpr const char* NotEnoughArguments = "Not enough arguments";            // 104
constexpr const char* CannotCreateFile = "Cannot create file:\n[%s]";         // 105
constexpr const char* CannotDownloadFile = "Cannot download file:\n[%s]";     // 106
constexpr const char* UpdateTitle = "Update Orvane";                          // 107
constexpr const char* CannotWriteFile = "Cannot write to file:\n[%s]";        // 108
constexpr const char* SystemError = "System Error. You possibly need to restart your computer."; // 109
constexpr const char* DownloadingUpdate = "Downloading update...";
constexpr const char* StopButton = "Stop";
constexpr const char* AboutItem = "&About Updater...";                        // 101
// The about box (dialog 100).
constexpr const char* AboutTitle = "About Updater";
constexpr const char* AboutProduct = "Orvane Updater";
constexpr const char* AboutText = "Brings the new version of Orvane: it downloads the program\n"
                                  "beside the old one, puts it in its place and starts it.";

// The single-instance names: the update program's own, and the main program's it waits for.
constexpr const char* InstanceName = "Orvane_Updater";
constexpr const char* MainProgramInstance = "Orvane_Chatwyn";

} // namespace orvane::updater
