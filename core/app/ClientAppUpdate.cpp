// The self-update: the update check at start-up and the hand-over to the update program.

#include "core/app/ClientApp.h"
#include "foundation/ProgramStart.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr const char* UpdaterFileName = "orvane-updater";

String withPath(const char* format, const String& path)
{
    const char* at = std::strstr(format, "%s");
    return String(format, static_cast<int>(at - format)) + path + (at + 2);
}

} // namespace

void ClientApp::checkForUpdates()
{
    updateChecker_ = std::make_unique<UpdateChecker>(
        UpdateChecker::endpointUrl(), String(VersionText),
        [this](const UpdateInfo& info) { port_.callAfter([this, info] { onUpdateAvailable(info); }); },
        [this](const char* text, bool stop) {
            const String copy(text);
            port_.callAfter([this, copy, stop] {
                ui_.showMessageBox(copy, stop ? ClientUi::Icon::Stop : ClientUi::Icon::Information);
            });
        });
    updateChecker_->init();
    updateChecker_->start();
    updateChecker_->request(false);
}

bool ClientApp::onUpdateAvailable(const UpdateInfo& info)
{
    if (info.mandatory) {
        ui_.showMessageBox("A new version is available. It contains important new features that require "
                           "update.\nThe new version will be downloaded and installed now.",
                           ClientUi::Icon::Information);
    } else if (!ui_.askYesNo("A new version is available. Do you want to download and install it now?")) {
        return false;
    }
    const String target = paths_.programFolder + info.localFile;
    const String updater = paths_.programFolder + UpdaterFileName;
    if (!writeResourceFile(updater))
        return false;

    // The record's texts travel as separate arguments: no shell ever reads them.
    if (!startProgramDetached({updater.c_str(), info.url.c_str(), target.c_str()})) {
        ui_.showMessageBox("Updater was not able to start. The application will not be updated.",
                           ClientUi::Icon::Warning);
        return false;
    }
    if (endForUpdate) {
        endForUpdate();
        return true;
    }
    // Ends here without running destructors: module libraries' threads may still run, so
    // nothing is unloaded under them; the kernel drops the single-instance lock, which the
    // update program waits for.
    ::_exit(0);
}

bool ClientApp::writeResourceFile(const String& path)
{
    if (!options_.updaterBytes) {
        ui_.showMessageBox(withPath("Internal Error: Cannot find resource: %s", path), ClientUi::Icon::None);
        return false;
    }
    if (options_.updaterSize == 0) {
        ui_.showMessageBox(withPath("Internal Error: Invalid resource size: %s", path), ClientUi::Icon::None);
        return false;
    }
    // Written beside and renamed into place, so that a half-written program never lies
    // under the name.
    const String partial = path + ".part";
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    bool written = fd >= 0;
    size_t done = 0;
    while (written && done < options_.updaterSize) {
        const ssize_t n = ::write(fd, options_.updaterBytes + done, options_.updaterSize - done);
        if (n < 0 && errno == EINTR)
            continue;
        written = n > 0;
        if (written)
            done += static_cast<size_t>(n);
    }
    if (fd >= 0)
        written = ::fchmod(fd, 0755) == 0 && ::close(fd) == 0 && written;
    if (!written || ::rename(partial.c_str(), path.c_str()) != 0) {
        ::unlink(partial.c_str());
        ui_.showMessageBox(withPath("Error: Cannot write resource file: %s", path), ClientUi::Icon::None);
        return false;
    }
    return true;
}

} // namespace orvane
