// The module list against real module libraries in a modules folder laid out as the
// program's: which libraries become modules, in which order, the "chat" module's move to the
// front, the Actions entries with their command ids, and the look-ups.

#include "core/app/ClientApp.h"
#include "foundation/Paths.h"
#include "tests/core/ClientTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace orvane;
using namespace orvane::testing;

namespace {

std::string fixtureLibrary(const std::string& id)
{
    return std::string(ORVANE_FIXTURE_MODULES) + "/" + id + "/" + id + ".so";
}

// modules/<folder>/<file> beside the program, linking to a fixture library.
void placeLibrary(const ClientFolders& folders, const std::string& folder, const std::string& file,
                  const std::string& id)
{
    const std::string dir = folders.programFolder + "/modules/" + folder;
    ::mkdir((folders.programFolder + "/modules").c_str(), 0700);
    ::mkdir(dir.c_str(), 0700);
    ASSERT_EQ(::symlink(fixtureLibrary(id).c_str(), (dir + "/" + file).c_str()), 0) << dir << "/" << file;
}

std::vector<std::string> moduleIds(ClientApp& app)
{
    std::vector<std::string> ids;
    for (int i = 0; i < app.getModuleCount(); ++i)
        ids.push_back(app.getModuleEntry(i)->id.c_str());
    return ids;
}

// A built-in module with a display name.
class NamedProbe : public ProbeModule {
public:
    using ProbeModule::ProbeModule;
    const char* getDisplayName() override { return getId(); }
};

} // namespace

TEST(ModuleRegistry, LoadsTheLibrariesOfTheModulesFolderInListingOrderAndMovesChatToTheFront)
{
    ClientFolders folders;
    for (const char* id : {"alpha", "chat", "Chat", "hidden", "nothing", "unexported"})
        placeLibrary(folders, id, std::string(id) + ".so", id);
    // A sub-folder whose library is not named after it, an empty one, and a library lying
    // loose in the modules folder are all passed over.
    placeLibrary(folders, "wrongname", "beta.so", "beta");
    ::mkdir((folders.programFolder + "/modules/empty").c_str(), 0700);
    ASSERT_EQ(::symlink(fixtureLibrary("beta").c_str(), (folders.programFolder + "/modules/beta.so").c_str()), 0);

    TestClient client(folders, {"probe"});
    ASSERT_TRUE(client.start());

    // What the listing order gives, with the chat module moved to the front.
    std::vector<std::string> expected{"system_module", "probe"};
    StringArray listed;
    listDirectoryPaths((folders.programFolder + "/modules").c_str(), listed);
    for (const String& path : listed) {
        const std::string name = fileNameOf(path.c_str()).c_str();
        if (name == "alpha" || name == "chat" || name == "Chat" || name == "hidden")
            expected.push_back(name);
    }
    const auto chat = std::find(expected.begin(), expected.end(), "chat");
    std::iter_swap(expected.begin(), chat);
    EXPECT_EQ(client.onUi([&client] { return moduleIds(*client.app); }), expected);

    // The Actions menu: every module with a display name, in list order, numbered from 32773.
    std::string actions = "actions";
    int k = 0;
    for (const std::string& id : expected) {
        if (id == "alpha" || id == "chat" || id == "Chat") {
            const std::string display = id == "alpha" ? "Alpha" : id == "chat" ? "Chat" : "Big chat";
            actions += " " + std::to_string(ClientApp::FirstActionId + k++) + ":" + display;
        }
    }
    EXPECT_EQ(client.log.count(actions), 1u) << client.log.dump();
    EXPECT_EQ(client.app->getActionCount(), 3);
    EXPECT_STREQ(client.app->getActionEntry(0)->id.c_str(), "chat");
    EXPECT_EQ(client.app->getActionEntry(3), nullptr);

    // Look-ups by exact id.
    EXPECT_NE(client.app->findModule("alpha"), nullptr);
    EXPECT_EQ(client.app->findModule("Alpha"), nullptr);
    EXPECT_NE(client.app->findModule("Chat"), client.app->findModule("chat"));
    EXPECT_EQ(client.app->findModuleIndex("chat"), 0);
    EXPECT_EQ(client.app->findModule("nothing"), nullptr);
    EXPECT_EQ(client.app->findModule("unexported"), nullptr);
    EXPECT_EQ(client.app->findModule("beta"), nullptr);
}

TEST(ModuleRegistry, AModuleActsOnAContactOnlyWhenItCan)
{
    ClientFolders folders;
    placeLibrary(folders, "alpha", "alpha.so", "alpha");
    TestClient client(folders, {});
    ASSERT_TRUE(client.start());
    client.onUi([&client] {
        ContactRecord* bob = client.app->addContact("12");
        const int index = client.app->findModuleIndex("alpha");
        client.app->actOnContact(index, bob); // offline: the module cannot act
        bob->status = 1;
        client.app->actOnContact(index, bob);
        client.app->actOnContact(99, bob); // no such module
    });
    EXPECT_EQ(client.log.count("clickable-notice fixture alpha act 12"), 1u) << client.log.dump();
}

TEST(ModuleRegistry, TheActionsMenuStopsAtItsLastCommandId)
{
    ClientFolders folders;
    TestClient client(folders, {});
    for (int i = 0; i < 205; ++i)
        client.addModule<NamedProbe>("m" + std::to_string(i));
    ASSERT_TRUE(client.start());
    EXPECT_EQ(client.app->getActionCount(), ClientApp::LastActionId - ClientApp::FirstActionId + 1);
    EXPECT_STREQ(client.app->getActionEntry(200)->id.c_str(), "m200");
    EXPECT_EQ(client.app->getActionEntry(201), nullptr);
    const std::vector<std::string> lines = client.log.lines();
    const auto menu = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("actions", 0) == 0; });
    ASSERT_NE(menu, lines.end());
    EXPECT_NE(menu->find(" 32973:m200"), std::string::npos);
    EXPECT_EQ(menu->find("m201"), std::string::npos);
}
