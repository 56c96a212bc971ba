// The application's module list: the built-in modules, the module libraries of the modules
// folder, the look-ups and the Actions menu.
#include "core/app/ClientApp.h"

#include "foundation/Paths.h"

namespace orvane {

namespace {

using CreateModule = IModule* (*)();

// The id that is moved to the front of the list, so that its module sees every message of
// the loop first.
constexpr const char* FrontModuleId = "chat";

} // namespace

ModuleEntry* ClientApp::addBuiltinModule(IModule* module)
{
    if (!module)
        return nullptr;
    auto entry = std::make_unique<ModuleEntry>(*this);
    entry->module = module;
    entry->init();
    MonitorLock guard(appLock_);
    modules_.push_back(std::move(entry));
    return modules_.back().get();
}

ModuleEntry* ClientApp::loadModule(const char* path)
{
    auto entry = std::make_unique<ModuleEntry>(*this);
    IModule* module = nullptr;
    try {
        entry->library.load(path);
        auto create = reinterpret_cast<CreateModule>(entry->library.getSymbol(ORVANE_CREATE_MODULE_SYMBOL));
        module = create();
    } catch (const Exception&) {
        return nullptr;
    }
    // A library that makes no module goes again with its entry.
    if (!module)
        return nullptr;
    entry->module = module;
    entry->init();
    MonitorLock guard(appLock_);
    modules_.push_back(std::move(entry));
    return modules_.back().get();
}

void ClientApp::loadModules()
{
    MonitorLock guard(appLock_);
    const String folder = paths_.programFolder + "modules";
    StringArray listed;
    listDirectoryPaths(folder.c_str(), listed);
    int front = -1;
    for (const String& path : listed) {
        if (!(fileType(path.c_str()) & FileTypeDirectory))
            continue;
        String library = path;
        library += "/";
        library += fileNameOf(path.c_str());
        library += ".so";
        ModuleEntry* entry = loadModule(library.c_str());
        if (entry && entry->id == FrontModuleId)
            front = static_cast<int>(modules_.size()) - 1;
    }
    if (front >= 1)
        std::swap(modules_[0], modules_[static_cast<size_t>(front)]);
}

void ClientApp::buildActionsMenu()
{
    std::vector<ClientUi::ActionItem> items;
    {
        MonitorLock guard(appLock_);
        actions_.clear();
        for (const auto& entry : modules_) {
            if (entry->displayName.isEmpty())
                continue;
            const int commandId = FirstActionId + static_cast<int>(actions_.size());
            // The ids after the last one belong to other commands of the program.
            if (commandId > LastActionId)
                break;
            items.push_back(ClientUi::ActionItem{entry->displayName, commandId});
            actions_.push_back(entry.get());
        }
    }
    ui_.setActionsMenu(items);
}

IModule* ClientApp::findModule(const char* id)
{
    MonitorLock guard(appLock_);
    const int index = findModuleIndex(id);
    return index < 0 ? nullptr : modules_[static_cast<size_t>(index)]->module;
}

int ClientApp::findModuleIndex(const char* id)
{
    if (!id)
        return -1;
    MonitorLock guard(appLock_);
    for (size_t i = 0; i < modules_.size(); ++i)
        if (modules_[i]->id == id)
            return static_cast<int>(i);
    return -1;
}

IModule* ClientApp::getModuleAt(int index)
{
    ModuleEntry* entry = getModuleEntry(index);
    return entry ? entry->module : nullptr;
}

ModuleEntry* ClientApp::getModuleEntry(int index)
{
    MonitorLock guard(appLock_);
    if (index < 0 || index >= static_cast<int>(modules_.size()))
        return nullptr;
    return modules_[static_cast<size_t>(index)].get();
}

int ClientApp::getModuleCount()
{
    MonitorLock guard(appLock_);
    return static_cast<int>(modules_.size());
}

ModuleEntry* ClientApp::getActionEntry(int k)
{
    if (k < 0 || k >= static_cast<int>(actions_.size()))
        return nullptr;
    return actions_[static_cast<size_t>(k)];
}

void ClientApp::actOnContact(int moduleIndex, IContact* contact)
{
    ModuleEntry* entry = getModuleEntry(moduleIndex);
    if (entry && entry->module->canActOn(contact))
        entry->module->actOn(contact);
}

} // namespace orvane
