#include "foundation/DynamicLibrary.h"

#include "foundation/Exception.h"

#include <dlfcn.h>
#include <link.h>

namespace orvane {

DynamicLibrary::~DynamicLibrary()
{
    try {
        unload();
    } catch (const DLLException&) {
    }
}

bool DynamicLibrary::isLoaded() const
{
    return module != nullptr;
}

bool DynamicLibrary::load(const char* libraryPath)
{
    // An empty name would hand back the running program itself.
    if (!libraryPath || !*libraryPath)
        throw DLLException();
    void* handle = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw DLLException();
    path = libraryPath;
    module = handle;
    return true;
}

void DynamicLibrary::unload()
{
    if (!module)
        return;
    void* handle = module;
    module = nullptr;
    if (dlclose(handle) != 0)
        throw DLLException();
}

void* DynamicLibrary::getSymbol(const char* name)
{
    // Without a handle the lookup would search the whole process instead of failing.
    if (!module || !name)
        throw DLLException();
    dlerror();
    void* address = dlsym(module, name);
    if (dlerror() != nullptr || address == nullptr)
        throw DLLException();
    // The lookup also searches the libraries this one depends on; only the library's own
    // exports count, so a module lacking an entry point never yields a namesake from libc.
    Dl_info info;
    void* owner = nullptr;
    struct link_map* self = nullptr;
    if (dladdr1(address, &info, &owner, RTLD_DL_LINKMAP) == 0
        || dlinfo(module, RTLD_DI_LINKMAP, &self) != 0 || owner != self)
        throw DLLException();
    return address;
}

String DynamicLibrary::getPath() const
{
    return path;
}

std::string folderOfLoadedFile(const void* address)
{
    Dl_info info{};
    if (!address || dladdr(address, &info) == 0 || !info.dli_fname)
        return "./";
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

} // namespace orvane
