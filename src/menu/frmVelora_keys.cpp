// The menu by keys: type to find across the four lists, moving and starting by keys, the
// context panel's and the editor's keys, and the count of starts that ranks the matches.
#include "menu/frmVelora.h"

#include <algorithm>
#include <map>

#include "settings/clsINIFile.h"
#include "support/conversions.h"

namespace kesk {

namespace {

constexpr const char* kHeadline = "Velora Menu";
// The height of an entry of the icon lists, in twips (an icon, two lines of text and the
// gap); Page Up and Page Down move by as many entries as a list shows.
constexpr std::int32_t kEntryPitchTwips = 1140;

// The editor's controls in the order of the screen (Param's field sits below Workdir's).
constexpr std::array<std::int16_t, 7> kEditorTabOrder = {0, 1, 3, 2, 4, kEditorOK, kEditorAbort};

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Counts of this run by catalogue and section (in lower case, as sections match): kept when
// the catalogue cannot be written, and beyond the life of one menu window. The window's
// thread only.
std::map<std::string, std::uint32_t>& sessionLaunches() {
    static std::map<std::string, std::uint32_t> counts;
    return counts;
}

std::string sessionKey(const std::string& section) {
    return catalogue::cataloguePath() + '\n' + lowerAscii(section);
}

// Removes the last UTF-8 character.
void popCharacter(std::string& text) {
    while (!text.empty()) {
        const auto b = static_cast<unsigned char>(text.back());
        text.pop_back();
        if ((b & 0xC0) != 0x80) {
            return;
        }
    }
}

std::size_t characterCount(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Whether a typed character is text: control characters (Backspace, Esc, Ctrl+letters) are
// keys, not part of a query.
bool isText(const std::string& character) {
    if (character.empty()) {
        return false;
    }
    const auto b = static_cast<unsigned char>(character[0]);
    return b >= 0x20 && b != 0x7F;
}

} // namespace

// --- Where the keys act -------------------------------------------------------------------------

KeyFocus frmVelora::keyFocus() const noexcept {
    if (s_.containerEditItem.visible) {
        return KeyFocus::Editor;
    }
    if (s_.pbMenu.visible) {
        return KeyFocus::Panel;
    }
    return KeyFocus::Lists;
}

void frmVelora::setEditorFocus(std::int16_t control) noexcept {
    if (std::find(kEditorTabOrder.begin(), kEditorTabOrder.end(), control) !=
            kEditorTabOrder.end() ||
        control == 5) {
        s_.editorFocus = control;
    }
}

std::optional<std::pair<std::size_t, std::size_t>> frmVelora::keyCursor() const noexcept {
    if (!s_.currentList || *s_.currentList >= s_.lstViewA.size()) {
        return std::nullopt;
    }
    const std::vector<ListEntry>& entries = s_.lstViewA[*s_.currentList].entries;
    // As findSelectedItem does: the lowest of several selected entries.
    for (std::size_t i = entries.size(); i-- > 0;) {
        if (entries[i].selected) {
            return std::make_pair(*s_.currentList, i);
        }
    }
    return std::nullopt;
}

void frmVelora::selectEntry(std::size_t list, std::size_t entry) noexcept {
    for (ListViewState& l : s_.lstViewA) {
        for (ListEntry& e : l.entries) {
            e.selected = false;
        }
    }
    s_.lstViewA[list].entries[entry].selected = true;
    s_.currentList = list;
}

// --- Keys
// -----------------------------------------------------------------------------------------

bool frmVelora::Form_KeyDown(MenuKey key, bool shift) noexcept {
    bool handled = false;
    guardEvent([&] {
        switch (keyFocus()) {
        case KeyFocus::Editor:
            handled = editorKey(key, shift);
            return;
        case KeyFocus::Panel:
            handled = panelKey(key);
            return;
        case KeyFocus::Lists:
            break;
        }
        switch (key) {
        case MenuKey::Enter:
            if (const auto at = keyCursor()) {
                clearQuery();
                launchItem(at->first, at->second);
            }
            handled = true;
            return;
        case MenuKey::Escape:
            // The first Esc takes the query back, the next one the menu.
            if (!s_.query.empty()) {
                clearQuery();
            } else {
                Hide();
            }
            handled = true;
            return;
        case MenuKey::Backspace:
            if (!s_.query.empty()) {
                popCharacter(s_.query);
                applyQuery();
            }
            handled = true;
            return;
        case MenuKey::ContextMenu:
            openPanelByKeys();
            handled = true;
            return;
        case MenuKey::Tab:
            return;
        default:
            handled = moveInLists(key);
            return;
        }
    });
    return handled;
}

bool frmVelora::Form_KeyPress(const std::string& character) noexcept {
    bool handled = false;
    guardEvent([&] {
        if (!isText(character)) {
            return;
        }
        switch (keyFocus()) {
        case KeyFocus::Editor:
            return; // the field types it
        case KeyFocus::Panel: {
            const std::string typed = finder::fold(character);
            const std::vector<std::size_t> letters = commandLetters();
            for (std::size_t k = 0; k < letters.size(); ++k) {
                const std::string& caption = s_.lblMenu[k].caption;
                if (letters[k] != std::string::npos &&
                    finder::fold(caption.substr(letters[k], 1)) == typed) {
                    // A greyed command's letter does nothing, and no other command takes it.
                    runPanelCommand(static_cast<std::int16_t>(k));
                    break;
                }
            }
            handled = true;
            return;
        }
        case KeyFocus::Lists:
            if (characterCount(s_.query) < finder::kMaxQueryChars) {
                s_.query += character;
                applyQuery();
            }
            handled = true;
            return;
        }
    });
    return handled;
}

void frmVelora::Form_Deactivate() noexcept {
    // Only a menu the keys opened goes as a menu does; one opened by the mouse hides by the
    // pointer alone.
    if (keyboardOpened_ && s_.visible) {
        Hide();
    }
}

bool frmVelora::moveInLists(MenuKey key) {
    const auto at = keyCursor();
    if (!at) {
        // Nothing selected yet: any move starts at the first entry there is.
        for (std::size_t k = 0; k < s_.lstViewA.size(); ++k) {
            if (!s_.lstViewA[k].entries.empty()) {
                selectEntry(k, 0);
                return true;
            }
        }
        return true;
    }
    const auto [list, entry] = *at;
    const std::size_t count = s_.lstViewA[list].entries.size();
    const std::size_t page = static_cast<std::size_t>(
        std::max<std::int32_t>(1, s_.lstViewA[list].height / kEntryPitchTwips));
    std::size_t next = entry;
    switch (key) {
    case MenuKey::Up:
        next = entry > 0 ? entry - 1 : 0;
        break;
    case MenuKey::Down:
        next = std::min(entry + 1, count - 1);
        break;
    case MenuKey::Home:
        next = 0;
        break;
    case MenuKey::End:
        next = count - 1;
        break;
    case MenuKey::PageUp:
        next = entry > page ? entry - page : 0;
        break;
    case MenuKey::PageDown:
        next = std::min(entry + page, count - 1);
        break;
    case MenuKey::Left:
    case MenuKey::Right: {
        // To the next list on that side that has entries, at the same height or its last.
        const bool right = key == MenuKey::Right;
        for (std::size_t k = list; right ? k + 1 < s_.lstViewA.size() : k > 0;) {
            k = right ? k + 1 : k - 1;
            const std::size_t n = s_.lstViewA[k].entries.size();
            if (n > 0) {
                selectEntry(k, std::min(entry, n - 1));
                return true;
            }
        }
        return true;
    }
    default:
        return false;
    }
    selectEntry(list, next);
    return true;
}

void frmVelora::openPanelByKeys() {
    const auto at = keyCursor();
    if (!at) {
        return;
    }
    // The panel stands beside the entry, as it would after a right click on it.
    s_.lastMouseY = conv::checkedInteger(
        std::min<std::int64_t>(static_cast<std::int64_t>(at->second) * kEntryPitchTwips, 32767));
    showItemMenu(at->first);
    // The keys need a row to stand on, and a greyed one cannot be it.
    const std::optional<std::int16_t> hover = s_.menuHoverIndex;
    if (!hover || !panelRowEnabled(*hover)) {
        moveToPanelRow(nextEnabledPanelRow(-1, 1));
    }
}

bool frmVelora::panelRowEnabled(std::int16_t row) const noexcept {
    return row >= 0 && static_cast<std::size_t>(row) < s_.lblMenu.size() &&
           s_.lblMenu[static_cast<std::size_t>(row)].enabled;
}

std::optional<std::int16_t> frmVelora::nextEnabledPanelRow(int from, int step) const noexcept {
    // Greyed rows are stepped over, and the walk wraps round; none when every row is greyed.
    const int rows = static_cast<int>(s_.lblMenu.size());
    for (int i = 1; i <= rows; ++i) {
        const auto row = static_cast<std::int16_t>(((from + step * i) % rows + rows) % rows);
        if (panelRowEnabled(row)) {
            return row;
        }
    }
    return std::nullopt;
}

void frmVelora::moveToPanelRow(std::optional<std::int16_t> row) noexcept {
    if (row) {
        lblMenu_MouseMove(*row);
    }
}

void frmVelora::runPanelCommand(std::int16_t row) noexcept {
    if (!panelRowEnabled(row)) {
        return;
    }
    lblMenu_Click(row);
    if (row == kPanelCommandEdit && s_.containerEditItem.visible) {
        s_.editorFocus = 0;
    }
}

bool frmVelora::panelKey(MenuKey key) {
    const int rows = static_cast<int>(s_.lblMenu.size());
    const std::optional<std::int16_t> hover = s_.menuHoverIndex;
    switch (key) {
    case MenuKey::Up:
        moveToPanelRow(nextEnabledPanelRow(hover.value_or(rows), -1));
        return true;
    case MenuKey::Down:
    case MenuKey::Tab:
        moveToPanelRow(nextEnabledPanelRow(hover.value_or(-1), 1));
        return true;
    case MenuKey::Home:
    case MenuKey::PageUp:
        moveToPanelRow(nextEnabledPanelRow(-1, 1));
        return true;
    case MenuKey::End:
    case MenuKey::PageDown:
        moveToPanelRow(nextEnabledPanelRow(rows, -1));
        return true;
    case MenuKey::Enter:
        if (hover) {
            runPanelCommand(*hover);
        }
        return true;
    case MenuKey::Escape:
        s_.pbMenu.visible = false;
        return true;
    default:
        return true; // the lists stay still while the panel has the keys
    }
}

bool frmVelora::editorKey(MenuKey key, bool shift) {
    switch (key) {
    case MenuKey::Tab: {
        auto it = std::find(kEditorTabOrder.begin(), kEditorTabOrder.end(), s_.editorFocus);
        auto k = static_cast<std::size_t>(
            it == kEditorTabOrder.end() ? 0 : it - kEditorTabOrder.begin());
        const std::size_t n = kEditorTabOrder.size();
        k = shift ? (k + n - 1) % n : (k + 1) % n;
        s_.editorFocus = kEditorTabOrder[k];
        return true;
    }
    case MenuKey::Enter:
        if (s_.editorFocus == kEditorAbort) {
            cmdAbort_Click();
        } else {
            cmdOK_Click();
        }
        return true;
    case MenuKey::Escape:
        cmdAbort_Click();
        return true;
    default:
        return false; // the field moves its caret itself
    }
}

static_assert(std::tuple_size_v<decltype(frmVeloraState::lblMenu)> == kPanelCommandLetters.size());

std::vector<std::size_t> frmVelora::commandLetters() const {
    std::vector<std::size_t> letters;
    for (std::size_t k = 0; k < s_.lblMenu.size(); ++k) {
        const std::size_t at = kPanelCommandLetters[k];
        letters.push_back(at < s_.lblMenu[k].caption.size() ? at : std::string::npos);
    }
    return letters;
}

// --- The query ----------------------------------------------------------------------------------

void frmVelora::clearQuery() noexcept {
    s_.query.clear();
    s_.queryMatches = 0;
    s_.lblHeadline.caption = kHeadline;
    s_.lblHedlineURL.caption.clear();
}

std::string frmVelora::headBarText() const {
    if (s_.query.empty()) {
        return kHeadline;
    }
    return s_.lblHeadline.caption + "  " + s_.lblHedlineURL.caption;
}

void frmVelora::ensureFinder() {
    if (finderBuild_ == s_.buildCount && finderRecords_.size() == finder_.size()) {
        return;
    }
    std::vector<finder::Candidate> candidates;
    finderRecords_.clear();
    // In the catalogue's order: the lists' order would put a later Tools item before an
    // earlier Scripts one.
    for (std::size_t j = 0; j < s_.menuItems.size(); ++j) {
        if (j >= entryOf_.size() || entryOf_[j].list < 0) {
            continue;
        }
        const MenuItem& item = s_.menuItems[j];
        candidates.push_back({item.Name, item.Target, launchesOf(j)});
        finderRecords_.push_back(j);
    }
    finder_.setItems(candidates);
    finderBuild_ = s_.buildCount;
}

void frmVelora::applyQuery() {
    if (s_.query.empty()) {
        clearQuery();
        return;
    }
    ensureFinder();
    const std::vector<finder::Match> found = finder_.find(s_.query);
    s_.queryMatches = found.size();
    // The caret shows where typing goes.
    s_.lblHeadline.caption = s_.query + "_";
    s_.lblHedlineURL.caption = found.empty()       ? std::string("no match")
                               : found.size() == 1 ? std::string("1 match")
                                                   : std::to_string(found.size()) + " matches";
    if (found.empty()) {
        return;
    }
    const EntryPlace place = entryOf_[finderRecords_[found.front().item]];
    if (place.list >= 0 &&
        place.index < s_.lstViewA[static_cast<std::size_t>(place.list)].entries.size()) {
        selectEntry(static_cast<std::size_t>(place.list), place.index);
    }
}

// --- Counting starts ----------------------------------------------------------------------------

std::uint32_t frmVelora::launchesOf(std::size_t item) const noexcept {
    return item < launches_.size() ? launches_[item] : 0;
}

void frmVelora::readLaunches(clsINIFile& ini, std::size_t record, const std::string& section) {
    if (launches_.size() < s_.menuItems.size()) {
        launches_.resize(s_.menuItems.size(), 0);
    }
    std::string value;
    ini.readString(section, catalogue::kKeyLaunches, value);
    std::uint32_t count = finder::launchCountOf(value);
    // A count this run could not write is not lost to the next build.
    const auto kept = sessionLaunches().find(sessionKey(section));
    if (kept != sessionLaunches().end()) {
        count = std::max(count, kept->second);
    }
    launches_[record] = count;
}

void frmVelora::countLaunch(std::size_t record) {
    if (record >= s_.menuItems.size()) {
        return;
    }
    if (launches_.size() < s_.menuItems.size()) {
        launches_.resize(s_.menuItems.size(), 0);
    }
    const std::string section = s_.menuItems[record].Section;
    if (section.find_first_not_of(" \t\r\n") == std::string::npos) {
        return;
    }
    const std::uint32_t count = finder::oneMoreLaunch(launches_[record]);
    launches_[record] = count;
    sessionLaunches()[sessionKey(section)] = count;
    for (std::size_t k = 0; k < finderRecords_.size(); ++k) {
        if (finderRecords_[k] == record) {
            finder_.setLaunches(k, count);
        }
    }
    // The count goes into the item's own section, and only while that section is there: a
    // catalogue deleted or emptied meanwhile is not made again for one number. A write that
    // fails (read-only media) is silent: the count lives on in this run.
    auto job = [path = catalogue::cataloguePath(), section, count] {
        try {
            clsINIFile ini;
            ini.setFilename(path);
            std::vector<std::string> sections;
            ini.getSectionList(sections);
            const std::string wanted = lowerAscii(section);
            const bool present =
                std::any_of(sections.begin(), sections.end(),
                            [&wanted](const std::string& s) { return lowerAscii(s) == wanted; });
            if (present) {
                ini.setValue(section, catalogue::kKeyLaunches, std::to_string(count));
            }
        } catch (...) {
            // A count is worth less than the start it counts.
        }
    };
    if (backgroundWork_) {
        backgroundWork_(std::move(job));
    } else {
        job();
    }
}

} // namespace kesk
