#pragma once

// What the UPnP tests against the stand-in gateway and against miniupnpd share: owners of
// the devices and routers a search returns, and a String as std::string for expectations.

#include "foundation/Containers.h"
#include "foundation/String.h"
#include "network/UpnpDevice.h"
#include "network/UpnpRouter.h"

#include <cstddef>
#include <string>

namespace orvane::testing {

// Owns the devices a search returned.
struct Devices {
    Array<UpnpDevice*> list;
    ~Devices()
    {
        for (UpnpDevice* d : list)
            delete d;
    }
};

struct Routers {
    Array<UpnpRouter*> list;
    ~Routers()
    {
        for (UpnpRouter* r : list)
            delete r;
    }
};

inline std::string text(const String& s)
{
    return std::string(s.c_str(), static_cast<size_t>(s.length()));
}

} // namespace orvane::testing
