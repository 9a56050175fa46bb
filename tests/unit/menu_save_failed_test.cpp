// Every change the menu window makes to the catalogue (a drop, the editor's OK,
// "Remove", the height at unload) tells its owner when it could not be saved,
// naming the folder, and leaves the file as it was.
#include "menu_fixture.h"
#include "platform/fileio.h"

#include <memory>

namespace kesk::test {
namespace {

class MenuSaveFailedTest : public MenuFixture {
  protected:
    std::unique_ptr<frmVelora> w;
    std::vector<std::string> reports;

    void start(bool readOnly, const std::string& settings) {
        writeCatalogue(settings + item("Notes", "Tools", "C:\\n.exe") +
                       item("Calc", "Scripts", "C:\\c.exe"));
        w = std::make_unique<frmVelora>(desk);
        w->setSaveFailedReport([this](const std::string& folder) { reports.push_back(folder); });
        w->Form_Load();
        ASSERT_FALSE(w->state().lastBuildFailed);
        if (readOnly) {
            std::filesystem::permissions(std::filesystem::u8path(catalogue::cataloguePath()),
                                         std::filesystem::perms::owner_read |
                                             std::filesystem::perms::group_read,
                                         std::filesystem::perm_options::replace);
        }
    }
    std::string catalogueText() const {
        return fileio::readAll(catalogue::cataloguePath(), 1 << 20).value_or("<unreadable>");
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::permissions(std::filesystem::u8path(catalogue::cataloguePath()),
                                     std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        w.reset();
        MenuFixture::TearDown();
    }
};

TEST_F(MenuSaveFailedTest, EveryWriteReportsItsFailureTableOfRules) {
    struct Row {
        const char* rule;
        bool readOnly;
        std::function<void(frmVelora&)> act;
        std::size_t reported;
        // The catalogue's settings sections.
        std::string settings = kSettings;
    };
    const auto edit = [](frmVelora& m) {
        m.setEntrySelected(0, 0, true);
        m.lstViewA_MouseDown(0, 2, 0, 0, 0);
        m.lstViewA_ItemClick(0, 0);
        m.lblMenu_Click(0);
        m.txtEditItem_Change(0, "Renamed");
        m.cmdOK_Click();
    };
    const auto remove = [](frmVelora& m) {
        m.setEntrySelected(0, 0, true);
        m.lstViewA_MouseDown(0, 2, 0, 0, 0);
        m.lstViewA_ItemClick(0, 0);
        m.lblMenu_Click(1);
    };
    const std::vector<Row> rows = {
        {"a drop that cannot be saved is reported", true,
         [](frmVelora& m) {
             m.lstViewA_OLEDragDrop(2, {"C:\\a.txt", "C:\\b.txt"});
         },
         1},
        {"a saved drop is not", false,
         [](frmVelora& m) { m.lstViewA_OLEDragDrop(2, {"C:\\a.txt"}); }, 0},
        {"an edit that cannot be saved is reported", true, edit, 1},
        {"a saved edit is not", false, edit, 0},
        {"a remove that cannot be saved is reported", true, remove, 1},
        {"a saved remove is not", false, remove, 0},
        {"a height that cannot be saved at unload is reported", true,
         [](frmVelora& m) { m.Form_Unload(); }, 1, "[SmallIconSize]\nWidth=16\nHeight=16\n"},
        {"a height already in the file is not written, so nothing fails", true,
         [](frmVelora& m) { m.Form_Unload(); }, 0},
        {"an edit that changed nothing writes nothing and reports nothing", true,
         [](frmVelora& m) {
             m.setEntrySelected(0, 0, true);
             m.lstViewA_MouseDown(0, 2, 0, 0, 0);
             m.lstViewA_ItemClick(0, 0);
             m.lblMenu_Click(0);
             m.cmdOK_Click();
         },
         0},
    };
    for (const Row& r : rows) {
        reports.clear();
        start(r.readOnly, r.settings);
        const std::string before = catalogueText();
        r.act(*w);
        EXPECT_EQ(reports.size(), r.reported) << r.rule;
        for (const std::string& folder : reports) {
            EXPECT_EQ(std::filesystem::u8path(folder), dir) << r.rule;
        }
        if (r.readOnly) {
            EXPECT_EQ(catalogueText(), before) << r.rule;
            // The menu shows what is on disk: Notes in Tools, Calc in Scripts, nothing else.
            EXPECT_EQ(w->state().lstViewA[0].entries.size(), 1u) << r.rule;
            EXPECT_TRUE(w->state().lstViewA[2].entries.empty()) << r.rule;
        } else {
            EXPECT_NE(catalogueText(), before) << r.rule;
        }
        TearDown();
        SetUp();
    }
}

} // namespace
} // namespace kesk::test
