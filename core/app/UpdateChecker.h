#pragma once

#include "foundation/String.h"
#include "foundation/Thread.h"

#include <atomic>
#include <functional>
#include <optional>

namespace orvane {

// A release offered by the update endpoint's version record.
struct UpdateInfo {
    bool mandatory = false;
    String version;
    String url;
    // A bare file name in the program folder: the file the download replaces.
    String localFile;
};

// Asks the update endpoint for its version record on its own thread, whenever a check was
// requested (start-up requests one). An offer newer than the program's own version goes to
// `offer`, called on the checker's thread; the owner hands it to the user-interface thread.
// A check that fails, or finds nothing newer, calls `tell` with the text to show only when
// the check was manual (stop is true for a failure).
class UpdateChecker : public Thread {
public:
    using Offer = std::function<void(const UpdateInfo&)>;
    using Tell = std::function<void(const char* text, bool stop)>;

    static constexpr const char* NoNewVersion = "There is no new version.";
    static constexpr const char* CannotCheck =
        "Cannot check for updates at this time.\nThis could be because of network problems.\nPlease try "
        "again later, check your connection settings\nor consult your network administrator.";
    // The endpoint's URL unless ORVANE_UPDATE_URL names another.
    static constexpr const char* DefaultUrl = "http://127.0.0.1:8380/autoupdate/version.xml";

    UpdateChecker(String url, String ownVersion, Offer offer, Tell tell);
    ~UpdateChecker() override;

    // The endpoint's URL this program uses.
    static String endpointUrl();

    // Any thread; the loop takes it up within one idle period.
    void request(bool manual);
    // One check on the calling thread; true when an offer was made.
    bool check();
    // Checks finished so far, whatever their outcome (tests wait on it).
    int completedChecks() const { return completed_; }

    // The record's offer, or nothing for a text that is no record. A local file with a
    // path separator or ".." is refused (nothing offered): the server names a file in the
    // program folder, never one elsewhere.
    static std::optional<UpdateInfo> parseRecord(const char* text);
    // Whether an offered version text sorts after the own one, byte by byte.
    static bool isNewer(const String& offered, const String& own);

    void run() override;
    bool deleteWhenDone() override { return false; }

private:
    static constexpr int IdleMs = 200;
    // A version record is a few lines; nothing bigger is read.
    static constexpr int32_t MaxRecordSize = 64 * 1024;

    String url_;
    String ownVersion_;
    Offer offer_;
    Tell tell_;
    std::atomic<bool> requested_{false};
    std::atomic<bool> manual_{false};
    std::atomic<int> completed_{0};
};

} // namespace orvane
