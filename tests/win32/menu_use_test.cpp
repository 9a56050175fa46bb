// Using the menu window with real controls: a click on a list entry starts a recording helper
// program, a right click opens the context panel, "Remove" edits the catalogue on disk, the
// editor colours its fields as they change, and files dropped on a list become items.
#include "win32/menu_view.h"

#include "settings/clsINIFile.h"
#include "support/appinfo.h"
#include "win32/desktop_test_pictures.h"
#include "win32/desktop_win32.h"
#include "win32/window_test_support.h"
#include "win32/wtext.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace kesk::test {
namespace {

namespace fs = std::filesystem;

// A data object that carries a file drop (CF_HDROP), or only text.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor" // COM objects end through Release
class FileDrop final : public IDataObject {
  public:
    FileDrop(const std::vector<std::wstring>& paths, bool files) : files_(files) {
        std::wstring list;
        for (const auto& p : paths) {
            list += p;
            list += L'\0';
        }
        list += L'\0';
        block_.resize(sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
        auto* df = reinterpret_cast<DROPFILES*>(block_.data());
        df->pFiles = sizeof(DROPFILES);
        df->fWide = TRUE;
        std::memcpy(block_.data() + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; } // lives on the test's stack
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* f, STGMEDIUM* m) override {
        if (QueryGetData(f) != S_OK) {
            return DV_E_FORMATETC;
        }
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, block_.size());
        std::memcpy(GlobalLock(h), block_.data(), block_.size());
        GlobalUnlock(h);
        m->tymed = TYMED_HGLOBAL;
        m->hGlobal = h;
        m->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* f) override {
        return files_ && f != nullptr && f->cfFormat == CF_HDROP && (f->tymed & TYMED_HGLOBAL) != 0
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

    // The same paths as the HDROP of a WM_DROPFILES (the receiver frees it).
    HDROP hdrop() const {
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE, block_.size());
        std::memcpy(GlobalLock(h), block_.data(), block_.size());
        GlobalUnlock(h);
        return static_cast<HDROP>(h);
    }

  private:
    std::vector<char> block_;
    bool files_;
};
#pragma GCC diagnostic pop

class MenuUseView : public ::testing::Test {
  protected:
    ComScope com;
    TempDir dir{"menuuse"};
    fs::path report;
    win::Win32Desktop desk;
    frmVelora presenter{desk};
    win::MenuView view{presenter};

    void SetUp() override {
        fs::create_directories(dir / "skin");
        fs::create_directories(dir / "work dir");
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "notFound.ico", dir / "notFound.ico");
        for (const char* name : {"Velora_BG.bmp", "Velora_BG_menu.bmp", "Velora_BG_edit.bmp"}) {
            fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "skin" / name, dir / "skin" / name);
        }
        fs::copy_file(fs::path(KESK_RESOURCES_DIR) / "skin" / "skin.ini",
                      dir / "skin" / "skin.ini");
        app::overrideForTests(u8(dir.path()), "KeskVLM");
        report = dir / "report.txt";
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", report.wstring().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"KESK_ARGDUMP_OUT", nullptr);
        app::overrideForTests("", "");
    }

    std::string catalogueText() {
        const Bytes b = readBytes(dir / "velora.ini");
        return std::string(b.begin(), b.end());
    }
    void writeCatalogue(const std::string& text) { writeText(dir / "velora.ini", text); }
    std::string argdump() const { return u8(moduleDirectory() / "argdump.exe"); }
    // Sections 2 Dump (Tools: the recording helper), 3 Notes (Tools), 4 Other (Scripts).
    std::string standard() const {
        return "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n"
               "[Dump]\nName=Dump\nTarget=" +
               argdump() + "\nParam=alpha \"b c\"\nWorkdir=" + u8(dir / "work dir") +
               "\nIcon=\nGroup=Tools\n"
               "[Notes]\nName=Notes\nTarget=C:\\windows\\notepad.exe\nParam=\nWorkdir=\nIcon=\n"
               "Group=Tools\n"
               "[Other]\nName=Other\nTarget=C:\\windows\\notepad.exe\nParam=\nWorkdir=\nIcon=\n"
               "Group=Scripts\n";
    }

    void open(const std::string& catalogue) {
        writeCatalogue(catalogue);
        ASSERT_TRUE(view.create());
        view.load();
        ASSERT_FALSE(presenter.state().lastBuildFailed) << presenter.state().lastBuildError.number;
        presenter.Show();
        view.render();
        pump();
        ASSERT_TRUE(IsWindowVisible(view.hwnd()));
    }

    RECT itemRect(std::size_t k, int i, int part = LVIR_ICON) {
        RECT r{part, 0, 0, 0};
        SendMessageW(view.listView(k), LVM_GETITEMRECT, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&r));
        return r;
    }
    // A real press and release on entry i of list k, as the mouse delivers them.
    void clickEntry(std::size_t k, int i, UINT down, UINT up, int dy = 0) {
        const RECT r = itemRect(k, i);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2 + dy);
        HWND list = view.listView(k);
        const WPARAM key = down == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON;
        PostMessageW(list, down, key, at);
        PostMessageW(list, up, 0, at);
        pump();
    }
    void clickMenuCommand(std::size_t k) {
        const RECT r = view.menuLabelRect(k);
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(view.panelMenu(), WM_MOUSEMOVE, 0, at);
        SendMessageW(view.panelMenu(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(view.panelMenu(), WM_LBUTTONUP, 0, at);
        pump();
    }
    int count(std::size_t k) {
        return static_cast<int>(SendMessageW(view.listView(k), LVM_GETITEMCOUNT, 0, 0));
    }
    std::vector<int> selected(std::size_t k) {
        std::vector<int> out;
        for (int i = 0; i < count(k); ++i) {
            if (SendMessageW(view.listView(k), LVM_GETITEMSTATE, static_cast<WPARAM>(i),
                             LVIS_SELECTED) != 0) {
                out.push_back(i);
            }
        }
        return out;
    }
    std::string text(std::size_t k, int i) {
        wchar_t buf[512] = {};
        LVITEMW it{};
        it.iSubItem = 0;
        it.pszText = buf;
        it.cchTextMax = 512;
        SendMessageW(view.listView(k), LVM_GETITEMTEXTW, static_cast<WPARAM>(i),
                     reinterpret_cast<LPARAM>(&it));
        return win::narrow(buf);
    }
    std::string fieldText(std::size_t k) {
        wchar_t buf[1024] = {};
        GetWindowTextW(view.editField(k), buf, 1024);
        return win::narrow(buf);
    }
    // The text colour the editor hands field k when it paints.
    COLORREF fieldColour(std::size_t k) {
        win::UniqueDC dc(CreateCompatibleDC(nullptr));
        SendMessageW(view.panelEdit(), WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc.get()),
                     reinterpret_cast<LPARAM>(view.editField(k)));
        return GetTextColor(dc.get());
    }
    // The colours (0xRRGGBB) the panel paints inside `r`, through WM_PRINTCLIENT.
    static std::set<std::uint32_t> coloursIn(HWND panel, const RECT& r) {
        return Rendering(panel).colours(r);
    }
    // A pause for screenshots of the real desktop, asked for by the environment.
    void pauseForScreenshot() {
        if (const char* s = std::getenv("KESK_SCREENSHOT_PAUSE")) {
            waitFor([] { return false; }, std::atoi(s) * 1000);
        }
    }
};

TEST_F(MenuUseView, LeftClickStartsTheItemWithItsParametersAndHides) {
    open(standard());
    clickEntry(0, 0, WM_LBUTTONDOWN, WM_LBUTTONUP);
    EXPECT_TRUE(waitFor([&] { return !IsWindowVisible(view.hwnd()); }, 3000));
    EXPECT_FALSE(presenter.state().visible);
    ASSERT_TRUE(waitFor([&] { return fs::exists(report); })) << "argdump was not started";
    const Bytes b = readBytes(report);
    const std::string got(b.begin(), b.end());
    EXPECT_NE(got.find("arg=alpha\n"), std::string::npos) << got;
    EXPECT_NE(got.find("arg=b c\n"), std::string::npos) << got;
    EXPECT_NE(got.find("cwd=" + u8(dir / "work dir")), std::string::npos) << got;
    EXPECT_FALSE(IsWindowVisible(view.panelMenu()));
}

TEST_F(MenuUseView, RightClickOpensThePanelAtThePressAndRemoveDeletesTheSection) {
    open(standard());
    clickEntry(0, 1, WM_RBUTTONDOWN, WM_RBUTTONUP);
    ASSERT_TRUE(IsWindowVisible(view.panelMenu()));
    EXPECT_TRUE(IsWindowVisible(view.hwnd()));
    EXPECT_FALSE(fs::exists(report));
    EXPECT_EQ(presenter.state().lblMenuHeadline.caption, "Notes");
    // The panel's top lies as far below the window's top as the press below the list's.
    const RECT icon = itemRect(0, 1);
    RECT panel{};
    GetWindowRect(view.panelMenu(), &panel);
    MapWindowPoints(nullptr, view.hwnd(), reinterpret_cast<POINT*>(&panel), 2);
    EXPECT_EQ(panel.left, 0);
    EXPECT_NEAR(panel.top, (icon.top + icon.bottom) / 2, 1);
    EXPECT_EQ(panel.right - panel.left, 182);
    // On top of the groups, where the user sees it.
    EXPECT_EQ(ChildWindowFromPointEx(view.hwnd(), POINT{panel.left + 5, panel.top + 5},
                                     CWP_SKIPINVISIBLE),
              view.panelMenu());

    // The hovered command is drawn on MENU_BG; moving on leaves only the new one.
    SendMessageW(view.panelMenu(), WM_MOUSEMOVE, 0,
                 MAKELPARAM(view.menuLabelRect(0).left + 2, view.menuLabelRect(0).top + 2));
    EXPECT_EQ(presenter.state().menuHoverIndex, std::optional<std::int16_t>(0));
    pauseForScreenshot();

    clickMenuCommand(1); // "Remove"
    EXPECT_FALSE(IsWindowVisible(view.panelMenu()));
    EXPECT_EQ(catalogueText().find("[Notes]"), std::string::npos);
    EXPECT_NE(catalogueText().find("[Other]"), std::string::npos);
    ASSERT_EQ(count(0), 1);
    EXPECT_EQ(text(0, 0), "Dump");
}

TEST_F(MenuUseView, PanelHeadlineIsOneLineCutAtThePanelsEdge) {
    // A short word and one too long for the headline's width: wrapped, the long word would go to
    // a second line below the headline's height and only "Go" would show.
    std::string catalogue = standard();
    const std::string from = "[Notes]\nName=Notes";
    catalogue.replace(catalogue.find(from), from.size(),
                      "[Notes]\nName=Go Averyveryverylongwordthatnopanelcouldhold");
    open(catalogue);
    clickEntry(0, 1, WM_RBUTTONDOWN, WM_RBUTTONUP);
    ASSERT_TRUE(IsWindowVisible(view.panelMenu()));
    RECT panel{};
    GetClientRect(view.panelMenu(), &panel);
    // From a third of the panel's width to its edge, within the headline's own height (255
    // twips): below it the panel's picture shows.
    const RECT band{panel.right / 3, 0, panel.right, 255 * 96 / 1440};
    EXPECT_GT(coloursIn(view.panelMenu(), band).size(), 1u)
        << "the headline's right part is bare: the name wrapped";
}

TEST_F(MenuUseView, EditorShowsTheItemAndColoursFieldsAsTextIsTyped) {
    open(standard());
    clickEntry(0, 0, WM_RBUTTONDOWN, WM_RBUTTONUP);
    clickMenuCommand(0); // "Edit"
    ASSERT_TRUE(IsWindowVisible(view.panelEdit()));
    EXPECT_FALSE(IsWindowVisible(view.panelMenu()));
    RECT editor{};
    GetWindowRect(view.panelEdit(), &editor);
    MapWindowPoints(nullptr, view.hwnd(), reinterpret_cast<POINT*>(&editor), 2);
    EXPECT_EQ(ChildWindowFromPointEx(view.hwnd(), POINT{editor.left + 2, editor.top + 2},
                                     CWP_SKIPINVISIBLE),
              view.panelEdit());
    const std::vector<std::string> shown = {
        "Dump", argdump(), "alpha \"b c\"", u8(dir / "work dir"), "", "Asked system for icon"};
    for (std::size_t k = 0; k < shown.size(); ++k) {
        EXPECT_EQ(fieldText(k), shown[k]) << k;
    }
    // Every field label can be read: its text colour on something else.
    for (const ControlState& label : presenter.state().lblEditMenu) {
        const win::TwipsScale sc = view.scale();
        const RECT r{sc.toPixelsX(label.left), sc.toPixelsY(label.top),
                     sc.toPixelsX(label.left + label.width),
                     sc.toPixelsY(label.top + label.height)};
        const COLORREF ink = win::toColorRef(label.foreColour);
        const auto colours = coloursIn(view.panelEdit(), r);
        const std::uint32_t rgb = (GetRValue(ink) << 16) | (GetGValue(ink) << 8) | GetBValue(ink);
        EXPECT_EQ(colours.count(rgb), 1u) << label.caption;
        EXPECT_GE(colours.size(), 3u) << label.caption;
    }
    const COLORREF fore = win::toColorRef(presenter.state().listBoxForeColor);
    const COLORREF err = win::toColorRef(presenter.state().listBoxErrColor);
    ASSERT_NE(fore, err) << "the skin must tell the two apart";
    EXPECT_EQ(fieldColour(1), fore);
    EXPECT_EQ(fieldColour(4), err); // an empty icon path does not exist

    // Typing one character at a time into Workdir: red as soon as the folder is gone.
    HWND workdir = view.editField(3);
    SetFocus(workdir);
    const int end = GetWindowTextLengthW(workdir);
    SendMessageW(workdir, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageW(workdir, WM_CHAR, L'x', 0);
    EXPECT_EQ(presenter.state().txtEditItem[3].caption, u8(dir / "work dir") + "x");
    EXPECT_EQ(fieldColour(3), err);
    SendMessageW(workdir, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ(fieldColour(3), fore);
    pauseForScreenshot();

    // "OK" writes the changed Param only and rebuilds; the editor closes.
    SetWindowTextW(view.editField(2), L"--new");
    const std::string before = catalogueText();
    SendMessageW(view.okButton(), BM_CLICK, 0, 0);
    pump();
    EXPECT_FALSE(IsWindowVisible(view.panelEdit()));
    std::string expected = before;
    const std::string oldParam = "Param=alpha \"b c\"";
    expected.replace(expected.find(oldParam), oldParam.size(), "Param=--new");
    EXPECT_EQ(catalogueText(), expected);
}

TEST_F(MenuUseView, ReadOnlyCatalogueOrVanishedSectionLeavesTheFileAsItIs) {
    open(standard());
    const fs::path ini = dir / "velora.ini";
    for (const bool readOnly : {true, false}) {
        SCOPED_TRACE(readOnly ? "read-only" : "section deleted by hand");
        clickEntry(0, 1, WM_RBUTTONDOWN, WM_RBUTTONUP);
        clickMenuCommand(0);
        ASSERT_TRUE(IsWindowVisible(view.panelEdit()));
        SetWindowTextW(view.editField(0), L"Renamed");
        if (readOnly) {
            SetFileAttributesW(ini.wstring().c_str(), FILE_ATTRIBUTE_READONLY);
        } else {
            clsINIFile file;
            file.setFilename(u8(ini));
            file.deleteSection("Notes");
        }
        const std::string before = catalogueText();
        SendMessageW(view.okButton(), BM_CLICK, 0, 0);
        pump();
        SetFileAttributesW(ini.wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_FALSE(IsWindowVisible(view.panelEdit()));
        EXPECT_EQ(catalogueText(), before);
        EXPECT_EQ(catalogueText().find("Renamed"), std::string::npos);
    }
}

TEST_F(MenuUseView, FilesDroppedOnAListBecomeItemsAndTheLastIsSelected) {
    open(standard());
    const std::vector<std::wstring> paths = {L"C:\\windows\\notepad.exe",
                                             L"C:\\Daten\\Bericht f\u00FCr \u6587\u66F8.final.txt",
                                             (dir / "work dir").wstring()};
    struct Case {
        const char* name;
        bool viaOle;
    };
    for (const Case& c : {Case{"IDataObject", true}, Case{"WM_DROPFILES", false}}) {
        SCOPED_TRACE(c.name);
        FileDrop drop(paths, true);
        if (c.viaOle) {
            IDropTarget* target = view.listDropTarget(2);
            ASSERT_NE(target, nullptr);
            DWORD effect = DROPEFFECT_COPY | DROPEFFECT_LINK;
            EXPECT_EQ(target->DragEnter(&drop, MK_LBUTTON, POINTL{50, 50}, &effect), S_OK);
            EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
            effect = DROPEFFECT_COPY;
            EXPECT_EQ(target->Drop(&drop, MK_LBUTTON, POINTL{50, 50}, &effect), S_OK);
        } else {
            SendMessageW(view.listView(2), WM_DROPFILES, reinterpret_cast<WPARAM>(drop.hdrop()), 0);
        }
        pump();
        ASSERT_EQ(count(2), 3);
        EXPECT_EQ(text(2, 0), "notepad");
        EXPECT_EQ(text(2, 1), "Bericht f\xC3\xBCr \xE6\x96\x87\xE6\x9B\xB8.final");
        EXPECT_EQ(text(2, 2), "work dir");
        EXPECT_EQ(selected(2), std::vector<int>{2});
        clsINIFile file;
        file.setFilename(u8(dir / "velora.ini"));
        EXPECT_EQ(file.getString("Bericht f\xC3\xBCr \xE6\x96\x87\xE6\x9B\xB8.final", "Target"),
                  win::narrow(paths[1]));
        EXPECT_EQ(file.getString("work dir", "Group"), "Documents");
    }
}

TEST_F(MenuUseView, DropsWithoutFilesAndDragsOverThePanelWriteNothing) {
    open(standard());
    clickEntry(0, 0, WM_RBUTTONDOWN, WM_RBUTTONUP);
    ASSERT_TRUE(IsWindowVisible(view.panelMenu()));
    const std::string before = catalogueText();

    FileDrop text({}, false);
    DWORD effect = DROPEFFECT_COPY;
    view.listDropTarget(1)->DragEnter(&text, MK_LBUTTON, POINTL{1, 1}, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY;
    view.listDropTarget(1)->Drop(&text, MK_LBUTTON, POINTL{1, 1}, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));

    FileDrop files({L"C:\\windows\\notepad.exe"}, true);
    IDropTarget* panel = view.menuDropTarget();
    effect = DROPEFFECT_COPY;
    panel->DragEnter(&files, MK_LBUTTON, POINTL{1, 1}, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    effect = DROPEFFECT_COPY;
    panel->DragOver(MK_LBUTTON, POINTL{2, 2}, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    panel->Drop(&files, MK_LBUTTON, POINTL{2, 2}, &effect);
    pump();
    EXPECT_EQ(catalogueText(), before);
    EXPECT_EQ(count(1), 0);
}

} // namespace
} // namespace kesk::test
