// The update endpoint's version record, as the update check reads it: whatever the text, an
// offer names a local file in the program folder (no separator, no ".."), and its fields
// are what the record's own children hold.
#include "core/app/UpdateChecker.h"
#include "foundation/XmlNode.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::optional<UpdateInfo> info = UpdateChecker::parseRecord(text.c_str());
    if (!info)
        return 0;
    const char* file = info->localFile.c_str();
    if (!*file || std::strchr(file, '/') || std::strchr(file, '\\') || std::strstr(file, ".."))
        std::abort();
    XmlNode record;
    if (!record.parse(text.c_str()) || info->version != record.childOrEmpty("version")->getValue() ||
        info->url != record.childOrEmpty("url")->getValue())
        std::abort();
    // The comparison with the program's own version text is a plain byte order: never
    // newer both ways.
    const String own("1.6");
    if (UpdateChecker::isNewer(info->version, own) && UpdateChecker::isNewer(own, info->version))
        std::abort();
    return 0;
}
