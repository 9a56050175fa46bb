// Using the menu: item clicks and launching, the item context panel, the item
// editor and adding items by dropping files on a list.
#include "menu/frmVelora.h"

#include <algorithm>
#include <cmath>

#include "settings/clsINIFile.h"
#include "settings/textcodec.h"
#include "support/conversions.h"
#include "support/itempaths.h"
#include "support/mdFiles.h"

namespace kesk {

namespace {

// The record index behind a list entry's key; a key that names no record is
// the subscript failure it would be in a table lookup.
std::size_t recordIndex(const std::string& key, std::size_t count) {
    const std::int32_t k = catalogue::entryIndex(key);
    if (k < 0 || static_cast<std::size_t>(k) >= count) {
        raiseError(errnum::SubscriptOutOfRange);
    }
    return static_cast<std::size_t>(k);
}

// The section a name becomes in the file: the settings store trims blanks and
// turns line breaks into blanks, so a name made only of those is the empty one.
bool emptyAsSection(const std::string& name) noexcept {
    return name.find_first_not_of(" \t\r\n") == std::string::npos;
}

bool sameSectionName(const std::string& a, const std::string& b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        return lower(x) == lower(y);
    });
}

// The field of an item that editor field `k` shows (0 Name, 1 Target, 2 Param,
// 3 Workdir, 4 Icon) and the key it is saved to.
const std::string& itemField(const MenuItem& item, std::size_t k) {
    switch (k) {
    case 0:
        return item.Name;
    case 1:
        return item.Target;
    case 2:
        return item.Param;
    case 3:
        return item.Workdir;
    default:
        return item.Icon;
    }
}
constexpr std::array<const char*, 5> kFieldKeys = {catalogue::kKeyName, catalogue::kKeyTarget,
                                                   catalogue::kKeyParam, catalogue::kKeyWorkdir,
                                                   catalogue::kKeyIcon};

// The longest value a build reads back whole (its read buffer's characters).
constexpr std::size_t kLongestValue = 255;

// In the catalogue's Window section: 1 stores drops relative to the program's folder.
constexpr const char* kKeyRelativeDrops = "RelativeDrops";

// What a start hands to the shell: the item's values resolved. None (and
// `error` set) when a value is refused or its host is not known to answer.
struct LaunchPaths {
    std::string target;
    std::string parameters;
    std::string directory;
};

std::optional<LaunchPaths> launchPaths(Desktop& desktop, const MenuItem& item, ErrorRecord& error) {
    // Shell error codes, so a refused value reads like the start that would have failed.
    constexpr std::int32_t kFileNotFound = 2;
    constexpr std::int32_t kPathNotFound = 3;
    const paths::PathContext context = paths::contextOf(desktop);
    LaunchPaths out;
    // An empty Target goes to the shell as it always did, which refuses it; an address
    // goes as written.
    if (paths::isAddress(item.Target)) {
        std::optional<std::string> address = paths::expandVariables(item.Target, context);
        if (!address) {
            error = shellErrorRecord(kFileNotFound);
            return std::nullopt;
        }
        out.target = std::move(*address);
    } else if (!item.Target.empty()) {
        paths::ResolvedPath target = paths::resolveItemPath(item.Target, context);
        // The window's thread never waits for the network: a host the checks found silent
        // is not asked again here.
        if (!target.ok() || !desktop.hostAnswers(target.path, 0)) {
            error = shellErrorRecord(kFileNotFound);
            return std::nullopt;
        }
        out.target = std::move(target.path);
    }
    if (!item.Workdir.empty()) {
        paths::ResolvedPath directory = paths::resolveItemPath(item.Workdir, context);
        if (!directory.ok() || !desktop.hostAnswers(directory.path, 0)) {
            error = shellErrorRecord(kPathNotFound);
            return std::nullopt;
        }
        out.directory = std::move(directory.path);
    }
    std::optional<std::string> parameters = paths::expandVariables(item.Param, context);
    if (!parameters) {
        error = shellErrorRecord(kFileNotFound);
        return std::nullopt;
    }
    out.parameters = std::move(*parameters);
    return out;
}

// The file "Open file location" shows for an item: its Target resolved, when that names a file
// or folder that is there. Nothing for an address, an empty or refused Target, or one on a
// network host not known to answer (the window's thread never waits for one).
std::optional<std::string> fileLocationPath(Desktop& desktop, const MenuItem& item) {
    if (item.Target.empty() || paths::isAddress(item.Target)) {
        return std::nullopt;
    }
    std::optional<std::string> path = paths::checkablePath(desktop, item.Target, 0);
    if (!path || !desktop.pathExists(*path)) {
        return std::nullopt;
    }
    return path;
}

} // namespace

void frmVelora::setShell(ShellExecutor* shell, OwnerHandle owner) noexcept {
    items_.shell = shell;
    items_.owner = owner;
}

bool frmVelora::rebuildForOutsideChange() noexcept {
    std::array<std::vector<std::string>, catalogue::kGroupCount> selected;
    skipOnError([&] {
        for (std::size_t k = 0; k < s_.lstViewA.size(); ++k) {
            for (const ListEntry& entry : s_.lstViewA[k].entries) {
                const std::int32_t record = catalogue::entryIndex(entry.key);
                if (entry.selected && record >= 0 &&
                    static_cast<std::size_t>(record) < s_.menuItems.size()) {
                    selected[k].push_back(s_.menuItems[static_cast<std::size_t>(record)].Section);
                }
            }
        }
    });
    const bool ok = Form_Construct();
    skipOnError([&] {
        for (std::size_t k = 0; k < s_.lstViewA.size(); ++k) {
            if (selected[k].empty()) {
                continue;
            }
            for (ListEntry& entry : s_.lstViewA[k].entries) {
                const std::int32_t record = catalogue::entryIndex(entry.key);
                if (record < 0 || static_cast<std::size_t>(record) >= s_.menuItems.size()) {
                    continue;
                }
                const std::string& section = s_.menuItems[static_cast<std::size_t>(record)].Section;
                entry.selected = std::any_of(
                    selected[k].begin(), selected[k].end(),
                    [&section](const std::string& was) { return sameSectionName(was, section); });
            }
        }
    });
    return ok;
}

void frmVelora::setEntrySelected(std::size_t Index, std::size_t entry, bool selected) noexcept {
    if (Index >= s_.lstViewA.size() || entry >= s_.lstViewA[Index].entries.size()) {
        return;
    }
    s_.lstViewA[Index].entries[entry].selected = selected;
}

// --- Clicks -------------------------------------------------------------------------------------

void frmVelora::lstViewA_MouseDown(std::size_t Index, std::int16_t Button, std::int16_t, double,
                                   double y) noexcept {
    if (Index >= s_.lstViewA.size()) {
        return;
    }
    s_.lastMouseButton = Button;
    // A height the number cannot hold keeps the previous one.
    guardEvent([&] { s_.lastMouseY = conv::toInteger(y); });
}

void frmVelora::lstViewA_ItemClick(std::size_t Index, std::size_t entry) noexcept {
    if (Index >= s_.lstViewA.size()) {
        return;
    }
    s_.currentList = Index;
    if (s_.lastMouseButton == 1) {
        guardEvent([&] { launchItem(Index, entry); });
    } else if (s_.lastMouseButton == 2) {
        showItemMenu(Index);
    }
    s_.lastMouseButton = 0;
}

void frmVelora::launchItem(std::size_t Index, std::size_t entry) {
    // Whatever happens to the start, the menu has done its job and goes away.
    struct HideAfter {
        frmVelora& w;
        ~HideAfter() { w.Hide(); }
    } hideAfter{*this};

    const MenuItem item = s_.menuItems.at(
        recordIndex(s_.lstViewA.at(Index).entries.at(entry).key, s_.menuItems.size()));
    startItem(item, "open");
}

void frmVelora::startItem(const MenuItem& item, const char* operation) {
    if (items_.shell == nullptr) {
        return;
    }
    items_.lastLaunchStarted = false;
    const std::optional<LaunchPaths> launch = launchPaths(desktop_, item, items_.lastLaunchError);
    if (!launch) {
        return;
    }
    // The shell may take its time (a program on a network path): its answer comes later, to
    // a window that may have been rebuilt or unloaded meanwhile. The start is counted for the
    // item it was made from, found again by its section after a rebuild.
    shellOpenFileThen(*items_.shell, launch->target, kShowDefault, launch->parameters,
                      launch->directory, operation, items_.owner,
                      [this, alive = std::weak_ptr<int>(alive_), build = s_.buildCount,
                       id = item.ID,
                       section = item.Section](bool started, const ErrorRecord& error) {
                          if (alive.expired()) {
                              return;
                          }
                          items_.lastLaunchStarted = started;
                          items_.lastLaunchError = error;
                          if (!started || id.empty()) {
                              return;
                          }
                          // Never in the way of the start: counting fails quietly.
                          skipOnError([&] {
                              if (build == s_.buildCount) {
                                  countLaunch(recordIndex(id, s_.menuItems.size()));
                                  return;
                              }
                              for (std::size_t r = 0; r < s_.menuItems.size(); ++r) {
                                  if (!s_.menuItems[r].ID.empty() &&
                                      sameSectionName(s_.menuItems[r].Section, section)) {
                                      countLaunch(r);
                                      return;
                                  }
                              }
                          });
                      });
}

void frmVelora::showItemMenu(std::size_t Index) noexcept {
    if (Index >= s_.lstViewA.size()) {
        return;
    }
    const ListViewState& list = s_.lstViewA[Index];
    // The item the panel's commands are meant for; none when nothing is selected.
    items_.panelSection.clear();
    skipOnError([&] { items_.panelSection = findSelectedItem().Section; });
    skipOnError([&] {
        for (auto it = list.entries.rbegin(); it != list.entries.rend(); ++it) {
            if (it->selected) {
                s_.lblMenuHeadline.caption = it->text;
                break;
            }
        }
    });
    skipOnError([&] { s_.pbMenu.left = list.left; });
    skipOnError([&] {
        // As far below the window's top as the press lay below the list's top,
        // but never so low that the panel's commands fall off the window.
        const std::int64_t top = std::int64_t{list.top} + s_.lastMouseY;
        const std::int64_t lowest = std::int64_t{s_.height} - s_.pbMenu.height;
        s_.pbMenu.top = conv::checkedLong(std::max<std::int64_t>(0, std::min(top, lowest)));
    });
    skipOnError(
        [&] { loadPanelPicture(catalogue::kSkinMenuBackgroundFile, s_.pbMenu, s_.pbMenuPicture); });
    bool located = false;
    skipOnError([&] { located = fileLocationPath(desktop_, findSelectedItem()).has_value(); });
    skipOnError([&] { setPanelCommandEnabled(kPanelCommandFileLocation, located); });
    s_.pbMenu.visible = true;
}

void frmVelora::setPanelCommandEnabled(std::int16_t Index, bool enabled) {
    ControlState& label = s_.lblMenu.at(static_cast<std::size_t>(Index));
    label.enabled = enabled;
    label.foreColour = panelCommandColour(enabled);
}

Colour frmVelora::panelCommandColour(bool enabled) {
    // A greyed command in the platform's colour of greyed text.
    constexpr auto kGrayText = static_cast<Colour>(0x80000011);
    return enabled ? menuForeColour_ : shownColour(desktop_, kGrayText);
}

MenuItem frmVelora::findSelectedItem() const {
    MenuItem result;
    if (!s_.currentList || *s_.currentList >= s_.lstViewA.size()) {
        return result;
    }
    for (const ListEntry& entry : s_.lstViewA[*s_.currentList].entries) {
        if (entry.selected) {
            result = s_.menuItems.at(recordIndex(entry.key, s_.menuItems.size()));
        }
    }
    return result;
}

void frmVelora::loadPanelPicture(const char* file, const ControlState& panel, Bitmap& picture) {
    // Drawn pixel for pixel at every DPI, as the background is.
    const double tppx = twipsPerPixelX();
    PictureRequest request;
    request.cropWidth = static_cast<std::int32_t>(std::ceil(panel.width / tppx));
    request.cropHeight = static_cast<std::int32_t>(std::ceil(panel.height / twipsPerPixelY()));
    Picture loaded;
    if (desktop_.loadPicture(catalogue::ownFilePath(file), request, loaded) != PictureError::None) {
        raiseError(errnum::InvalidPicture, {}, "frmVelora");
    }
    picture = std::move(loaded.topLeft);
}

// --- The context panel --------------------------------------------------------------------------

void frmVelora::lblMenu_MouseMove(std::int16_t Index) noexcept {
    if (Index < 0 || static_cast<std::size_t>(Index) >= s_.lblMenu.size() ||
        s_.menuHoverIndex == Index || !s_.lblMenu[static_cast<std::size_t>(Index)].enabled) {
        return;
    }
    for (ControlState& label : s_.lblMenu) {
        label.transparent = true;
    }
    s_.lblMenu[static_cast<std::size_t>(Index)].transparent = false;
    s_.menuHoverIndex = Index;
}

void frmVelora::lblMenu_Click(std::int16_t Index) noexcept {
    if (Index >= 0 && static_cast<std::size_t>(Index) < s_.lblMenu.size() &&
        !s_.lblMenu[static_cast<std::size_t>(Index)].enabled) {
        return;
    }
    guardEvent([&] {
        switch (Index) {
        case kPanelCommandEdit:
            openItemEditor();
            break;
        case kPanelCommandRemove: {
            // No confirmation is asked, so only the item the panel was opened
            // for, and still selected, is ever removed.
            const MenuItem r = findSelectedItem();
            if (!items_.panelSection.empty() && r.Section == items_.panelSection) {
                removeItem(r.Section);
            }
            break;
        }
        case kPanelCommandRefreshAll:
            Form_Construct();
            break;
        case kPanelCommandFileLocation:
            openFileLocation();
            break;
        case kPanelCommandRunAsAdministrator:
            runAsAdministrator();
            break;
        default:
            break;
        }
    });
    s_.pbMenu.visible = false;
}

void frmVelora::openFileLocation() {
    const MenuItem r = findSelectedItem();
    if (items_.panelSection.empty() || r.Section != items_.panelSection) {
        return;
    }
    if (const std::optional<std::string> path = fileLocationPath(desktop_, r)) {
        desktop_.showFileLocation(*path);
        // The user goes on in the file window, which the menu would stand over.
        Hide();
    }
}

void frmVelora::runAsAdministrator() {
    const MenuItem r = findSelectedItem();
    // Elevated rights are only ever asked for the item the panel was opened for.
    if (items_.panelSection.empty() || r.Section != items_.panelSection) {
        return;
    }
    struct HideAfter {
        frmVelora& w;
        ~HideAfter() { w.Hide(); }
    } hideAfter{*this};
    startItem(r, "runas");
}

void frmVelora::reportFailedSave(const clsINIFile& ini) noexcept {
    if (ini.failedWrites() == 0 || !saveFailed_) {
        return;
    }
    try {
        const std::string& path = ini.filename();
        const auto cut = path.find_last_of("\\/");
        saveFailed_(cut == std::string::npos ? std::string(".") : path.substr(0, cut));
    } catch (...) {
        // Telling the user is a courtesy; the change is lost either way.
    }
}

void frmVelora::removeItem(const std::string& section) {
    if (emptyAsSection(section)) {
        return;
    }
    {
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        ini.deleteSection(section);
        reportFailedSave(ini);
    }
    Form_Construct();
}

// --- The item editor ----------------------------------------------------------------------------

void frmVelora::openItemEditor() {
    const MenuItem r = findSelectedItem();
    items_.editorItem = r;
    s_.lblItemEditHeadline.caption = " " + r.Section;
    for (std::size_t k = 0; k < kFieldKeys.size(); ++k) {
        s_.txtEditItem[k].caption = itemField(r, k);
    }
    const auto source = static_cast<std::size_t>(r.IconSource);
    s_.txtEditItem[5].caption =
        source < s_.iconSourceTexts.size() ? s_.iconSourceTexts[source] : "";
    items_.editorSourceAwaited.reset();
    if (!r.ID.empty()) {
        const std::size_t record = recordIndex(r.ID, s_.menuItems.size());
        if (picturePending(record)) {
            // Which source wins is not known yet: the field stays empty until it is, rather
            // than show a source that may turn out wrong.
            s_.txtEditItem[5].caption.clear();
            items_.editorSourceAwaited = record;
        }
    }
    s_.containerEditItem.visible = true;
    showEditorSource();
    // Without its picture the panel still works, on its own colour.
    skipOnError([&] {
        loadPanelPicture(catalogue::kSkinEditBackgroundFile, s_.containerEditItem,
                         s_.containerEditItemPicture);
    });
    for (std::size_t k = 0; k < s_.txtEditItem.size(); ++k) {
        colourEditField(k);
    }
}

void frmVelora::showEditorSource() {
    if (!items_.editorSourceAwaited) {
        return;
    }
    const std::size_t record = *items_.editorSourceAwaited;
    // A build since may have given the record's place to another section.
    if (!items_.editorItem || !s_.containerEditItem.visible || record >= s_.menuItems.size() ||
        s_.menuItems[record].Section != items_.editorItem->Section) {
        items_.editorSourceAwaited.reset();
        return;
    }
    std::int16_t source = s_.menuItems[record].IconSource;
    if (picturePending(record)) {
        const PictureResult* r = arrivedPicture(record);
        if (r == nullptr) {
            return;
        }
        source = r->source;
    }
    items_.editorSourceAwaited.reset();
    items_.editorItem->IconSource = source;
    const auto k = static_cast<std::size_t>(source);
    s_.txtEditItem[5].caption = k < s_.iconSourceTexts.size() ? s_.iconSourceTexts[k] : "";
}

void frmVelora::txtEditItem_Change(std::int16_t Index, const std::string& text) noexcept {
    if (Index < 0 || static_cast<std::size_t>(Index) >= s_.txtEditItem.size()) {
        return;
    }
    s_.txtEditItem[static_cast<std::size_t>(Index)].caption = text;
    colourEditField(static_cast<std::size_t>(Index));
}

void frmVelora::colourEditField(std::size_t k) noexcept {
    ControlState& field = s_.txtEditItem[k];
    const bool checked = k == 1 || k == 3 || k == 4;
    bool missing = false;
    if (checked) {
        // Called per keystroke on the window's thread: a network host is not waited for.
        const std::optional<std::string> path = paths::checkablePath(desktop_, field.caption, 0);
        missing = !path || !desktop_.pathExists(*path);
    }
    field.foreColour = missing ? s_.listBoxErrColor : s_.listBoxForeColor;
}

void frmVelora::cmdOK_Click() noexcept {
    s_.containerEditItem.visible = false;
    guardEvent([&] {
        // The edits belong to the item the editor was opened for: they go into
        // its section whatever is selected now, and only while that section is
        // still in the catalogue (one deleted meanwhile is not made again from
        // a few keys). What the editor showed is the baseline, so a field the
        // user left alone is never written.
        if (!items_.editorItem || emptyAsSection(items_.editorItem->Section)) {
            return;
        }
        const MenuItem& r = *items_.editorItem;
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        std::vector<std::string> sections;
        ini.getSectionList(sections);
        const bool present =
            std::any_of(sections.begin(), sections.end(),
                        [&r](const std::string& s) { return sameSectionName(s, r.Section); });
        if (!present) {
            return;
        }
        for (std::size_t k = 0; k < kFieldKeys.size(); ++k) {
            const std::string& text = s_.txtEditItem[k].caption;
            if (text != itemField(r, k)) {
                ini.setValue(r.Section, kFieldKeys[k], text);
            }
        }
        reportFailedSave(ini);
    });
    items_.editorItem.reset();
    Form_Construct();
}

void frmVelora::cmdAbort_Click() noexcept {
    s_.containerEditItem.visible = false;
    items_.editorItem.reset();
}

// --- Dropping files -----------------------------------------------------------------------------

void frmVelora::lstViewA_OLEDragDrop(std::size_t Index,
                                     const std::vector<std::string>& files) noexcept {
    guardEvent([&] { addDroppedFiles(files, Index); });
}

void frmVelora::addDroppedFiles(const std::vector<std::string>& files, std::size_t Index) {
    if (Index >= s_.lstViewA.size() || files.empty()) {
        return;
    }
    {
        clsINIFile ini;
        ini.setFilename(catalogue::cataloguePath());
        const std::string group = catalogue::kGroupNames[Index];
        // Portable users keep drops relative to the program, so they survive a new drive letter.
        bool relative = false;
        skipOnError(
            [&] { relative = ini.getInteger(catalogue::kSectionWindow, kKeyRelativeDrops) == 1; });
        const std::string folder = relative ? desktop_.programFolder() : std::string();
        for (const std::string& dropped : files) {
            const std::string p = relative ? paths::portableDropValue(dropped, folder) : dropped;
            std::string root;
            std::string directory;
            std::string fileName;
            std::string b;
            std::string extension;
            splitPath(dropped, root, directory, fileName, b, extension);
            // A drive root or a name like ".profile" has no base name: writing
            // it would make the section with the empty name.
            if (emptyAsSection(b)) {
                continue;
            }
            // A Target the build would read back cut short would start the
            // wrong file; such a path is not taken.
            if (ini::countChars(p) > kLongestValue) {
                continue;
            }
            // A section that is not there yet is written whole: the same lines
            // at the end of the file, in one write of the file instead of four.
            // A line break in a path would split such a line, so those paths
            // (and sections already present) go key by key.
            std::vector<std::string> present;
            ini.getArray(b, present);
            if (present.empty() && p.find_first_of("\r\n") == std::string::npos) {
                ini.setArray(b, {std::string(catalogue::kKeyName) + "=" + b,
                                 std::string(catalogue::kKeyTarget) + "=" + p,
                                 std::string(catalogue::kKeyIcon) + "=",
                                 std::string(catalogue::kKeyGroup) + "=" + group});
                continue;
            }
            ini.setValue(b, catalogue::kKeyName, b);
            ini.setValue(b, catalogue::kKeyTarget, p);
            ini.setValue(b, catalogue::kKeyIcon, "");
            ini.setValue(b, catalogue::kKeyGroup, group);
        }
        reportFailedSave(ini);
    }
    Form_Construct();
    std::vector<ListEntry>& entries = s_.lstViewA[Index].entries;
    if (!entries.empty()) {
        entries.back().selected = true;
    }
}

void frmVelora::pbMenu_OLEDragOver() noexcept {
    desktop_.beep();
}

} // namespace kesk
