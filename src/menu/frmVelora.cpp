#include "menu/frmVelora.h"

#include <cmath>
#include <utility>

#include "platform/fileio.h"
#include "settings/clsINIFile.h"
#include "settings/profilestore.h"
#include "support/conversions.h"

namespace kesk {

namespace {

ControlState control(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height) {
    ControlState c;
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    return c;
}

ControlState label(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                   std::string caption, double fontSize, bool bold) {
    ControlState c = control(left, top, width, height);
    c.caption = std::move(caption);
    c.fontSize = fontSize;
    c.bold = bold;
    return c;
}

constexpr std::array<std::int32_t, catalogue::kGroupCount> kColumnLeft = {120, 2220, 4320, 6420};
constexpr std::int32_t kColumnWidth = 1935;

std::int32_t pictureErrorNumber(PictureError e) noexcept {
    switch (e) {
    case PictureError::NotFound:
        return errnum::FileNotFound;
    case PictureError::Unreadable:
        return errnum::PathFileAccess;
    case PictureError::InvalidPicture:
    case PictureError::None:
        break;
    }
    return errnum::InvalidPicture;
}

void clearItem(MenuItem& item) noexcept {
    for (std::string* text : {&item.ID, &item.Section, &item.Name, &item.Target, &item.Param,
                              &item.Workdir, &item.Icon, &item.Group}) {
        text->clear();
    }
    item.IconIndex = 0;
    item.IconSource = 0;
    item.TargetMissing = 0;
}

// Builds are told apart across windows too: a window loaded after another was unloaded
// shares the picture service with it, and must never take that one's late results.
std::uint64_t nextPictureGeneration() noexcept {
    static std::uint64_t last = 0;
    return ++last;
}

} // namespace

std::int32_t usableSmallIconSize(std::int32_t value) noexcept {
    if (value <= 0) {
        return 16;
    }
    return value > 256 ? 256 : value;
}

frmVelora::frmVelora(Desktop& desktop) : desktop_(desktop) {
    s_.shpHead = control(0, 0, 8595, 375);
    s_.lblHeadline = label(60, 30, 6315, 375, "Velora Menu", 12.0, true);
    s_.lblHeadline.transparent = true;
    s_.lblHedlineURL = label(6240, 60, 2175, 195, "", 8.25, false);
    s_.lblHedlineURL.transparent = true;
    s_.lblHedlineURL.foreColour = 0x00FFFFFF;
    s_.pbVLM = control(0, 360, 8595, 7935);
    s_.pbVLM.backColour = 0x00400000;
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        s_.lblContHead[k] =
            label(kColumnLeft[k], 60, kColumnWidth, 255, catalogue::kGroupNames[k], 9.75, true);
        s_.lblContHead[k].transparent = true;
        s_.cont[k] = control(kColumnLeft[k], 360, kColumnWidth, kListDesignHeight);
        static_cast<ControlState&>(s_.lstViewA[k]) = control(0, 0, kColumnWidth, kListDesignHeight);
    }

    s_.pbMenu = control(5640, 840, 1995, 1635);
    s_.pbMenu.visible = false;
    s_.pbMenu.backColour = 0x00808080;
    s_.lblMenuHeadline = label(0, 0, 2775, 255, "", 9.75, true);
    s_.lblMenuHeadline.singleLine = true;
    const std::array<const char*, 4> menuCaptions = {"Edit", "Remove", "Refresh all", "Close menu"};
    for (std::size_t k = 0; k < s_.lblMenu.size(); ++k) {
        s_.lblMenu[k] = label(120, 360 + 300 * static_cast<std::int32_t>(k), 1635, 255,
                              menuCaptions[k], 9.75, true);
        s_.lblMenu[k].transparent = true;
    }

    s_.containerEditItem = control(1380, 2700, 6555, 4575);
    s_.containerEditItem.visible = false;
    s_.containerEditItem.backColour = 0x0000C0C0;
    s_.lblItemEditHeadline = label(0, 0, 6615, 315, "", 12.0, true);
    const std::array<const char*, 6> fieldCaptions = {"Beschriftung",
                                                      "Target",
                                                      "Start-Verzeichnis",
                                                      "\xC3\x9C"
                                                      "bergabeparameter",
                                                      "Pfad zum Icon",
                                                      "Icon source"};
    // Param (field 2) sits below Workdir (field 3): the arrays pair by meaning.
    const std::array<std::int32_t, 6> fieldTop = {660, 1260, 2460, 1860, 3060, 3660};
    for (std::size_t k = 0; k < 6; ++k) {
        s_.lblEditMenu[k] = label(180, 420 + 600 * static_cast<std::int32_t>(k), 2295, 255,
                                  fieldCaptions[k], 8.25, false);
        // Drawn over the editor's picture, like the panel's command labels.
        s_.lblEditMenu[k].transparent = true;
        s_.txtEditItem[k] = control(180, fieldTop[k], 6135, 285);
    }
    s_.cmdOK = label(4500, 4080, 855, 315, "OK", 8.25, false);
    s_.cmdAbort = label(5460, 4080, 855, 315, "Abort", 8.25, false);

    s_.tmpPicBox = control(3720, 60, 480, 480);
    s_.tmpPicBoxSmall = control(5160, 60, 240, 240);
    s_.tmpPBtp = control(4320, 60, 480, 480);
    for (ControlState* c : {&s_.tmpPicBox, &s_.tmpPicBoxSmall, &s_.tmpPBtp}) {
        c->visible = false;
        c->backColour = kScratchDesignColour;
    }

    s_.vlImgList.imageWidth = kLargeIconSize;
    s_.vlImgList.imageHeight = kLargeIconSize;
    s_.vlImgListSmall.imageWidth = 16;
    s_.vlImgListSmall.imageHeight = 16;
    tmpPicBoxSurface_ = clearedSurface(kLargeIconSize, kLargeIconSize, kScratchDesignColour);
    tmpPicBoxSmallSurface_ = clearedSurface(16, 16, kScratchDesignColour);
}

void frmVelora::Form_Load() noexcept {
    s_.iconSourceTexts = {"Icon from EXE", "Icon from Icon-File", "Asked system for icon",
                          "Error! No icon!"};
    Form_Construct();
}

bool frmVelora::Form_Construct() noexcept {
    if (building_) {
        rebuildRequested_ = true;
        return true;
    }
    building_ = true;
    bool ok = true;
    do {
        rebuildRequested_ = false;
        // Whatever is still to come for an earlier build is stale from here on.
        generation_ = nextPictureGeneration();
        jobs_.clear();
        arrived_.clear();
        applied_ = 0;
        entryOf_.assign(s_.menuItems.size(), EntryPlace{});
        pendingItems_.assign(s_.menuItems.size(), false);
        ErrorRecord failure;
        ok = guardEvent([this] { construct(); }, &failure);
        ++s_.buildCount;
        s_.lastBuildFailed = !ok;
        s_.lastBuildError = ok ? ErrorRecord{} : std::move(failure);
        if (pictures_ != nullptr) {
            // Also after a failure: the entries the build made get their pictures, and
            // without jobs the service at least drops an earlier build's.
            arrived_.resize(jobs_.size());
            guardEvent([this] { pictures_->submit(std::move(jobs_), generation_); });
            jobs_.clear();
        }
    } while (rebuildRequested_);
    building_ = false;
    return ok;
}

void frmVelora::construct() {
    // A build reads thousands of keys; holding the catalogue unchangeable for
    // its length lets those reads skip asking the file system each time.
    const ini::ReadHold hold(catalogue::cataloguePath());
    clsINIFile ini;
    ini.setFilename(catalogue::cataloguePath());
    s_.heightOffset = ini.getInteger(catalogue::kSectionWindow, catalogue::kKeyHeightOffset);

    for (ListViewState& list : s_.lstViewA) {
        list.imageListsAttached = false;
        list.entries.clear();
    }
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        ListViewState& list = s_.lstViewA[k];
        list.top = 0;
        list.height = s_.cont[k].height;
        list.fontSize = s_.lstViewA[0].fontSize;
    }

    std::vector<std::string> sections;
    ini.getSectionList(sections);
    s_.smallIconWidth = conv::checkedInteger(
        ini.getInteger(catalogue::kSectionSmallIconSize, catalogue::kKeyWidth));
    s_.smallIconHeight = conv::checkedInteger(
        ini.getInteger(catalogue::kSectionSmallIconSize, catalogue::kKeyHeight));

    prepareImageLists();

    // Every record starts empty; the strings keep their memory from the last
    // build, so that reading thousands of values allocates next to nothing.
    s_.menuItems.resize(sections.size());
    for (MenuItem& item : s_.menuItems) {
        clearItem(item);
    }
    entryOf_.assign(s_.menuItems.size(), EntryPlace{});
    pendingItems_.assign(s_.menuItems.size(), false);
    for (std::size_t j = 0; j < sections.size(); ++j) {
        MenuItem& item = s_.menuItems[j];
        const std::string& sect = sections[j];
        ini.readString(sect, catalogue::kKeyGroup, item.Group);
        if (!catalogue::isItemSection(item.Group)) {
            continue;
        }
        item.Section = sect;
        ini.readString(sect, catalogue::kKeyIcon, item.Icon);
        ini.readString(sect, catalogue::kKeyTarget, item.Target);
        ini.readString(sect, catalogue::kKeyParam, item.Param);
        ini.readString(sect, catalogue::kKeyName, item.Name);
        ini.readString(sect, catalogue::kKeyWorkdir, item.Workdir);
        item.ID = catalogue::entryKey(static_cast<std::int32_t>(j));
        if (pictures_ != nullptr) {
            // The picture and the target check may wait on slow files (a program on a
            // network path): the service reads them, the entry shows a placeholder meanwhile.
            jobs_.push_back(PictureJob{jobs_.size(), j, item.Icon, item.Target});
            pendingItems_[j] = true;
        } else {
            resolveItemIcon(item);
        }
    }

    for (ListViewState& list : s_.lstViewA) {
        list.imageListsAttached = true;
    }

    for (MenuItem& item : s_.menuItems) {
        const int k = catalogue::groupIndex(item.Group);
        if (k >= 0) {
            addListEntry(static_cast<std::size_t>(k), item);
        }
    }

    placeWindow(getTaskbarHeight());

    for (ListViewState& list : s_.lstViewA) {
        for (ListEntry& entry : list.entries) {
            entry.left = 3;
            entry.topOffset += 3;
            entry.selected = false;
        }
    }
    for (ListViewState& list : s_.lstViewA) {
        list.height += 10;
    }

    applySkin();
    applyHeightOffset(s_.heightOffset);
}

void frmVelora::prepareImageLists() {
    s_.vlImgList.clear();
    s_.vlImgListSmall.clear();

    scratchColour_ = s_.tmpPicBox.backColour;
    const std::int32_t w = usableSmallIconSize(s_.smallIconWidth);
    const std::int32_t h = usableSmallIconSize(s_.smallIconHeight);
    s_.vlImgListSmall.imageWidth = w;
    s_.vlImgListSmall.imageHeight = h;
    clearSurface(tmpPicBoxSmallSurface_, w, h, s_.tmpPicBoxSmall.backColour);

    const Picture& fallback = ownPicture(
        catalogue::ownFilePath(catalogue::kFallbackIconFile),
        PictureRequest{kLargeIconSize, kLargeIconSize, kLargeIconSize, kLargeIconSize}, fallback_);
    paintOnClearedSurface(tmpPicBoxSurface_, kLargeIconSize, kLargeIconSize,
                          s_.tmpPicBox.backColour, fallback.topLeft);
    shrinkIcon();
    addImagePair(s_.vlImgList, s_.vlImgListSmall, "NotFound", fallback.scaled,
                 tmpPicBoxSmallSurface_);
}

bool frmVelora::KeptPicture::still(const std::string& file, const PictureRequest& wanted,
                                   const std::optional<fileio::FileStamp>& now) const {
    return valid && now && stamp == *now && path == file && request == wanted;
}

void frmVelora::KeptPicture::keep(const std::string& file, const PictureRequest& wanted,
                                  const std::optional<fileio::FileStamp>& now) {
    // A file written moments ago may change again within its time stamp's
    // resolution without the stamp showing it: keep only a settled one. The
    // stamp was taken before the load, so a change during the load shows next time.
    valid = now && fileio::nowTicks() - now->modified >= kSettledTicks;
    if (valid) {
        path = file;
        request = wanted;
        stamp = *now;
    }
}

const Picture& frmVelora::ownPicture(const std::string& path, const PictureRequest& request,
                                     KeptPicture& kept) {
    const std::optional<fileio::FileStamp> stamp = desktop_.fileStamp(path);
    if (kept.still(path, request, stamp)) {
        return kept.picture;
    }
    kept.valid = false;
    const PictureError err = desktop_.loadPicture(path, request, kept.picture);
    if (err != PictureError::None) {
        raiseError(pictureErrorNumber(err), {}, "frmVelora");
    }
    kept.keep(path, request, stamp);
    return kept.picture;
}

void frmVelora::resolveItemIcon(MenuItem& item) {
    PictureResolver resolver(desktop_, nullptr);
    applyPicture(item, resolver.resolve(PictureJob{0, 0, item.Icon, item.Target}));
}

// The one place a found picture goes into the image lists, whether it was read during the
// build or arrived later: both routes give the same numbers and pixels.
void frmVelora::applyPicture(MenuItem& item, const PictureResult& r) {
    item.TargetMissing = r.targetMissing ? 1 : 0;
    switch (r.source) {
    case IconFromIconFile:
        paintOnClearedSurface(tmpPicBoxSurface_, kLargeIconSize, kLargeIconSize, scratchColour_,
                              r.topLeft);
        shrinkIcon();
        item.IconIndex = addImagePair(s_.vlImgList, s_.vlImgListSmall, item.Section, r.large,
                                      tmpPicBoxSmallSurface_);
        item.IconSource = IconFromIconFile;
        return;
    case IconFromExe:
    case IconFromSystem:
        item.IconIndex = addScratchIcon(r.large);
        item.IconSource = r.source;
        return;
    default:
        item.IconIndex = 1;
        item.IconSource = IconNotFound;
        return;
    }
}

std::int16_t frmVelora::addIconFromExe(const std::string& path) {
    PictureResolver resolver(desktop_, nullptr);
    if (!resolver.iconFromExe(path, iconScratch_)) {
        return 0;
    }
    return addScratchIcon(iconScratch_);
}

std::int16_t frmVelora::addIconFromSystem(const std::string& path) {
    PictureResolver resolver(desktop_, nullptr);
    if (!resolver.iconFromSystem(path, iconScratch_)) {
        return 0;
    }
    return addScratchIcon(iconScratch_);
}

std::int16_t frmVelora::addScratchIcon(const Bitmap& icon) {
    paintOnClearedSurface(tmpPicBoxSurface_, kLargeIconSize, kLargeIconSize, scratchColour_, icon);
    const std::int16_t n = conv::checkedInteger(std::int64_t{s_.vlImgList.count()} + 1);
    shrinkIcon();
    return addImagePair(s_.vlImgList, s_.vlImgListSmall, iconImageKey(n), tmpPicBoxSurface_,
                        tmpPicBoxSmallSurface_);
}

void frmVelora::shrinkIcon() noexcept {
    if (shrinkRoute_) {
        shrinkRoute_(tmpPicBoxSurface_, tmpPicBoxSmallSurface_);
        return;
    }
    kesk::shrinkIcon(tmpPicBoxSurface_, tmpPicBoxSmallSurface_);
}

void frmVelora::addListEntry(std::size_t list, MenuItem& item) {
    ListEntry entry;
    entry.key = item.ID;
    entry.text = item.Name;
    entry.largePicture = item.IconIndex;
    entry.smallPicture = item.IconIndex;
    // The build checked the target moments before; asking the file system
    // again for every item would double the build's file checks.
    entry.red = item.TargetMissing != 0;
    std::vector<ListEntry>& entries = s_.lstViewA.at(list).entries;
    const std::size_t record = static_cast<std::size_t>(&item - s_.menuItems.data());
    if (record < entryOf_.size()) {
        entryOf_[record] = EntryPlace{static_cast<int>(list), entries.size()};
    }
    entries.push_back(std::move(entry));
}

bool frmVelora::picturePending(std::size_t item) const noexcept {
    return item < pendingItems_.size() && pendingItems_[item];
}

const PictureResult* frmVelora::arrivedPicture(std::size_t item) const noexcept {
    for (std::size_t p = applied_; p < arrived_.size(); ++p) {
        if (arrived_[p] && arrived_[p]->item == item) {
            return &*arrived_[p];
        }
    }
    return nullptr;
}

void frmVelora::cancelPictures() noexcept {
    generation_ = nextPictureGeneration();
    arrived_.clear();
    applied_ = 0;
    pendingItems_.assign(pendingItems_.size(), false);
    if (pictures_ != nullptr) {
        guardEvent([this] { pictures_->submit({}, generation_); });
    }
}

void frmVelora::picturesArrived(std::vector<PictureResult> results) noexcept {
    guardEvent([&] {
        for (PictureResult& r : results) {
            if (r.generation != generation_ || r.position < applied_ ||
                r.position >= arrived_.size() || r.item >= s_.menuItems.size()) {
                continue;
            }
            arrived_[r.position] = std::move(r);
        }
        takeArrivedPictures();
        showEditorSource();
    });
}

void frmVelora::takeArrivedPictures() {
    const std::size_t before = applied_;
    ErrorRecord failure;
    const bool ok = guardEvent(
        [&] {
            while (applied_ < arrived_.size() && arrived_[applied_]) {
                const PictureResult& r = *arrived_[applied_];
                MenuItem& item = s_.menuItems[r.item];
                applyPicture(item, r);
                if (r.item < pendingItems_.size()) {
                    pendingItems_[r.item] = false;
                }
                if (r.item < entryOf_.size() && entryOf_[r.item].list >= 0) {
                    const EntryPlace at = entryOf_[r.item];
                    ListEntry& entry =
                        s_.lstViewA[static_cast<std::size_t>(at.list)].entries.at(at.index);
                    entry.largePicture = item.IconIndex;
                    entry.smallPicture = item.IconIndex;
                    entry.red = item.TargetMissing != 0;
                }
                arrived_[applied_].reset();
                ++applied_;
            }
        },
        &failure);
    if (!ok) {
        // As a build that failed in its picture steps: what was taken stays, the rest keep
        // their placeholders.
        s_.lastBuildFailed = true;
        s_.lastBuildError = std::move(failure);
        arrived_.clear();
        applied_ = 0;
        pendingItems_.assign(pendingItems_.size(), false);
    }
    if (applied_ != before || !ok) {
        ++s_.pictureBatches;
    }
}

std::int16_t frmVelora::getTaskbarHeight() {
    // The taskbar a user sees, where there is one: the first one the platform finds may be a
    // hidden one of its own.
    const std::optional<StartButtonChoice> bar = chooseStartButton(desktop_.shellReport());
    const Rect r = bar ? bar->taskbarRect : desktop_.taskbarRect();
    // Across its edge: what is a height on a bottom bar is the width of a left one.
    const bool upright = bar && (bar->edge == ScreenEdge::Left || bar->edge == ScreenEdge::Right);
    const std::int64_t thickness =
        upright ? std::int64_t{r.right} - r.left : std::int64_t{r.bottom} - r.top;
    return conv::checkedInteger(thickness);
}

double frmVelora::twipsPerPixelX() {
    const double t = desktop_.screen().twipsPerPixelX;
    return (std::isfinite(t) && t > 0.0) ? t : 15.0;
}

double frmVelora::twipsPerPixelY() {
    const double t = desktop_.screen().twipsPerPixelY;
    // A platform that reports nonsense must not turn placement into a division by zero.
    return (std::isfinite(t) && t > 0.0) ? t : 15.0;
}

void frmVelora::placeWindow(std::int16_t tb) {
    const ScreenMetrics m = desktop_.screen();
    const double tppx = twipsPerPixelX();
    const double tppy = twipsPerPixelY();
    const std::optional<StartButtonChoice> bar = chooseStartButton(desktop_.shellReport());
    menuEdge_ = bar ? bar->edge : ScreenEdge::Bottom;
    if (bar && bar->edge != ScreenEdge::Bottom) {
        placeBeside(*bar, s_.height);
        s_.topmost = true;
        return;
    }
    const double screenHeight = static_cast<double>(m.heightPixels) * tppy;
    const double top = screenHeight - s_.height - tb * tppy;
    const std::int16_t topPixels = conv::toInteger((screenHeight - s_.height) / tppy - tb);
    std::int32_t left = 0;
    if (bar) {
        // Standing on the bar as always; across it, by the start button.
        MenuRequest q;
        q.width = static_cast<std::int32_t>(std::ceil(s_.width / tppx));
        q.height = 0;
        q.startButton = bar->buttonRect;
        q.taskbar = bar->taskbarRect;
        q.edge = ScreenEdge::Bottom;
        q.monitor = bar->monitor;
        left = conv::toLong(placeMenu(q).rect.left * tppx);
    }
    s_.left = left;
    s_.top = conv::toLong(top);
    s_.menuTopPixels = topPixels;
    s_.topmost = true;
}

void frmVelora::placeBeside(const StartButtonChoice& bar, double heightTwips) {
    const double tppx = twipsPerPixelX();
    const double tppy = twipsPerPixelY();
    MenuRequest q;
    q.width = static_cast<std::int32_t>(std::ceil(s_.width / tppx));
    q.height = static_cast<std::int32_t>(std::ceil(heightTwips / tppy));
    q.startButton = bar.buttonRect;
    q.taskbar = bar.taskbarRect;
    q.edge = bar.edge;
    q.monitor = bar.monitor;
    const MenuPlacement p = placeMenu(q);
    s_.left = conv::toLong(p.rect.left * tppx);
    s_.top = conv::toLong(p.rect.top * tppy);
    s_.menuTopPixels = conv::toInteger(p.rect.top);
}

void frmVelora::applySkin() {
    const ScreenMetrics m = desktop_.screen();
    const double tppx =
        (std::isfinite(m.twipsPerPixelX) && m.twipsPerPixelX > 0.0) ? m.twipsPerPixelX : 15.0;
    // The bitmap is never scaled: only what can show inside pbVLM is kept,
    // and the window can be dragged as tall as the screen.
    PictureRequest request;
    request.cropWidth = static_cast<std::int32_t>(std::ceil(s_.pbVLM.width / tppx));
    request.cropHeight = std::max(m.heightPixels, s_.pbVLMHeightPixels);
    request.cropHeight = std::min(std::max(request.cropHeight, kPanelDesignHeightPixels), 8192);
    // Decoding the background again costs more than the rest of a small
    // build; an unchanged file keeps the picture already shown.
    const std::string path = catalogue::ownFilePath(catalogue::kSkinBackgroundFile);
    // Only this build step sets pbVLMPicture, so what it shows is what was kept.
    const std::optional<fileio::FileStamp> stamp = desktop_.fileStamp(path);
    if (!background_.still(path, request, stamp)) {
        background_.valid = false;
        Picture background;
        const PictureError err = desktop_.loadPicture(path, request, background);
        if (err != PictureError::None) {
            raiseError(pictureErrorNumber(err), {}, "frmVelora");
        }
        s_.pbVLMPicture = std::move(background.topLeft);
        background_.keep(path, request, stamp);
    }

    clsINIFile skin;
    skin.setFilename(catalogue::skinPath());
    using catalogue::SkinColour;
    const catalogue::SkinColours c = catalogue::readSkinColours(skin);
    // Resolved here, once: the lists, the panels and the pictures drawn over the list colour
    // then all show the same colour, system colours included.
    const auto colour = [&](SkinColour key) {
        return shownColour(desktop_, catalogue::colourOf(c, key));
    };

    s_.shpHead.backColour = colour(SkinColour::HEAD_BAR_BG);
    s_.lblMenuHeadline.backColour = s_.shpHead.backColour;
    s_.lblItemEditHeadline.backColour = s_.shpHead.backColour;

    s_.lblHeadline.foreColour = colour(SkinColour::HEAD_BAR_FG);
    s_.lblMenuHeadline.foreColour = s_.lblHeadline.foreColour;
    s_.lblItemEditHeadline.foreColour = s_.lblHeadline.foreColour;
    for (ControlState& heading : s_.lblContHead) {
        heading.foreColour = s_.lblHeadline.foreColour;
    }
    // Does not show while the label is transparent; kept so that the label
    // behaves as designed if it is ever made opaque.
    s_.lblHedlineURL.backColour = s_.lblHeadline.foreColour;

    for (ControlState& entry : s_.lblMenu) {
        entry.foreColour = colour(SkinColour::MENU_FG);
    }
    for (ControlState& entry : s_.lblMenu) {
        entry.backColour = colour(SkinColour::MENU_BG);
        entry.transparent = true;
    }
    s_.menuHoverIndex.reset();

    s_.listBoxErrColor = colour(SkinColour::LIST_BOX_ERR);

    const Colour listBack = colour(SkinColour::LIST_BOX_BG);
    for (ListViewState& list : s_.lstViewA) {
        list.backColour = listBack;
    }
    for (ControlState& field : s_.txtEditItem) {
        field.backColour = listBack;
    }
    s_.tmpPicBoxSmall.backColour = listBack;
    s_.tmpPBtp.backColour = listBack;
    s_.tmpPicBox.backColour = listBack;

    s_.listBoxForeColor = colour(SkinColour::LIST_BOX_FG);
    for (ListViewState& list : s_.lstViewA) {
        list.foreColour = s_.listBoxForeColor;
    }
    for (ControlState& field : s_.txtEditItem) {
        field.foreColour = s_.listBoxForeColor;
    }

    s_.cmdOK.backColour = colour(SkinColour::BUTTON_BG);
    s_.cmdAbort.backColour = s_.cmdOK.backColour;

    for (ControlState& fieldLabel : s_.lblEditMenu) {
        fieldLabel.foreColour = colour(SkinColour::EDIT_MENU_FG);
    }
}

void frmVelora::applyHeightOffset(const std::int32_t& o) {
    const std::int16_t h = conv::checkedInteger(std::int64_t{o} + kListDesignHeight);
    const std::int32_t windowHeight = conv::checkedLong(std::int64_t{o} + kWindowDesignHeight);
    std::int32_t panelPixels = s_.pbVLMHeightPixels;
    std::int32_t panelTwips = s_.pbVLM.height;
    if (o > 0) {
        panelPixels = conv::checkedLong(std::int64_t{o} + kPanelDesignHeightPixels);
        panelTwips = conv::toLong(panelPixels * twipsPerPixelY());
    }
    for (std::size_t k = 0; k < catalogue::kGroupCount; ++k) {
        s_.lstViewA[k].height = h;
        s_.cont[k].height = h;
    }
    s_.height = windowHeight;
    s_.pbVLMHeightPixels = panelPixels;
    s_.pbVLM.height = panelTwips;
}

} // namespace kesk
