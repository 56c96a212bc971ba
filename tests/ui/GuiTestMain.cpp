// The window tests' main: wx is started once for the whole run, on this thread, which then
// is the user-interface thread. Listing the tests needs no display (the build lists them).

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A wx assertion fails the test that caused it; the default would open a modal dialog and
// wait for a person who is not there.
void failOnAssert(const wxString& file, int line, const wxString& function, const wxString& condition,
                  const wxString& message)
{
    ADD_FAILURE_AT(file.utf8_str().data(), line)
        << "wx assertion " << condition.utf8_str().data() << " in " << function.utf8_str().data() << ": "
        << message.utf8_str().data();
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    wxSetAssertHandler(failOnAssert);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "the window tests need a display (DISPLAY=%s)\n", std::getenv("DISPLAY"));
        return 1;
    }
    wxInitAllImageHandlers();
    const int result = RUN_ALL_TESTS();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
