// What the module libraries export, as the dynamic linker sees it: createModule alone.
// Anything more (the toolkit's templates, a copy of the foundation library) could bind to
// the program's or another library's copy of the same symbol.

#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

// The defined symbols of the library's dynamic symbol table that another object can bind
// to, by binutils' nm: global and weak ones (an upper-case type letter, or 'u' for a
// unique global). Local entries may stand in the table for the library's own relocations.
std::set<std::string> exportedSymbols(const std::string& library)
{
    std::set<std::string> names;
    const std::string command = "nm -D --defined-only '" + library + "' 2>&1";
    FILE* nm = ::popen(command.c_str(), "r");
    if (!nm) {
        ADD_FAILURE() << "cannot run nm (package binutils)";
        return names;
    }
    char line[4096];
    while (std::fgets(line, sizeof line, nm)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        // "address type name"
        const size_t name = text.rfind(' ');
        if (name == std::string::npos || name < 2) {
            names.insert(text); // not a symbol line: shown in the failure
            continue;
        }
        const char type = text[name - 1];
        if ((type >= 'A' && type <= 'Z') || type == 'u')
            names.insert(text.substr(name + 1));
    }
    EXPECT_EQ(::pclose(nm), 0) << "nm failed on " << library << ": " << ::testing::PrintToString(names);
    return names;
}

TEST(ModuleExports, EachModuleLibraryExportsCreateModuleAndNothingElse)
{
    for (const char* library : {ORVANE_VIDEO_LIBRARY, ORVANE_WEBJOIN_LIBRARY}) {
        SCOPED_TRACE(library);
        EXPECT_EQ(exportedSymbols(library), std::set<std::string>{"createModule"});
    }
}

} // namespace
