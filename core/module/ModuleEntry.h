#pragma once

#include "core/module/ModuleHost.h"
#include "core/module/ModuleInterfaces.h"
#include "foundation/DynamicLibrary.h"
#include "foundation/String.h"

namespace orvane {

class ClientApp;

// The application's record of one module: the module, the library it came from (none
// for a built-in one), its host and the texts read from it once. The module object
// belongs to its library and is never deleted here.
class ModuleEntry {
public:
    explicit ModuleEntry(ClientApp& app);
    // Destroys the host and unloads the library.
    virtual ~ModuleEntry();
    ModuleEntry(const ModuleEntry&) = delete;
    ModuleEntry& operator=(const ModuleEntry&) = delete;

    // With module (and library) set: reads the module's texts and value and hands the
    // module its host (IModule::init, whose answer is ignored).
    void init();

    String id;
    String displayName;
    String description;
    int value = 0;
    IModule* module = nullptr;
    DynamicLibrary library;
    ModuleHost host;
};

} // namespace orvane
