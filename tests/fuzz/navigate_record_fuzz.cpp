// The webjoin record a peer sends (its wx-free part): any text reads as fields or as
// nothing, and a record written for an address and a session reads back as exactly those,
// whatever bytes they hold.
#include "modules/webjoin/NavigateRecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const NavigateRecord record = NavigateRecord::read(text.c_str());
    for (char c : record.command)
        if (c >= 'a' && c <= 'z')
            std::abort();
    // Whatever the peer sent, only web addresses and the blank page may be opened.
    if (isAddressAPeerMayOpen(record.url)) {
        const std::string scheme = record.url.substr(0, record.url.find(':'));
        std::string lower;
        for (char c : scheme)
            lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (record.url != "about:blank" && lower != "http" && lower != "https")
            std::abort();
    }

    // The input's first NUL (or its middle) splits it into an address and a session.
    const size_t cut = text.find('\0') != std::string::npos ? text.find('\0') : text.size() / 2;
    const std::string url = text.substr(0, cut).c_str();
    const std::string session = text.substr(cut < text.size() ? cut + 1 : cut).c_str();
    const NavigateRecord back = NavigateRecord::read(NavigateRecord::write(url, session).c_str());
    if (back.command != "NAVIGATE" || back.url != url || back.sessionId != session)
        std::abort();
    return 0;
}
