#include "modules/webjoin/NavigateRecord.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

// Written by hand: the compact form puts the leaf children in their order as attributes.
TEST(NavigateRecord, IsWrittenAsOneSelfClosedDataElement)
{
    struct Case {
        const char* url;
        const char* sessionId;
        const char* bytes;
    } cases[] = {
        {"http://127.0.0.1:8080/a.html", "1001_1",
         "<data command=\"NAVIGATE\" url=\"http://127.0.0.1:8080/a.html\" session_id=\"1001_1\"/>"},
        {"http://h/?a=1&b=<2>\"", "7_12",
         "<data command=\"NAVIGATE\" url=\"http://h/?a=1&amp;b=&lt;2&gt;&quot;\" session_id=\"7_12\"/>"},
        {"", "", "<data command=\"NAVIGATE\" url=\"\" session_id=\"\"/>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(NavigateRecord::write(c.url, c.sessionId), c.bytes);
    }
}

TEST(NavigateRecord, ReadsTheFieldsAndUpperCasesTheCommandInAsciiOnly)
{
    struct Case {
        const char* data;
        const char* command;
        const char* url;
        const char* sessionId;
    } cases[] = {
        {"<data command=\"NAVIGATE\" url=\"http://a/\" session_id=\"5_1\"/>", "NAVIGATE", "http://a/", "5_1"},
        {"<data command=\"navigate\" url=\"http://a/?x=1&amp;y=2\" session_id=\"5_2\"/>", "NAVIGATE",
         "http://a/?x=1&y=2", "5_2"},
        {"<data><command>Lock</command><session_id>9_3</session_id></data>", "LOCK", "", "9_3"},
        {"<data command=\"unlock\"/>", "UNLOCK", "", ""},
        {"<data command=\"na\xe9vigate\"/>", "NA\xe9VIGATE", "", ""},
        {"not xml at all", "", "", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        const NavigateRecord record = NavigateRecord::read(c.data);
        EXPECT_EQ(record.command, c.command);
        EXPECT_EQ(record.url, c.url);
        EXPECT_EQ(record.sessionId, c.sessionId);
    }
    EXPECT_EQ(NavigateRecord::read(nullptr).command, "");
}

TEST(NavigateRecord, APeerMayOpenOnlyWebAddressesAndTheBlankPage)
{
    struct Case {
        const char* url;
        bool allowed;
    } cases[] = {
        {"http://127.0.0.1/", true},     {"HTTPS://example.test/x", true}, {"about:blank", true},
        {"about:config", false},         {"javascript:alert(1)", false},   {"file:///etc/passwd", false},
        {"data:text/html,<b>x</b>", false}, {"ftp://h/", false},           {"", false},
        {"http:", false},                {" http://h/", false},            {"httpx://h/", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(isAddressAPeerMayOpen(c.url), c.allowed);
    }
}

} // namespace
} // namespace orvane
