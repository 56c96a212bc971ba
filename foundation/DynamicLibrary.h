#pragma once

#include "foundation/String.h"

#include <string>

namespace orvane {

// A shared library loaded at run time. Libraries are loaded with their symbols resolved
// at once and kept out of the global scope, so two module libraries that carry the same
// names never bind to each other's copies.
class DynamicLibrary {
public:
    DynamicLibrary() = default;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Unloads; a failure to unload is swallowed.
    virtual ~DynamicLibrary();

    virtual bool isLoaded() const;
    // Answers true or throws DLLException, in which case nothing changes. Loading again
    // without unloading first keeps the earlier library loaded: code may still run from it.
    virtual bool load(const char* libraryPath);
    // Forgets the handle even when the release fails; DLLException on that failure.
    virtual void unload();
    // The address of one of this library's own exports; DLLException when the library does
    // not export the name itself (or nothing is loaded).
    virtual void* getSymbol(const char* name);
    virtual String getPath() const;

private:
    String path;
    void* module = nullptr;
};

// The folder, ending with '/', of the library file (or program) that holds the address:
// a module library passes one of its own functions to learn where it lies. "./" when the
// address lies in no loaded file.
std::string folderOfLoadedFile(const void* address);

} // namespace orvane
