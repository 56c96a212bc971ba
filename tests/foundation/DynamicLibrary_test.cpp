#include "foundation/DynamicLibrary.h"
#include "foundation/Exception.h"
#include "TempDirectory.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

using namespace orvane;

namespace {

using IntFunction = int (*)();

IntFunction function(DynamicLibrary& library, const char* name)
{
    return reinterpret_cast<IntFunction>(library.getSymbol(name));
}

} // namespace

TEST(DynamicLibrary, LoadsLooksUpAndUnloads)
{
    DynamicLibrary library;
    EXPECT_FALSE(library.isLoaded());
    EXPECT_EQ(library.getPath(), "");
    EXPECT_TRUE(library.load(ORVANE_FIXTURE_DL_EXPORTS));
    EXPECT_TRUE(library.isLoaded());
    EXPECT_EQ(library.getPath(), ORVANE_FIXTURE_DL_EXPORTS);
    EXPECT_EQ(function(library, "fixture_answer")(), 42);

    library.unload();
    EXPECT_FALSE(library.isLoaded());
    EXPECT_EQ(library.getPath(), ORVANE_FIXTURE_DL_EXPORTS);
    // Nothing loaded: a lookup must not fall back to the names of the whole process.
    EXPECT_THROW(library.getSymbol("fixture_answer"), DLLException);
    EXPECT_THROW(library.getSymbol("malloc"), DLLException);
    library.unload(); // a second unload does nothing
}

TEST(DynamicLibrary, NamesTheLibraryDoesNotExportThrow)
{
    DynamicLibrary library;
    library.load(ORVANE_FIXTURE_DL_EXPORTS);
    // Present in the file but hidden, absent altogether, empty, and a name only the
    // process has: none is an export of this library.
    for (const char* name : {"_Z13fixtureHiddenv", "fixture_missing", "", "dl_iterate_phdr"})
        EXPECT_THROW(library.getSymbol(name), DLLException) << name;
    EXPECT_THROW(library.getSymbol(nullptr), DLLException);
    // The failure leaves no pending error behind that would fail the next good lookup.
    EXPECT_EQ(function(library, "fixture_answer")(), 42);
    // DLLException belongs to the family.
    EXPECT_THROW(library.getSymbol("fixture_missing"), Exception);
}

TEST(DynamicLibrary, FailedLoadsChangeNothing)
{
    orvane::testing::TempDirectory folder;
    std::string text = folder / "not-a-library.so";
    orvane::testing::writeBytes(text, "this is plain text, not a shared object\n");
    std::string missing = folder / "missing.so";

    DynamicLibrary library;
    for (const std::string& path : {missing, text, std::string()}) {
        EXPECT_THROW(library.load(path.c_str()), DLLException) << path;
        EXPECT_FALSE(library.isLoaded());
        EXPECT_EQ(library.getPath(), "");
    }
    EXPECT_THROW(library.load(nullptr), DLLException);

    library.load(ORVANE_FIXTURE_DL_EXPORTS);
    for (const std::string& path : {missing, text}) {
        EXPECT_THROW(library.load(path.c_str()), DLLException);
        EXPECT_TRUE(library.isLoaded());
        EXPECT_EQ(library.getPath(), ORVANE_FIXTURE_DL_EXPORTS);
        EXPECT_EQ(function(library, "fixture_answer")(), 42);
    }
}

TEST(DynamicLibrary, EachModuleKeepsItsOwnCopyOfAStaticLibrary)
{
    // The counter's names in the global scope first: a module that exported or looked up
    // those names globally would bind to this copy instead of its own.
    void* global = dlopen(ORVANE_FIXTURE_DL_COUNTER_GLOBAL, RTLD_NOW | RTLD_GLOBAL);
    ASSERT_NE(global, nullptr) << dlerror();
    auto globalIncrement = reinterpret_cast<IntFunction>(dlsym(global, "global_increment"));
    auto globalValue = reinterpret_cast<IntFunction>(dlsym(global, "global_value"));
    ASSERT_TRUE(globalIncrement && globalValue);
    {
        DynamicLibrary a;
        DynamicLibrary b;
        a.load(ORVANE_FIXTURE_DL_COUNTER_A);
        b.load(ORVANE_FIXTURE_DL_COUNTER_B);
        // The same export name, looked up per library, gives each library's own function.
        EXPECT_NE(a.getSymbol("module_increment"), b.getSymbol("module_increment"));

        const int globalStart = globalValue();
        for (int i = 0; i < 3; ++i)
            function(a, "module_increment")();
        EXPECT_EQ(function(a, "module_value")(), 3);
        EXPECT_EQ(function(b, "module_value")(), 0);
        EXPECT_EQ(globalValue(), globalStart);

        EXPECT_EQ(function(b, "module_increment")(), 1);
        globalIncrement();
        EXPECT_EQ(function(a, "module_value")(), 3);
        EXPECT_EQ(function(b, "module_value")(), 1);
        EXPECT_EQ(globalValue(), globalStart + 1);
    }
    dlclose(global);
}
