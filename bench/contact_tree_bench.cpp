// The contact tree's full rebuild (sort under the application lock, reset, one item per
// listed contact at its place, roots expanded, the selected contact selected again) against
// the peer: a plain wxTreeCtrl of the same styles, pictures and item data, filled with the
// same names in one pass from lists already split by presence and sorted, then one contact
// selected. Both run frozen, as the tree rebuilds, and both delete the previous items
// first. Half the contacts are online. wx measures every label once per fill, at the latest
// when an item is selected; both pay that, and it is most of either's time.
//
// SignInReplyApplied/N and SignInReplyToTree/N follow a sign-in with N contacts from the
// account endpoint's text on: the reply read and its contacts applied to the (cleared)
// list, then, for the second, the full rebuild that the signed-in frame asks for. The names
// are first and last names, one in eight beginning with an accented capital, so that the
// sort meets text beyond ASCII. There is no peer: the figure to hold is 10,000 contacts in
// 50 ms, with the cost growing in step with N.

#include "tests/support/SilentUi.h"
#include "core/app/ClientApp.h"
#include "core/app/ClientUi.h"
#include "core/app/UiThreadPort.h"
#include "core/link/SignInReply.h"
#include "resources/ProgramImages.h"
#include "ui/CChatwynView.h"
#include "ui/kit/Skin.h"

#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/imaglist.h>
#include <wx/init.h>
#include <wx/treectrl.h>
#include <wx/wupdlock.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace orvane;
using orvane::testing::SilentPort;
using orvane::testing::SilentUi;

namespace {


// User names of 6 to 13 letters in mixed case from a fixed sequence, so that the sort and
// the insert positions do real work.
std::string userName(uint32_t& seed)
{
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    std::string name;
    const size_t length = 6 + next() % 8;
    for (size_t i = 0; i < length; ++i)
        name += static_cast<char>((next() % 4 == 0 ? 'A' : 'a') + next() % 26);
    return name;
}

// An application with n listed contacts and a tree on a frame.
struct Client {
    explicit Client(int n) : app(ui, port)
    {
        uint32_t seed = 12345;
        for (int i = 0; i < n; ++i) {
            ContactRecord& contact = *app.addContact(std::to_string(1000000 + i).c_str());
            contact.userName = userName(seed).c_str();
            contact.status = i % 2;
            contact.listed = true;
        }
        frame = new wxFrame(nullptr, wxID_ANY, "bench", wxPoint(0, 0), wxSize(220, 550));
        view = new CChatwynView(frame, app, skin);
        frame->Show();
        view->OnInitialUpdate();
        // A selection to find again, as the user usually has one.
        view->SelectItem(view->GetFirstVisibleItem());
    }
    ~Client() { delete frame; }

    SilentUi ui;
    SilentPort port;
    ClientApp app;
    Skin skin;
    wxFrame* frame = nullptr;
    CChatwynView* view = nullptr;
};

void BM_ContactTreeRebuild(benchmark::State& state)
{
    Client client(static_cast<int>(state.range(0)));
    for (auto _ : state)
        client.view->OnUpdate(nullptr);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The peer's items carry their record as the view's do.
struct RecordData : wxTreeItemData {
    explicit RecordData(ContactRecord* contact) : record(contact) {}
    ContactRecord* record;
};

void BM_PlainTreeFill(benchmark::State& state)
{
    Client client(static_cast<int>(state.range(0)));
    // The same names, split and sorted beforehand (the view sorted the list already).
    struct Entry {
        wxString name;
        ContactRecord* record;
        int picture;
    };
    std::vector<Entry> online, offline;
    for (int i = 0; i < client.app.getContactCount(); ++i) {
        ContactRecord* record = client.app.getContactAt(i);
        (record->isOnline() ? online : offline)
            .push_back(Entry{wxString::FromUTF8(record->getDisplayName()), record, record->isOnline() ? 2 : 3});
    }
    auto* tree = new wxTreeCtrl(client.frame, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxTR_HAS_BUTTONS | wxTR_HIDE_ROOT | wxTR_SINGLE | wxBORDER_NONE);
    tree->SetImageList(client.view->GetImageList());
    for (auto _ : state) {
        wxWindowUpdateLocker noRedraw(tree);
        tree->DeleteAllItems();
        const wxTreeItemId root = tree->AddRoot(wxString());
        wxTreeItemId first;
        for (const auto* group : {&online, &offline}) {
            const wxTreeItemId parent = tree->AppendItem(root, group == &online ? "Online" : "Offline", 1, 1);
            for (const Entry& entry : *group) {
                const wxTreeItemId item =
                    tree->AppendItem(parent, entry.name, entry.picture, entry.picture, new RecordData(entry.record));
                if (!first.IsOk())
                    first = item;
            }
            if (tree->ItemHasChildren(parent))
                tree->Expand(parent);
        }
        tree->SelectItem(first);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    tree->SetImageList(nullptr);
}

// A success reply listing n contacts (ids from 2,000,000 on), no peer contacts, own id 1.
std::string signInReplyText(int n)
{
    static const char* const initials[] = {"\xc3\x89", "\xc3\x96", "\xc3\x85", "\xc3\x81"};
    uint32_t seed = 4242;
    std::string text = "LOGIN SUCCESS\n127.0.0.1:8471\n\n\n";
    for (int i = 0; i < n; ++i) {
        std::string first = userName(seed);
        if (i % 8 == 0)
            first = std::string(initials[(i / 8) % 4]) + first.substr(1);
        text += std::to_string(2000000 + i) + "\tuser" + std::to_string(i) + "\t" + first + "\t" + userName(seed) +
                "\tuser" + std::to_string(i) + "@example.org\thttp://example.org/\n";
    }
    text += "\n\n1\n";
    return text;
}

// The reply read and applied to a list emptied beforehand (outside the timing, as a sign-in
// empties it first), and with `tree` the full rebuild that follows.
void signInWithReply(benchmark::State& state, bool tree)
{
    Client client(0);
    const int n = static_cast<int>(state.range(0));
    const String text = signInReplyText(n).c_str();
    for (auto _ : state) {
        state.PauseTiming();
        client.app.clearContacts();
        state.ResumeTiming();
        const SignInReply reply = SignInReply::parse(text);
        client.app.applySignInReply(reply);
        if (tree)
            client.view->OnUpdate(nullptr);
        if (client.app.getContactCount() != n ||
            (tree && client.view->GetChildrenCount(client.view->GetOfflineRoot(), false) != static_cast<size_t>(n)))
            state.SkipWithError("the reply's contacts were not all applied and shown");
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void BM_SignInReplyApplied(benchmark::State& state)
{
    signInWithReply(state, false);
}

void BM_SignInReplyToTree(benchmark::State& state)
{
    signInWithReply(state, true);
}

BENCHMARK(BM_SignInReplyApplied)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignInReplyToTree)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactTreeRebuild)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTreeFill)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    wxApp::SetInstance(new wxApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(stderr, "contact tree benchmark skipped: it needs a display (DISPLAY=%s); run it under "
                             "scripts/with-xvfb\n", display ? display : "");
        return 0;
    }
    registerProgramImages();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
