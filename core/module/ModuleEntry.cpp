#include "core/module/ModuleEntry.h"

#include "foundation/Exception.h"

namespace orvane {

namespace {

const char* textOrEmpty(const char* text)
{
    return text ? text : "";
}

} // namespace

ModuleEntry::ModuleEntry(ClientApp& app) : host(app) {}

ModuleEntry::~ModuleEntry()
{
    try {
        library.unload();
    } catch (const Exception&) {
        // The library stays mapped; nothing here uses it any more.
    }
}

void ModuleEntry::init()
{
    host.entry = this;
    host.moduleId = textOrEmpty(module->getId());
    id = textOrEmpty(module->getId());
    displayName = textOrEmpty(module->getDisplayName());
    description = textOrEmpty(module->getDescription());
    value = module->getValue();
    module->init(&host);
}

} // namespace orvane
