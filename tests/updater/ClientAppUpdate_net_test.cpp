// The application's side of the self-update, without windows: the check at start-up against
// nginx on loopback serving the version record, the question, and the hand-over to the update
// program, which here is a stand-in script that writes down the arguments it was given.

#include "tests/core/ClientTestSupport.h"
#include "tests/network/NginxServer.h"
#include "tests/support/RawLoopback.h"
#include "tests/updater/UpdateFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sys/stat.h>
#include <thread>

using namespace orvane;
using namespace orvane::testing;

namespace {

const char* const Ask = "ask A new version is available. Do you want to download and install it now?";
const char* const Told = "box information A new version is available. It contains important new features that "
                         "require update.\\nThe new version will be downloaded and installed now.";
const char* const Ended = "end-for-update";

// The update program as the application carries it in these tests: it writes its arguments,
// one a line, beside itself, all at once so that a reader never sees half of them.
const std::string StandInUpdater = "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.part\" && mv \"$0.args.part\" "
                                   "\"$0.args\"\n";

// Shell words in the URL would do harm if a shell ever read it.
const std::string NewFileUrl = "http://127.0.0.1:1/new build;touch pwned$(id)";

std::string record(const std::string& mandatory, const std::string& version, const std::string& localFile)
{
    return "<autoupdate>\n  <mandatory>" + mandatory + "</mandatory>\n  <version>" + version +
           "</version>\n  <url>" + NewFileUrl + "</url>\n  <local_file>" + localFile +
           "</local_file>\n</autoupdate>\n";
}

class ClientAppUpdateTest : public ::testing::Test {
protected:
    ClientAppUpdateTest() : nginx_("")
    {
        ::mkdir((nginx_.documentRoot() + "/autoupdate").c_str(), 0755);
        useEndpoint(nginx_.url("/autoupdate/version.xml"));
    }

    void serve(const std::string& versionRecord) { nginx_.putFile("autoupdate/version.xml", versionRecord); }
    void useEndpoint(const std::string& url) { endpoint_ = std::make_unique<ScopedEnv>("ORVANE_UPDATE_URL", url.c_str()); }

    // A client that carries `updater` (NULL: none), answers the question with `yes`, and
    // notes when it would end for the update. Started, with its one check finished and
    // whatever that check handed to the user-interface thread handled.
    std::unique_ptr<TestClient> startClient(bool yes, const std::string* updater = &StandInUpdater,
                                            size_t size = std::string::npos)
    {
        auto client = std::make_unique<TestClient>(folders_, std::vector<std::string>{"probe"}, nullptr,
                                                   [&](ClientAppOptions& options) {
                                                       if (!updater)
                                                           return;
                                                       options.updaterBytes =
                                                           reinterpret_cast<const unsigned char*>(updater->data());
                                                       options.updaterSize = size == std::string::npos ? updater->size() : size;
                                                   });
        client->ui.answerYes = yes;
        LineLog& log = client->log;
        client->app->endForUpdate = [&log] { log.add(Ended); };
        EXPECT_TRUE(client->start()) << client->log.dump();
        EXPECT_TRUE(holdsWithin10s([&] {
            const UpdateChecker* checker = client->app->updateChecker();
            return checker && checker->completedChecks() == 1;
        })) << "the check at start-up ends";
        // The offer was queued before the check counted as done.
        client->onUi([] {});
        client->onUi([] {});
        return client;
    }

    // The lines the update made: questions, boxes, the ending.
    static std::vector<std::string> updateLines(const TestClient& client)
    {
        std::vector<std::string> out;
        for (const std::string& line : client.log.lines())
            if (line.rfind("ask ", 0) == 0 || line.rfind("box ", 0) == 0 || line == Ended)
                out.push_back(line);
        return out;
    }

    std::string updaterPath() const { return folders_.programFolder + "/orvane-updater"; }

    NginxServer nginx_;
    ClientFolders folders_;
    std::unique_ptr<ScopedEnv> endpoint_;
};

} // namespace

TEST_F(ClientAppUpdateTest, OnlyAVersionThatSortsAfterTheOwnByteByByteIsOffered)
{
    ASSERT_TRUE(nginx_.ok());
    const struct {
        const char* record;
        bool offered;
    } cases[] = {
        {"<u><version>1.6</version><local_file>orvane</local_file></u>", false},
        {"<u><version>1.6.1</version><local_file>orvane</local_file></u>", true},
        {"<u><version>2.0</version><local_file>orvane</local_file></u>", true},
        {"<u><VERSION>2.0</VERSION><Local_File>orvane</Local_File></u>", true},
        // "1.1" sorts before "1.6".
        {"<u><version>1.10</version><local_file>orvane</local_file></u>", false},
        {"<u><version>1.5.9</version><local_file>orvane</local_file></u>", false},
        {"<u><local_file>orvane</local_file></u>", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record);
        serve(c.record);
        const auto client = startClient(false);
        EXPECT_EQ(updateLines(*client), c.offered ? std::vector<std::string>{Ask} : std::vector<std::string>{})
            << client->log.dump();
    }
}

TEST_F(ClientAppUpdateTest, YesStartsTheUpdateProgramWithTheUrlAndTheTargetAsTwoWholeArguments)
{
    ASSERT_TRUE(nginx_.ok());
    serve(record("no", "1.6.1", "Orvane new build"));
    const auto client = startClient(true);
    EXPECT_EQ(updateLines(*client), (std::vector<std::string>{Ask, Ended})) << client->log.dump();

    EXPECT_EQ(readBytes(updaterPath()), StandInUpdater) << "written beside the program";
    struct stat st {};
    ASSERT_EQ(::stat(updaterPath().c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR) << "executable";
    ASSERT_TRUE(waitForFile(updaterPath() + ".args")) << "the update program ran";
    EXPECT_EQ(readBytes(updaterPath() + ".args"), NewFileUrl + "\n" + folders_.programFolder + "/Orvane new build\n");
    EXPECT_FALSE(fileExists(folders_.programFolder + "/pwned")) << "no shell read the URL";
}

TEST_F(ClientAppUpdateTest, NoLeavesTheProgramAsItWasAndRunning)
{
    ASSERT_TRUE(nginx_.ok());
    serve(record("no", "2.0", "orvane"));
    const auto client = startClient(false);
    EXPECT_EQ(updateLines(*client), std::vector<std::string>{Ask}) << client->log.dump();
    EXPECT_FALSE(fileExists(updaterPath()));
    // Still running: it takes up a command as before.
    EXPECT_TRUE(client->onUi([&] { return client->app->updateChecker() != nullptr; }));
}

TEST_F(ClientAppUpdateTest, AMandatoryUpdateIsToldNotAskedInAnyCaseOfItsWord)
{
    ASSERT_TRUE(nginx_.ok());
    for (const char* word : {"YES", "True", "1"}) {
        SCOPED_TRACE(word);
        ::unlink(updaterPath().c_str());
        ::unlink((updaterPath() + ".args").c_str());
        serve(record(word, "2.0", "orvane"));
        const auto client = startClient(false);
        EXPECT_EQ(updateLines(*client), (std::vector<std::string>{Told, Ended})) << client->log.dump();
        EXPECT_TRUE(waitForFile(updaterPath() + ".args")) << "the update program ran";
    }
}

TEST_F(ClientAppUpdateTest, ALocalFileWithAPathIsNeverOffered)
{
    ASSERT_TRUE(nginx_.ok());
    for (const char* file : {"../orvane", "/usr/bin/orvane", "sub/orvane", "..", "a\\b", ""}) {
        SCOPED_TRACE(file);
        serve(record("yes", "2.0", file));
        const auto client = startClient(true);
        EXPECT_EQ(updateLines(*client), std::vector<std::string>{}) << client->log.dump();
        EXPECT_FALSE(fileExists(updaterPath()));
    }
}

TEST_F(ClientAppUpdateTest, AnEndpointThatGivesNoRecordIsPassedOverInSilence)
{
    ASSERT_TRUE(nginx_.ok());
    nginx_.putFile("garbage.xml", "this is <not a record");
    const std::string urls[] = {"http://127.0.0.1:" + std::to_string(unusedLoopbackPort()) + "/autoupdate/version.xml",
                                nginx_.url("/autoupdate/version.xml"), nginx_.url("/garbage.xml")};
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        useEndpoint(url);
        const auto client = startClient(true);
        EXPECT_EQ(updateLines(*client), std::vector<std::string>{}) << client->log.dump();
    }
}

TEST_F(ClientAppUpdateTest, AnUpdateProgramThatCannotBeWrittenOrStartedLeavesTheProgramRunning)
{
    ASSERT_TRUE(nginx_.ok());
    serve(record("no", "2.0", "orvane"));
    const std::string notAProgram = "neither a script nor a program\n";
    const std::string path = updaterPath();

    {
        const auto client = startClient(true, nullptr);
        EXPECT_EQ(updateLines(*client),
                  (std::vector<std::string>{Ask, "box plain Internal Error: Cannot find resource: " + path}));
    }
    {
        const auto client = startClient(true, &StandInUpdater, 0);
        EXPECT_EQ(updateLines(*client),
                  (std::vector<std::string>{Ask, "box plain Internal Error: Invalid resource size: " + path}));
    }
    {
        const auto client = startClient(true, &notAProgram);
        EXPECT_EQ(updateLines(*client),
                  (std::vector<std::string>{
                      Ask, "box warning Updater was not able to start. The application will not be updated."}));
        ::unlink(path.c_str());
    }
    {
        // A folder by the update program's name: its file cannot be put there.
        ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
        const auto client = startClient(true);
        EXPECT_EQ(updateLines(*client),
                  (std::vector<std::string>{Ask, "box plain Error: Cannot write resource file: " + path}));
        EXPECT_FALSE(fileExists(path + ".part")) << "nothing half written left behind";
    }
}
