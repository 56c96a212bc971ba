// The update check: how a version record reads, how versions compare, and one check
// against nginx on loopback serving the record.

#include "core/app/UpdateChecker.h"
#include "tests/network/NginxServer.h"
#include "tests/support/RawLoopback.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

std::string record(const std::string& mandatory, const std::string& version, const std::string& localFile)
{
    return "<autoupdate><mandatory>" + mandatory + "</mandatory><version>" + version +
           "</version><url>http://127.0.0.1/new</url><local_file>" + localFile + "</local_file></autoupdate>";
}

TEST(UpdateCheckerRecord, VersionsCompareByteByByte)
{
    const struct {
        const char* offered;
        bool newer;
    } cases[] = {{"1.6", false}, {"1.6.1", true}, {"2.0", true}, {"1.10", false}, {"1.5", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offered);
        EXPECT_EQ(UpdateChecker::isNewer(String(c.offered), String("1.6")), c.newer);
    }
}

TEST(UpdateCheckerRecord, MandatoryIsYesTrueOrOneInAnyCase)
{
    const struct {
        const char* text;
        bool mandatory;
    } cases[] = {{"YES", true}, {"yes", true}, {"True", true}, {"1", true}, {"no", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto info = UpdateChecker::parseRecord(record(c.text, "2.0", "orvane").c_str());
        ASSERT_TRUE(info);
        EXPECT_EQ(info->mandatory, c.mandatory);
    }
    const auto missing = UpdateChecker::parseRecord("<a><version>2.0</version><local_file>o</local_file></a>");
    ASSERT_TRUE(missing);
    EXPECT_FALSE(missing->mandatory);
    EXPECT_EQ(missing->version, "2.0");
}

TEST(UpdateCheckerRecord, ALocalFileOutsideTheProgramFolderIsRefused)
{
    const struct {
        const char* file;
        bool accepted;
    } cases[] = {{"orvane", true}, {"Orvane new build", true}, {"../orvane", false}, {"/usr/bin/x", false},
                 {"sub/orvane", false}, {"a\\b", false}, {"..", false}, {"", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto info = UpdateChecker::parseRecord(record("no", "2.0", c.file).c_str());
        EXPECT_EQ(info.has_value(), c.accepted);
        if (info) {
            EXPECT_EQ(info->localFile, c.file);
        }
    }
}

struct Heard {
    std::vector<UpdateInfo> offers;
    std::vector<std::string> told;
};

bool checkOnce(const std::string& url, bool manual, Heard& heard)
{
    UpdateChecker checker(
        String(url.c_str()), String("1.6"), [&](const UpdateInfo& info) { heard.offers.push_back(info); },
        [&](const char* text, bool) { heard.told.push_back(text); });
    checker.request(manual);
    return checker.check();
}

TEST(UpdateCheckerNet, ANewerRecordIsOfferedAndAnEqualOneIsNot)
{
    testing::NginxServer nginx("");
    ASSERT_TRUE(nginx.ok());
    ::mkdir((nginx.documentRoot() + "/autoupdate").c_str(), 0755);
    nginx.putFile("autoupdate/version.xml", record("no", "1.6.1", "orvane"));
    Heard heard;
    EXPECT_TRUE(checkOnce(nginx.url("/autoupdate/version.xml"), false, heard));
    ASSERT_EQ(heard.offers.size(), 1u);
    EXPECT_EQ(heard.offers[0].version, "1.6.1");
    EXPECT_EQ(heard.offers[0].localFile, "orvane");

    nginx.putFile("autoupdate/version.xml", record("no", "1.6", "orvane"));
    Heard same;
    EXPECT_FALSE(checkOnce(nginx.url("/autoupdate/version.xml"), true, same));
    EXPECT_TRUE(same.offers.empty());
    EXPECT_EQ(same.told, std::vector<std::string>{UpdateChecker::NoNewVersion});
}

TEST(UpdateCheckerNet, AFailedCheckSpeaksOnlyWhenItWasManual)
{
    testing::NginxServer nginx("");
    ASSERT_TRUE(nginx.ok());
    const std::string urls[] = {nginx.url("/autoupdate/version.xml"),
                                "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/v.xml"};
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        Heard automatic;
        EXPECT_FALSE(checkOnce(url, false, automatic));
        EXPECT_TRUE(automatic.offers.empty());
        EXPECT_TRUE(automatic.told.empty());
        Heard manual;
        EXPECT_FALSE(checkOnce(url, true, manual));
        EXPECT_EQ(manual.told, std::vector<std::string>{UpdateChecker::CannotCheck});
    }
}

} // namespace
} // namespace orvane
