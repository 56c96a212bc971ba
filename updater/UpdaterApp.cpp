// orvane-updater URL TARGET: waits until Orvane has ended, downloads URL in place of TARGET
// and starts it.

#include "foundation/ApplicationIPC.h"
#include "foundation/Exception.h"
#include "updater/CUpdaterDialog.h"
#include "updater/UpdaterTexts.h"

#include <wx/app.h>

#include <chrono>
#include <thread>

namespace orvane {

namespace {

constexpr auto MainProgramWait = std::chrono::seconds(20);
constexpr auto MainProgramPoll = std::chrono::milliseconds(500);

} // namespace

class UpdaterApp : public wxApp {
public:
    bool OnInit() override
    {
        try {
            instance_.init(updater::InstanceName);
            if (!instance_.isFirstInstance())
                return false;
        } catch (const Exception&) {
            showUpdaterBox(updater::SystemError);
            return false;
        } catch (const ApplicationIPC::MutexErrorException&) {
            showUpdaterBox(updater::SystemError);
            return false;
        }
        if (argc < 3) {
            showUpdaterBox(updater::NotEnoughArguments);
            return false;
        }
        // The main program ends right after starting us; after the wait we go on anyway.
        const auto giveUp = std::chrono::steady_clock::now() + MainProgramWait;
        while (ApplicationIPC::isRunning(updater::MainProgramInstance) && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(MainProgramPoll);

        auto* dialog = new CUpdaterDialog(std::string(argv[1].utf8_str()), std::string(argv[2].utf8_str()));
        SetTopWindow(dialog);
        dialog->Show();
        dialog->StartDownload();
        return true;
    }

private:
    ApplicationIPC instance_;
};

} // namespace orvane

wxIMPLEMENT_APP(orvane::UpdaterApp);
