// A rebuild for another program's change keeps the user's selection where the item is still
// there; any other build clears it.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/profilestore.h"
#include "unit/menu_fixture.h"

namespace kesk::test {
namespace {

class OutsideRebuildTest : public MenuFixture {
  protected:
    std::optional<frmVelora> w;

    static std::string catalogueOf(const std::vector<std::string>& items) {
        std::string text = kSettings;
        for (const std::string& i : items) {
            text += i;
        }
        return text;
    }
    std::vector<std::string> texts(std::size_t list) const {
        std::vector<std::string> out;
        for (const ListEntry& e : w->state().lstViewA[list].entries) {
            out.push_back(e.text + (e.selected ? "*" : ""));
        }
        return out;
    }
};

TEST_F(OutsideRebuildTest, SelectionFollowsTheItemByRule) {
    struct Case {
        const char* rule;
        std::vector<std::string> after; // the catalogue another program saved
        bool outside;                   // the rebuild is for an outside change
        std::vector<std::string> tools;
        std::vector<std::string> applications;
    };
    const std::vector<std::string> before = {item("Calc", "Tools"), item("Notes", "Tools"),
                                             item("Paint", "Applications")};
    const std::vector<Case> cases = {
        {"unchanged, it stays", before, true, {"Calc", "Notes*"}, {"Paint"}},
        {"an item added before it, it stays on its item",
         {item("New", "Tools"), item("Calc", "Tools"), item("Notes", "Tools"),
          item("Paint", "Applications")},
         true,
         {"New", "Calc", "Notes*"},
         {"Paint"}},
        {"the item before it removed, it stays on its item",
         {item("Notes", "Tools"), item("Paint", "Applications")},
         true,
         {"Notes*"},
         {"Paint"}},
        {"the section's name in other letters is the same section",
         {item("Calc", "Tools"), item("NOTES", "Tools"), item("Paint", "Applications")},
         true,
         {"Calc", "NOTES*"},
         {"Paint"}},
        {"the item gone, nothing is selected",
         {item("Calc", "Tools"), item("Paint", "Applications")},
         true,
         {"Calc"},
         {"Paint"}},
        {"the item moved to another list, nothing is selected",
         {item("Calc", "Tools"), item("Notes", "Applications"), item("Paint", "Applications")},
         true,
         {"Calc"},
         {"Notes", "Paint"}},
        {"any other build clears it", before, false, {"Calc", "Notes"}, {"Paint"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        writeCatalogue(catalogueOf(before));
        w.emplace(desk);
        w->Form_Load();
        w->Show();
        w->setEntrySelected(0, 1, true);
        ASSERT_EQ(texts(0), (std::vector<std::string>{"Calc", "Notes*"}));
        writeCatalogue(catalogueOf(c.after));
        const bool ok = c.outside ? w->rebuildForOutsideChange() : w->Form_Construct();
        EXPECT_TRUE(ok);
        EXPECT_EQ(texts(0), c.tools);
        EXPECT_EQ(texts(1), c.applications);
    }
}

TEST_F(OutsideRebuildTest, ACatalogueTheStoreWillNotReadKeepsTheMenuByRule) {
    struct Case {
        const char* rule;
        std::function<void(FakeDesktop&, const std::string&)> change;
        bool rebuild;
        bool recheck; // looked at again unasked
    };
    const std::vector<Case> cases = {
        {"a catalogue changed is rebuilt",
         [](FakeDesktop& d, const std::string& p) { d.stamps[p].size = 4096; }, true, false},
        {"a catalogue just at the store's limit is rebuilt",
         [](FakeDesktop& d, const std::string& p) { d.stamps[p].size = ini::kMaxFileBytes; }, true,
         false},
        {"a catalogue beyond the store's limit keeps the menu",
         [](FakeDesktop& d, const std::string& p) { d.stamps[p].size = 200ull << 20; }, false,
         false},
        {"a folder in the catalogue's place keeps the menu",
         [](FakeDesktop& d, const std::string& p) {
             d.stamps.erase(p);
             d.directories.insert(p);
         },
         false, false},
        {"a catalogue gone is waited for",
         [](FakeDesktop& d, const std::string& p) { d.stamps.erase(p); }, false, true},
    };
    const std::string path = catalogue::cataloguePath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        desk.directories.clear();
        fileio::FileStamp stamp;
        stamp.size = 100;
        stamp.modified = 1;
        desk.stamps[path] = stamp;
        writeCatalogue(catalogueOf({item("Calc", "Tools")}));
        w.emplace(desk);
        w->Form_Load();
        ASSERT_FALSE(w->checkOutsideChanges().rebuild);
        c.change(desk, path);
        const OutsideChanges::Verdict v = w->checkOutsideChanges();
        EXPECT_EQ(v.rebuild, c.rebuild);
        EXPECT_EQ(v.recheckMs > 0, c.recheck);
        EXPECT_EQ(texts(0), std::vector<std::string>{"Calc"});
    }
}

} // namespace
} // namespace kesk::test
