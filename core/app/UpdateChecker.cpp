#include "core/app/UpdateChecker.h"

#include "foundation/Exception.h"
#include "foundation/XmlNode.h"
#include "network/HttpClient.h"

#include <cstdlib>
#include <cstring>

namespace orvane {

UpdateChecker::UpdateChecker(String url, String ownVersion, Offer offer, Tell tell)
    : url_(std::move(url))
    , ownVersion_(std::move(ownVersion))
    , offer_(std::move(offer))
    , tell_(std::move(tell))
{
}

UpdateChecker::~UpdateChecker()
{
    stop(true);
}

String UpdateChecker::endpointUrl()
{
    const char* url = std::getenv("ORVANE_UPDATE_URL");
    return String(url && *url ? url : DefaultUrl);
}

void UpdateChecker::request(bool manual)
{
    manual_ = manual;
    requested_ = true;
}

void UpdateChecker::run()
{
    try {
        while (!isStopRequested()) {
            if (requested_.exchange(false)) {
                check();
                ++completed_;
            }
            Thread::sleep(IdleMs);
        }
    } catch (const Exception&) {
        // The stop request ends the loop.
    }
}

bool UpdateChecker::check()
{
    const bool manual = manual_;
    try {
        HttpClient client;
        client.maxBodySize = MaxRecordSize;
        ByteArray body;
        client.get(url_.c_str(), &body);
        body.add(0);
        const std::optional<UpdateInfo> info = parseRecord(reinterpret_cast<const char*>(body.data()));
        if (!info)
            throw HttpClient::BadResponseException();
        if (!isNewer(info->version, ownVersion_)) {
            if (manual && tell_)
                tell_(NoNewVersion, false);
            return false;
        }
        offer_(*info);
        return true;
    } catch (const Exception&) {
        if (manual && tell_)
            tell_(CannotCheck, true);
        return false;
    }
}

std::optional<UpdateInfo> UpdateChecker::parseRecord(const char* text)
{
    XmlNode root;
    if (!text || !root.parse(text))
        return std::nullopt;
    UpdateInfo info;
    String mandatory = root.childOrEmpty("mandatory")->getValue();
    mandatory.toLower();
    info.mandatory = mandatory == "yes" || mandatory == "true" || mandatory == "1";
    info.version = root.childOrEmpty("version")->getValue();
    info.url = root.childOrEmpty("url")->getValue();
    info.localFile = root.childOrEmpty("local_file")->getValue();
    const char* file = info.localFile.c_str();
    if (!*file || std::strchr(file, '/') || std::strchr(file, '\\') || std::strstr(file, ".."))
        return std::nullopt;
    return info;
}

bool UpdateChecker::isNewer(const String& offered, const String& own)
{
    return offered.compare(own) >= 1;
}

} // namespace orvane
