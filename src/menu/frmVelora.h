#pragma once
// The menu window's presenter: everything the menu window decides, as plain
// data. The Windows view creates the real controls, calls the handlers below
// on their events and renders `state()` afterwards; it never decides anything
// itself.
//
// Units: the window's own position and size and every control's rectangle are
// twips (1/1440 inch), relative to the control's parent (the screen for the
// window; the window for its direct children; `pbVLM`, `cont`, `pbMenu` and
// `containerEditItem` for theirs). Picture and icon sizes are pixels.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "catalogue/catalogue.h"
#include "menu/dpi_sizes.h"
#include "menu/finder.h"
#include "menu/imagelists.h"
#include "menu/outside_changes.h"
#include "menu/picture_jobs.h"
#include "platform/desktop.h"
#include "support/errors.h"
#include "support/mdShellEx.h"
#include "tray/taskbar_layout.h"

namespace kesk {

class clsINIFile;

// One catalogue section. For a section whose Group is empty only Group is
// filled. The record's index in menuItems is the section's position in the
// catalogue, and the number in ID.
struct MenuItem {
    std::string ID;
    std::string Section;
    std::string Name;
    std::string Target;
    std::string Param;
    std::string Workdir;
    std::int16_t IconIndex = 0;
    std::string Icon;
    std::int16_t IconSource = 0;
    std::string Group;
    std::int16_t TargetMissing = 0;
    bool operator==(const MenuItem&) const = default;
};

struct ControlState {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool visible = true;
    // A transparent label shows its parent behind its text; backColour is not painted.
    bool transparent = false;
    // Plain 0x00BBGGRR: skin values are resolved (shownColour) when the skin is applied.
    Colour backColour = 0x00FFFFFF;
    Colour foreColour = 0;
    std::string caption;
    double fontSize = 8.25; // points
    bool bold = false;
    // A label whose text runs on one line and is cut at the edge of what holds it, instead of
    // wrapping into lines below its height, where they would be lost.
    bool singleLine = false;
    // A command that cannot act on what it is offered for: drawn greyed, and a click on it does
    // nothing.
    bool enabled = true;
};

struct ListEntry {
    std::string key;  // the item's ID ("ID 3")
    std::string text; // the item's Name
    // Image numbers in vlImgList and vlImgListSmall (1-based); 0 while the item's picture is
    // still being read, and the entry shows a neutral placeholder in its place.
    std::int16_t largePicture = 0;
    std::int16_t smallPicture = 0;
    // Position nudge in twips: left edge at `left`, and `topOffset` below the
    // place the list's arrangement gives the entry.
    std::int32_t left = 0;
    std::int32_t topOffset = 0;
    bool selected = false;
    // Drawn in pure red (kColourRed) instead of the list's foreColour: the
    // target cannot be opened.
    bool red = false;
    bool operator==(const ListEntry&) const = default;
};

struct ListViewState : ControlState {
    std::vector<ListEntry> entries;
    // Both image lists are attached (large pictures from vlImgList, small
    // ones from vlImgListSmall). Detached lists show no pictures.
    bool imageListsAttached = false;
};

// The keys the menu acts on, as the view names them whatever the keyboard's layout.
enum class MenuKey {
    Up,
    Down,
    Left,
    Right,
    Home,
    End,
    PageUp,
    PageDown,
    Enter,
    Escape,
    Backspace,
    Tab,
    ContextMenu, // the context key, or Shift+F10
};

// Where the keys act: what is open decides it (the editor, else the context panel, else the
// lists).
enum class KeyFocus { Lists, Panel, Editor };

// The editor's controls as the keys reach them: fields by element, then the two buttons.
inline constexpr std::int16_t kEditorOK = 6;
inline constexpr std::int16_t kEditorAbort = 7;

struct frmVeloraState {
    // --- The window (twips on the screen) ------------------------------------------
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 8535;
    std::int32_t height = 8295;
    bool topmost = false;
    bool visible = false;
    // A window taller than the room beside its taskbar is shown cut to it: `cutTwips` shorter
    // (its lists and their containers as much, so they scroll), its top at `cutTop`. 0: it
    // fits and shows as placed.
    std::int32_t cutTwips = 0;
    std::int32_t cutTop = 0;
    // The DPI the window is laid out, painted and its pictures sized at: the one of the
    // monitor it is on (see frmVelora::setDpi), held to what a screen can have.
    std::int32_t dpi = 96;

    // --- Controls ----------------------------------------------------------------------
    ControlState shpHead;
    ControlState lblHeadline;
    ControlState lblHedlineURL;
    ControlState pbVLM;
    // pbVLM's height in the window's pixels. This, not pbVLM.height, is the
    // authoritative value: a positive height offset sets it in pixels (it then
    // reaches below the window's bottom edge, where it is cut off).
    std::int32_t pbVLMHeightPixels = 529;
    // The skin's background bitmap, top-left part, painted once at pbVLM's
    // top left at its own size. Empty until a build loaded it.
    Bitmap pbVLMPicture;
    std::array<ControlState, catalogue::kGroupCount> lblContHead;
    std::array<ControlState, catalogue::kGroupCount> cont;
    std::array<ListViewState, catalogue::kGroupCount> lstViewA;

    ControlState pbMenu;
    ControlState lblMenuHeadline;
    // The context panel's commands, from the top: "Edit", "Remove", "Refresh all", "Close menu",
    // "Open file location", "Run as administrator" (kPanelCommand...).
    std::array<ControlState, 6> lblMenu;

    ControlState containerEditItem;
    ControlState lblItemEditHeadline;
    std::array<ControlState, 6> lblEditMenu;
    std::array<ControlState, 6> txtEditItem;
    ControlState cmdOK;
    ControlState cmdAbort;

    // Never shown; their back colours are what icons are drawn over.
    ControlState tmpPicBox;
    ControlState tmpPicBoxSmall;
    ControlState tmpPBtp;

    ImageList vlImgList;
    ImageList vlImgListSmall;

    // --- Form-level values ---------------------------------------------------------------
    std::int32_t heightOffset = 0;
    // The global hotkey's combination as the catalogue writes it; empty for none.
    std::string hotkey;
    // As read from the catalogue; the small image list uses
    // vlImgListSmall.imageWidth/imageHeight (see usableSmallIconSize).
    std::int16_t smallIconWidth = 0;
    std::int16_t smallIconHeight = 0;
    std::vector<MenuItem> menuItems;
    std::int16_t menuTopPixels = 0;
    Colour listBoxForeColor = 0;
    Colour listBoxErrColor = 0;
    // The context-menu command last made opaque; none after every build.
    std::optional<std::int16_t> menuHoverIndex;
    std::array<std::string, 4> iconSourceTexts;

    // --- Clicks, the context panel, the item editor -------------------------------------------
    // Button of the last press on a list (1 left, 2 right, 4 middle), 0 after every item click.
    std::int16_t lastMouseButton = 0;
    // Height of that press in twips of the list's container.
    std::int16_t lastMouseY = 0;
    // The list of the last item click; findSelectedItem looks there.
    std::optional<std::size_t> currentList;
    // The panels' pictures from the skin, top-left part at their own size;
    // empty until one was loaded.
    Bitmap pbMenuPicture;
    Bitmap containerEditItemPicture;

    // --- Keys ------------------------------------------------------------------------------------
    // The typed query; empty while none stands. The head bar shows it in place of the headline.
    std::string query;
    std::size_t queryMatches = 0;
    // The editor's control that has the keys (a field element, kEditorOK or kEditorAbort).
    std::int16_t editorFocus = 0;

    // --- Builds ----------------------------------------------------------------------------
    std::int32_t buildCount = 0; // builds run to their end or to a failure
    // Batches of item pictures taken into the image lists since the start; a view that saw
    // the same build and the same count shows every picture there is.
    std::int32_t pictureBatches = 0;
    bool lastBuildFailed = false;
    ErrorRecord lastBuildError; // number 0 after a complete build
};

// The picture size the small image list really gets for a SmallIconSize value:
// 0 or less (also a missing section) means the usual 16 pixels, and more than
// 256 is held to 256, so a typo cannot make every small picture a megapixel.
std::int32_t usableSmallIconSize(std::int32_t value) noexcept;

// The context panel's commands by their index in lblMenu.
inline constexpr std::int16_t kPanelCommandEdit = 0;
inline constexpr std::int16_t kPanelCommandRemove = 1;
inline constexpr std::int16_t kPanelCommandRefreshAll = 2;
inline constexpr std::int16_t kPanelCommandClose = 3;
inline constexpr std::int16_t kPanelCommandFileLocation = 4;
inline constexpr std::int16_t kPanelCommandRunAsAdministrator = 5;
// Per command, the byte of its caption that is its underlined letter: E, R, f, C, O and the a of
// "administrator", no two alike, so that one key press names one command.
inline constexpr std::array<std::size_t, 6> kPanelCommandLetters = {0, 0, 2, 0, 0, 7};

// The large pictures' size at 96 dpi; at another DPI they are picturePixelsAt this.
inline constexpr std::int32_t kLargeIconSize = 32;
inline constexpr std::int32_t kListDesignHeight = 7455;   // each list and its container
inline constexpr std::int32_t kWindowDesignHeight = 8295; // the window
inline constexpr std::int32_t kPanelDesignHeightPixels = 529;
// The scratch pictures' colour until the first skin is applied: RGB 255, 240, 240.
inline constexpr Colour kScratchDesignColour = 0x00F0F0FF;

class frmVelora {
  public:
    explicit frmVelora(Desktop& desktop);
    frmVelora(const frmVelora&) = delete;
    frmVelora& operator=(const frmVelora&) = delete;

    const frmVeloraState& state() const noexcept { return s_; }

    // --- Events -------------------------------------------------------------------------------
    // The window was loaded: sets the icon source texts, then builds.
    void Form_Load() noexcept;

    // A build: reads the catalogue and the skin again and replaces the lists,
    // the image lists, the item table, the placement and the colours. Never
    // throws: a failure ends the build where it happened, keeps what was done
    // so far and is recorded in state().lastBuildFailed / lastBuildError.
    // Returns false after a failure. A build requested while one is running
    // does not interleave with it; it runs once the running one has ended.
    bool Form_Construct() noexcept;

    // The DPI of the monitor the window is on, as the platform reports it. The next build
    // lays out, places and takes its pictures at it (held as usableDpi holds it); the caller
    // rebuilds when it changed. Until one is told, the screen's twips per pixel tell it.
    void setDpi(std::int32_t reported) noexcept;
    // The large pictures' side in pixels at the window's DPI.
    std::int32_t largePictureSize() const noexcept { return s_.vlImgList.imageWidth; }

    // Whether another program changed the catalogue or the skin since the last build (the
    // caller rebuilds when it says so), and when to look again unasked. Never throws.
    OutsideChanges::Verdict checkOutsideChanges() noexcept;
    // The rebuild for such a change, in place: as Form_Construct, but an entry that was
    // selected stays selected when its item (the same section, in the same list) is still
    // there, so the user does not lose their place because another program saved.
    bool rebuildForOutsideChange() noexcept;

    // --- Routines other parts of the window use -------------------------------------------
    // The taskbar's height in pixels (0 without a taskbar). Throws
    // RuntimeError(Overflow) beyond the signed 16-bit range.
    std::int16_t getTaskbarHeight();
    // Lists and containers to o + 7455 twips, the window to o + 8295, and for a
    // positive o pbVLM to o + 529 pixels. Throws RuntimeError(Overflow), with
    // nothing changed, when o + 7455 leaves the signed 16-bit range.
    void applyHeightOffset(const std::int32_t& o);

    // Adds the item's entry at the end of list `list` (0..3).
    void addListEntry(std::size_t list, MenuItem& item);

    // Finds the item's picture here and now, may add one image to each image
    // list, and sets IconIndex, IconSource and TargetMissing.
    void resolveItemIcon(MenuItem& item);
    // The files a build reads whose change another program can make: the catalogue first.
    static std::vector<std::string> watchedFiles();
    static std::string hotkeyOf(clsINIFile& ini);
    OutsideChanges::StampOf stampOf();
    // Something stands in the catalogue's place that the store does not read as a catalogue.
    bool catalogueRefused();
    // The first icon stored in the file, added to both lists; its number, or 0
    // when the file holds none.
    std::int16_t addIconFromExe(const std::string& path);
    // The shell's icon for the path, added to both lists; its number, or 0.
    std::int16_t addIconFromSystem(const std::string& path);
    // tmpPicBoxSmall := the nearest-neighbour copy of tmpPicBox.
    void shrinkIcon() noexcept;

    // How shrinkIcon makes the small copy. Only the build benchmark changes it,
    // to time the old point-by-point route through drawing surfaces against
    // kesk::shrinkIcon (the default) in the same run. The route must not throw.
    using ShrinkRoute = std::function<void(const Bitmap& large, Bitmap& small)>;
    void setShrinkRoute(ShrinkRoute route) { shrinkRoute_ = std::move(route); }

    // The scratch surfaces, readable for tests and the view's diagnostics.
    const Bitmap& tmpPicBoxSurface() const noexcept { return tmpPicBoxSurface_; }
    const Bitmap& tmpPicBoxSmallSurface() const noexcept { return tmpPicBoxSmallSurface_; }

    // --- Pictures read elsewhere -----------------------------------------------------------------
    // With a service, a build leaves its items' pictures (and the target checks that make
    // entries red) to it: the build's entries show placeholders until picturesArrived takes
    // their results. Without one (nullptr) every build reads them itself. The service must
    // outlive this presenter or be unset first.
    void setPictureService(PictureService* service) noexcept { pictures_ = service; }
    // Results of the service, in any order and batches. Those of an older build are
    // dropped; the others are taken in their items' order, each as soon as every earlier
    // item's is in, so that image numbers are exactly what a build that read them itself
    // gives. Entries that got their picture change in state().
    void picturesArrived(std::vector<PictureResult> results) noexcept;
    // No more results are wanted (the window goes): the service drops its jobs, entries
    // still waiting keep their placeholders.
    void cancelPictures() noexcept;
    // The build whose results are wanted.
    std::uint64_t pictureGeneration() const noexcept { return generation_; }
    // Whether some item of the last build still waits for its picture.
    bool picturesPending() const noexcept { return applied_ < arrived_.size(); }
    // Whether record `item`'s picture is still to come.
    bool picturePending(std::size_t item) const noexcept;

    // --- Clicks, the context panel, the item editor and drops ----------------------------------
    // Where items are started and the owner window passed along; without a
    // shell nothing is started (the window still hides after a left click).
    void setShell(ShellExecutor* shell, OwnerHandle owner) noexcept;
    // The user changed an entry's selection in the real list.
    void setEntrySelected(std::size_t Index, std::size_t entry, bool selected) noexcept;
    // A press on list Index; y in twips of the list's container.
    void lstViewA_MouseDown(std::size_t Index, std::int16_t Button, std::int16_t Shift, double x,
                            double y) noexcept;
    // Entry `entry` of list Index was clicked (and is selected).
    void lstViewA_ItemClick(std::size_t Index, std::size_t entry) noexcept;
    // Starts the entry's item through the shell and hides the window, whatever the start did.
    void launchItem(std::size_t Index, std::size_t entry);
    // The same for a record, with the shell's verb `operation` ("open", "runas").
    void startItem(const MenuItem& item, const char* operation);
    // Fills, places and shows pbMenu for the selected entry of list Index.
    void showItemMenu(std::size_t Index) noexcept;
    // A copy of the item of the last selected entry of currentList; the empty
    // item when there is none. Throws RuntimeError(SubscriptOutOfRange) for an
    // entry key that names no record.
    MenuItem findSelectedItem() const;
    void lblMenu_MouseMove(std::int16_t Index) noexcept;
    // Runs command Index (kPanelCommand...), then hides pbMenu. A greyed command does nothing
    // and leaves the panel open.
    void lblMenu_Click(std::int16_t Index) noexcept;
    // Shows the panel's item in its folder in the shell's file window (a shortcut: its
    // target) and hides the window. Nothing for an item without a file there: an address, an
    // empty, refused or missing Target.
    void openFileLocation();
    // Starts the panel's item as a left click does, asking the shell for elevated rights, and
    // hides the window whatever the start did (a refused elevation included).
    void runAsAdministrator();
    // Deletes the section (never the one with the empty name) and rebuilds.
    void removeItem(const std::string& section);
    void openItemEditor();
    // Field Index now holds `text` (typed by the user or set by the program).
    void txtEditItem_Change(std::int16_t Index, const std::string& text) noexcept;
    void cmdOK_Click() noexcept;
    void cmdAbort_Click() noexcept;
    // Paths dropped on list Index, in the drop's order.
    void lstViewA_OLEDragDrop(std::size_t Index, const std::vector<std::string>& files) noexcept;
    void addDroppedFiles(const std::vector<std::string>& files, std::size_t Index);
    void pbMenu_OLEDragOver() noexcept;
    // Who hears of a change to the catalogue that could not be saved, with the
    // folder it was to be saved in. Without one, such a failure goes unheard.
    using SaveFailedReport = std::function<void(const std::string& folder)>;
    void setSaveFailedReport(SaveFailedReport report) { saveFailed_ = std::move(report); }
    // Hears the hotkey combination after every build (the same text again when it is unchanged).
    using HotkeyReport = std::function<void(const std::string& combination)>;
    void setHotkeyReport(HotkeyReport report) { hotkeyReport_ = std::move(report); }
    // Whether the last start was taken by the shell, and its failure if not.
    bool lastLaunchStarted() const noexcept { return items_.lastLaunchStarted; }
    const ErrorRecord& lastLaunchError() const noexcept { return items_.lastLaunchError; }

    // --- Keys ------------------------------------------------------------------------------------
    // A key pressed while the menu has the keyboard; false when the menu has no use for it (the
    // view then lets the control have it). Never throws.
    bool Form_KeyDown(MenuKey key, bool shift) noexcept;
    // One typed character (UTF-8). Adds to the query, or picks a context command by its letter.
    bool Form_KeyPress(const std::string& character) noexcept;
    // The window lost activation to another window.
    void Form_Deactivate() noexcept;
    KeyFocus keyFocus() const noexcept;
    // The window shown now was opened from the keyboard.
    bool keyboardOpened() const noexcept { return keyboardOpened_ && s_.visible; }
    // The user put the editor's focus on a control (by the mouse); kept for Tab.
    void setEditorFocus(std::int16_t control) noexcept;
    // The list and entry that the keys move from; none when no entry is selected.
    std::optional<std::pair<std::size_t, std::size_t>> keyCursor() const noexcept;
    // Per context command, the byte in its caption that is its underlined letter (npos: none).
    std::vector<std::size_t> commandLetters() const;
    // How often record `item` was started; 0 for one beyond the table.
    std::uint32_t launchesOf(std::size_t item) const noexcept;
    // Where the count of a start is written. Without one it is written here and now; with one,
    // the write is handed over (to run away from the window's thread).
    using BackgroundWork = std::function<void(std::function<void()> job)>;
    void setBackgroundWork(BackgroundWork work) { backgroundWork_ = std::move(work); }
    // The text of the head bar while a query stands, for the window's accessible name too.
    std::string headBarText() const;

  private:
    void clearQuery() noexcept;
    void applyQuery();
    void selectEntry(std::size_t list, std::size_t entry) noexcept;
    bool moveInLists(MenuKey key);
    bool panelKey(MenuKey key);
    bool panelRowEnabled(std::int16_t row) const noexcept;
    // The first enabled row after `from` going by `step` (1 down, -1 up).
    std::optional<std::int16_t> nextEnabledPanelRow(int from, int step) const noexcept;
    void moveToPanelRow(std::optional<std::int16_t> row) noexcept;
    // A command chosen by keys; a greyed one does nothing.
    void runPanelCommand(std::int16_t row) noexcept;
    bool editorKey(MenuKey key, bool shift);
    void openPanelByKeys();
    void countLaunch(std::size_t record);
    void readLaunches(clsINIFile& ini, std::size_t record, const std::string& section);
    void ensureFinder();
    std::vector<std::uint32_t> launches_; // by record
    finder::Finder finder_;
    std::vector<std::size_t> finderRecords_; // finder item -> record
    std::int32_t finderBuild_ = -1;
    BackgroundWork backgroundWork_;
    // Lives as long as this window: an answer that comes after it went finds it expired.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    bool keyboardOpened_ = false;

    void construct();
    void reportFailedSave(const clsINIFile& ini) noexcept;
    void prepareImageLists();
    void applyPicture(MenuItem& item, const PictureResult& r);
    std::int16_t addScratchIcon(const Bitmap& icon);
    void takeArrivedPictures();
    void showEditorSource();
    void placeWindow(std::int16_t tb);
    // The window's top and left (twips) and its top (pixels) beside a taskbar on any edge but
    // the bottom, `heightTwips` high.
    void placeBeside(const StartButtonChoice& bar, double heightTwips);
    // Cuts a window that does not fit beside the taskbar it was placed by (see cutTwips).
    void fitToRoom();
    // The window's top on the screen as shown (menuTopPixels keeps where it was placed).
    double shownTopPixels();
    // The taskbar the window was last placed by; none: the bottom of the primary screen.
    std::optional<StartButtonChoice> placedBy_;
    // placeWindow with the taskbar's height, both from one look at the shell's windows.
    void placeOnTaskbar();
    // The shell's windows: as looked at once for a placement, or as they are now.
    ShellReport shellNow();
    std::optional<ShellReport> buildShell_;
    bool placedUnderPointer_ = false;
    void applySkin();
    // 1440 / the window's DPI, the same across and down.
    double twipsPerPixelX() const noexcept;
    double twipsPerPixelY() const noexcept;
    // The DPI a build works at: the one told, else the screen's.
    std::int32_t buildDpi();
    std::int32_t toldDpi_ = 0; // 0: none told
    // The edge of the taskbar the window was last placed by.
    ScreenEdge menuEdge_ = ScreenEdge::Bottom;

    // A picture of the program's own (the fallback icon, the skin background)
    // as last decoded, with the file's stamp then: a build whose file is
    // unchanged uses it instead of decoding the file again.
    struct KeptPicture {
        bool valid = false;
        std::string path;
        PictureRequest request;
        fileio::FileStamp stamp;
        Picture picture; // unused for the background, which lives in pbVLMPicture
        bool still(const std::string& file, const PictureRequest& wanted,
                   const std::optional<fileio::FileStamp>& now) const;
        void keep(const std::string& file, const PictureRequest& wanted,
                  const std::optional<fileio::FileStamp>& now);
    };
    // Loads `path`, or gives the kept picture while the file is unchanged.
    // Throws RuntimeError as a failed load does.
    const Picture& ownPicture(const std::string& path, const PictureRequest& request,
                              KeptPicture& kept);
    static constexpr std::int64_t kSettledTicks = 20'000'000; // 2 s in 100-ns ticks

    Desktop& desktop_;
    SaveFailedReport saveFailed_;
    HotkeyReport hotkeyReport_;
    frmVeloraState s_;
    struct ItemsState {
        ShellExecutor* shell = nullptr;
        OwnerHandle owner = 0;
        bool lastLaunchStarted = false;
        ErrorRecord lastLaunchError;
        std::string panelSection;           // the item the context panel was opened for
        std::optional<MenuItem> editorItem; // the item the editor shows, as it showed it
        // Record index of the editor's item while its picture source is still to come.
        std::optional<std::size_t> editorSourceAwaited;
    };
    void loadPanelPicture(const char* file, const ControlState& panel, Bitmap& picture);
    void setPanelCommandEnabled(std::int16_t Index, bool enabled);
    Colour panelCommandColour(bool enabled);
    // The skin's colour of the panel's commands.
    Colour menuForeColour_ = 0;
    void colourEditField(std::size_t k) noexcept;
    ItemsState items_;
    Bitmap tmpPicBoxSurface_;
    Bitmap tmpPicBoxSmallSurface_;
    // Kept between items and builds so that their memory is reused.
    Bitmap iconScratch_;
    KeptPicture fallback_;
    KeptPicture background_;
    ShrinkRoute shrinkRoute_;
    bool building_ = false;
    bool rebuildRequested_ = false;
    // The files as the last build found them.
    OutsideChanges outside_;

    // The colours this build's scratch surfaces were cleared to: pictures that arrive after
    // the build ended are drawn as they would have been during it.
    Colour scratchColour_ = kScratchDesignColour;
    PictureService* pictures_ = nullptr;
    std::uint64_t generation_ = 0;
    std::vector<PictureJob> jobs_; // this build's, until submitted
    // One job's picture on its way into the image lists. A rebuild takes an unchanged item's
    // picture at once from the images the last build made (provisional), so that nothing
    // waits or repaints; the service's answer then confirms it or replaces it.
    struct Arrival {
        PictureResult result; // the answer; for a provisional one its item, source and red
        bool provisional = false;
        bool confirmed = false; // the service's answer is in (and matched, if provisional)
        // Images to take as they are (found sources only): a provisional picture, or one
        // taken out of the lists again to be renumbered.
        bool fromImages = false;
        Bitmap large;
        Bitmap small;
        // A provisional picture still in the last build's lists (0-based), while they last.
        std::int32_t previousImage = -1;
        std::int32_t imagesBefore = 0; // the lists' count before it went in
    };
    // By job position; those before applied_ are in the image lists, and those before
    // settled_ are confirmed too and dropped.
    std::vector<std::optional<Arrival>> arrived_;
    std::size_t applied_ = 0;
    std::size_t settled_ = 0;
    // What the build before this one showed, for the provisional pictures.
    struct Previous {
        bool valid = false;
        Colour scratch = 0;
        // The last build's images: here once they had to leave s_'s lists, else only their
        // sizes, the images themselves still standing in s_'s lists (see inLists).
        ImageList large;
        ImageList small;
        std::int32_t images = 0; // how many the last build's lists held
        // While true, the lists of s_ still hold the last build's images and this build's
        // lists are their first `reused`: a build that takes the same pictures at the same
        // numbers copies nothing.
        bool inLists = false;
        std::size_t reused = 0;
        struct Known {
            std::int16_t source = IconNotFound;
            bool targetMissing = false;
            // 1-based, in the order of the items that showed them (every item has an image of
            // its own, also where several show the same picture); none for a picture not found.
            std::vector<std::int16_t> images;
            std::size_t taken = 0; // how many of them this build gave out
        };
        std::unordered_map<std::string, Known> known; // by knownKey
    };
    Previous previous_;
    static std::string knownKey(const std::string& icon, const std::string& target);
    void keepPrevious();
    std::optional<Arrival> provisionalArrival(std::size_t item);
    void letPreviousGo();
    // The image count of this build's lists so far.
    std::int32_t imagesSoFar() const noexcept;
    // Moves the last build's images out of s_'s lists, which keep what this build reused.
    void spillPrevious();
    void takeArrival(Arrival& a);
    bool matchesShown(const Arrival& shown, const PictureResult& r);
    void renumberFrom(std::size_t position);
    void settle() noexcept;
    // Leaves the images of `r` in tmpPicBoxSurface_/tmpPicBoxSmallSurface_ (or r.large) and
    // gives the large one; nullptr for none.
    const Bitmap* makeImages(const PictureResult& r);
    // Where each record's entry is: list and place; list -1 for a record without one.
    struct EntryPlace {
        int list = -1;
        std::size_t index = 0;
    };
    std::vector<EntryPlace> entryOf_;
    std::vector<bool> pendingItems_; // by record: the service's answer is still to come
    // The arrived result of a record whose picture is still to come; nullptr if none.
    const PictureResult* arrivedPicture(std::size_t item) const noexcept;

    // --- Resizing and auto-hide ----------------------------------------------------------------
  public:
    // One step of dragging the headline: only the left button alone (Button 1)
    // resizes. The window's top follows the pointer, its bottom stays on the
    // taskbar; the height offset never goes below kMinHeightOffset nor above
    // kMaxHeightOffset. A step that would fail changes nothing.
    void lblHeadline_MouseMove(std::int16_t Button, std::int16_t Shift, double X,
                               double Y) noexcept;
    // The auto-hide tick: hides the window and disarms the timer when the
    // pointer is above the window or more than 100 pixels right of it.
    void Timer_Mouse_Pos_Check_Timer() noexcept;
    // Every repaint arms the auto-hide.
    void Form_Paint() noexcept;
    // A click on the bare window asks for the window to be unloaded; whoever
    // owns the window carries that out (see unloadRequested) and calls Form_Unload.
    void Form_MouseUp(std::int16_t Button, std::int16_t Shift, double X, double Y) noexcept;
    // Stores the height offset in the catalogue. A write that fails is dropped.
    void Form_Unload() noexcept;
    // The window was hidden (by whatever means): a hidden window has nothing to
    // auto-hide, so the timer is disarmed at once instead of at its next tick.
    void windowHidden() noexcept;
    void Show() noexcept;
    void Hide() noexcept;
    // The window just shown was opened from the keyboard, wherever the pointer is: it hides
    // by the pointer only once the pointer has been inside its area.
    void shownFromKeyboard() noexcept;
    // Before a showing from the keys: the window goes to the monitor under the pointer, by a
    // taskbar there if it has one. On the start button's monitor it stays where it was placed.
    void placeUnderPointer() noexcept;
    // Before a showing from the start button: a window placed under the pointer comes back.
    void placeByStartButton() noexcept;

    bool mousePosCheckArmed() const noexcept { return mousePosCheckArmed_; }
    bool unloadRequested() const noexcept { return unloadRequested_; }

    static constexpr std::int32_t kMinHeightOffset = -5767;
    // The tallest the lists can be is the largest signed 16-bit height.
    static constexpr std::int32_t kMaxHeightOffset = 32767 - kListDesignHeight;
    static constexpr std::int32_t kMousePosCheckIntervalMs = 100;

  private:
    bool mousePosCheckArmed_ = false;
    bool unloadRequested_ = false;
    bool pointerMustEnterFirst_ = false;
};

} // namespace kesk
