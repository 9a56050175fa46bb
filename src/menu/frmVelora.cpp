#include "menu/frmVelora.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

#include "platform/fileio.h"
#include "platform/own_writes.h"
#include "settings/clsINIFile.h"
#include "settings/profilestore.h"
#include "support/conversions.h"
#include "tray/hotkey.h"

namespace kesk {

namespace {

// The key of image 1, the picture of an item whose own was not found.
constexpr char kNotFoundKey[] = "NotFound";

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

// The context panel: its command rows and its width.
constexpr std::size_t kPanelRows = 6;
constexpr std::int32_t kPanelWidth = 2730;

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

    // Rows of 300 twips below the headline; the panel is wide enough for the longest caption
    // on one line.
    s_.pbMenu =
        control(5640, 840, kPanelWidth, 360 + 300 * static_cast<std::int32_t>(kPanelRows) + 75);
    s_.pbMenu.visible = false;
    s_.pbMenu.backColour = 0x00808080;
    s_.lblMenuHeadline = label(0, 0, 2775, 255, "", 9.75, true);
    s_.lblMenuHeadline.singleLine = true;
    static_assert(kPanelRows == std::tuple_size_v<decltype(s_.lblMenu)>);
    const std::array<const char*, kPanelRows> menuCaptions = {"Edit",
                                                              "Remove",
                                                              "Refresh all",
                                                              "Close menu",
                                                              "Open file location",
                                                              "Run as administrator"};
    for (std::size_t k = 0; k < s_.lblMenu.size(); ++k) {
        s_.lblMenu[k] = label(120, 360 + 300 * static_cast<std::int32_t>(k), kPanelWidth - 240, 255,
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
        // Taken before the files are read: a change during the build is seen afterwards.
        guardEvent([this] { outside_.record(watchedFiles(), stampOf()); });
        if (pictures_ != nullptr) {
            guardEvent([this] { keepPrevious(); });
        }
        // Whatever is still to come for an earlier build is stale from here on.
        generation_ = nextPictureGeneration();
        jobs_.clear();
        arrived_.clear();
        applied_ = 0;
        settled_ = 0;
        entryOf_.assign(s_.menuItems.size(), EntryPlace{});
        pendingItems_.assign(s_.menuItems.size(), false);
        ErrorRecord failure;
        ok = guardEvent([this] { construct(); }, &failure);
        if (!ok && previous_.valid && imagesSoFar() == 0) {
            // The build failed before it made its image lists: entries it did not reach
            // still show the pictures they had.
            if (!previous_.inLists) {
                s_.vlImgList = std::move(previous_.large);
                s_.vlImgListSmall = std::move(previous_.small);
            }
            previous_.valid = false;
        }
        ++s_.buildCount;
        s_.lastBuildFailed = !ok;
        s_.lastBuildError = ok ? ErrorRecord{} : std::move(failure);
        if (pictures_ != nullptr) {
            // Also after a failure: the entries the build made get their pictures, and
            // without jobs the service at least drops an earlier build's.
            arrived_.resize(jobs_.size());
            guardEvent([this] { pictures_->submit(std::move(jobs_), generation_); });
            jobs_.clear();
            // Unchanged items show their pictures at once; the answers only confirm them.
            takeArrivedPictures();
        }
        guardEvent([this] { letPreviousGo(); });
        previous_ = Previous{};
    } while (rebuildRequested_);
    building_ = false;
    if (hotkeyReport_) {
        guardEvent([this] { hotkeyReport_(s_.hotkey); });
    }
    return ok;
}

// A missing key means the default combination; a key with an empty value means none.
std::string frmVelora::hotkeyOf(clsINIFile& ini) {
    std::string hotkey;
    return ini.readString(catalogue::kSectionWindow, catalogue::kKeyHotkey, hotkey)
               ? hotkey
               : std::string(kDefaultHotkey);
}

std::vector<std::string> frmVelora::watchedFiles() {
    return {catalogue::cataloguePath(), catalogue::skinPath(),
            catalogue::ownFilePath(catalogue::kSkinBackgroundFile)};
}

OutsideChanges::StampOf frmVelora::stampOf() {
    return [this](const std::string& path) { return desktop_.fileStamp(path); };
}

OutsideChanges::Verdict frmVelora::checkOutsideChanges() noexcept {
    OutsideChanges::Verdict verdict;
    guardEvent([&] {
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        verdict = outside_.check(std::chrono::duration_cast<std::chrono::milliseconds>(now).count(),
                                 stampOf(), fileio::isOwnWrite);
        // A catalogue the store will not read (a folder in its place, a file beyond the
        // store's limit) would build an empty menu: the last one stays until a readable
        // file is back, which the watch reports as a change of its own.
        if ((verdict.rebuild || verdict.recheckMs > 0) && catalogueRefused()) {
            verdict = OutsideChanges::Verdict{};
        }
    });
    return verdict;
}

bool frmVelora::catalogueRefused() {
    const std::string path = catalogue::cataloguePath();
    if (const std::optional<fileio::FileStamp> stamp = desktop_.fileStamp(path)) {
        return stamp->size > ini::kMaxFileBytes;
    }
    return desktop_.pathExists(path);
}

void frmVelora::setDpi(std::int32_t reported) noexcept {
    toldDpi_ = usableDpi(reported);
}

std::int32_t frmVelora::buildDpi() {
    return toldDpi_ != 0 ? toldDpi_
                         : usableDpi(dpiOfTwipsPerPixel(desktop_.screen().twipsPerPixelY));
}

void frmVelora::construct() {
    // Everything below, placement and pictures alike, works at the one DPI.
    s_.dpi = buildDpi();
    // A build reads thousands of keys from one version of the catalogue, checked
    // once; nothing is held open, so no other program's save is refused.
    const ini::ReadSnapshot snapshot(catalogue::cataloguePath());
    clsINIFile ini;
    ini.setFilename(catalogue::cataloguePath());
    s_.heightOffset = ini.getInteger(catalogue::kSectionWindow, catalogue::kKeyHeightOffset);
    s_.hotkey = hotkeyOf(ini);

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
    if (pictures_ != nullptr) {
        jobs_.reserve(sections.size());
        arrived_.reserve(sections.size());
    }
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
        readLaunches(ini, j, sect);
        item.ID = catalogue::entryKey(static_cast<std::int32_t>(j));
        if (pictures_ != nullptr) {
            // The picture and the target check may wait on slow files (a program on a
            // network path): the service reads them, the entry shows a placeholder meanwhile.
            jobs_.push_back(
                PictureJob{jobs_.size(), j, item.Icon, item.Target, largePictureSize()});
            pendingItems_[j] = true;
            arrived_.push_back(provisionalArrival(j));
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

    placeOnTaskbar();

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
    fitToRoom();
}

void frmVelora::prepareImageLists() {
    scratchColour_ = s_.tmpPicBox.backColour;
    // Both sizes are designed for 96 dpi and follow the window's DPI, so that the pictures
    // keep their size beside the text.
    const std::int32_t large = picturePixelsAt(kLargeIconSize, s_.dpi);
    const std::int32_t w = picturePixelsAt(usableSmallIconSize(s_.smallIconWidth), s_.dpi);
    const std::int32_t h = picturePixelsAt(usableSmallIconSize(s_.smallIconHeight), s_.dpi);
    clearSurface(tmpPicBoxSmallSurface_, w, h, s_.tmpPicBoxSmall.backColour);

    // The fallback icon file carries several sizes; the decoder takes the one that fits.
    const Picture& fallback = ownPicture(catalogue::ownFilePath(catalogue::kFallbackIconFile),
                                         PictureRequest{large, large, large, large}, fallback_);
    paintOnClearedSurface(tmpPicBoxSurface_, large, large, s_.tmpPicBox.backColour,
                          fallback.topLeft);
    shrinkIcon();

    ImageList& big = s_.vlImgList;
    ImageList& little = s_.vlImgListSmall;
    if (previous_.valid && previous_.inLists && big.imageWidth == large &&
        big.imageHeight == large && little.imageWidth == w && little.imageHeight == h &&
        previous_.images >= 1 && big.keys.front() == kNotFoundKey &&
        big.holds(0, fallback.scaled) && little.holds(0, tmpPicBoxSmallSurface_)) {
        previous_.reused = 1;
        return;
    }
    spillPrevious();
    big.clear();
    little.clear();
    big.imageWidth = large;
    big.imageHeight = large;
    little.imageWidth = w;
    little.imageHeight = h;
    addImagePair(big, little, kNotFoundKey, fallback.scaled, tmpPicBoxSmallSurface_);
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
    applyPicture(item,
                 resolver.resolve(PictureJob{0, 0, item.Icon, item.Target, largePictureSize()}));
}

const Bitmap* frmVelora::makeImages(const PictureResult& r) {
    switch (r.source) {
    case IconFromIconFile:
        paintOnClearedSurface(tmpPicBoxSurface_, largePictureSize(), largePictureSize(),
                              scratchColour_, r.topLeft);
        shrinkIcon();
        return &r.large;
    case IconFromExe:
    case IconFromSystem:
        paintOnClearedSurface(tmpPicBoxSurface_, largePictureSize(), largePictureSize(),
                              scratchColour_, r.large);
        shrinkIcon();
        return &tmpPicBoxSurface_;
    default:
        return nullptr;
    }
}

// The one place a found picture goes into the image lists, whether it was read during the
// build or arrived later: both routes give the same numbers and pixels.
void frmVelora::applyPicture(MenuItem& item, const PictureResult& r) {
    item.TargetMissing = r.targetMissing ? 1 : 0;
    const Bitmap* large = makeImages(r);
    if (large == nullptr) {
        item.IconIndex = 1;
        item.IconSource = IconNotFound;
        return;
    }
    // Icons are known by their number, pictures from files by their item's section.
    const std::string key =
        r.source == IconFromIconFile ? item.Section : iconImageKey(s_.vlImgList.count() + 1);
    item.IconIndex =
        addImagePair(s_.vlImgList, s_.vlImgListSmall, key, *large, tmpPicBoxSmallSurface_);
    item.IconSource = r.source;
}

std::string frmVelora::knownKey(const std::string& icon, const std::string& target) {
    std::string key = icon;
    key += '\n'; // cannot occur in a catalogue value
    key += target;
    return key;
}

void frmVelora::keepPrevious() {
    previous_ = Previous{};
    previous_.scratch = scratchColour_;
    // The images stay where they are until the build knows whether it takes them again.
    for (auto [to, from] : {std::pair{&previous_.large, &s_.vlImgList},
                            std::pair{&previous_.small, &s_.vlImgListSmall}}) {
        to->imageWidth = from->imageWidth;
        to->imageHeight = from->imageHeight;
    }
    previous_.images = std::min(s_.vlImgList.count(), s_.vlImgListSmall.count());
    previous_.inLists = true;
    previous_.reused = 0;
    for (const MenuItem& item : s_.menuItems) {
        // Only pictures that went into the lists; an item still waiting has none to give.
        if (item.Section.empty() || item.IconIndex <= 0) {
            continue;
        }
        Previous::Known& k = previous_.known[knownKey(item.Icon, item.Target)];
        if (k.images.empty()) {
            k.source = item.IconSource;
            k.targetMissing = item.TargetMissing != 0;
        }
        if (k.source != IconNotFound) {
            k.images.push_back(item.IconIndex);
        }
    }
    previous_.valid = true;
}

std::optional<frmVelora::Arrival> frmVelora::provisionalArrival(std::size_t item) {
    Previous& p = previous_;
    // Pictures are drawn over the scratch colour and shrunk to the small size: another skin
    // or size makes other images.
    if (!p.valid || p.scratch != scratchColour_ || p.large.imageWidth != s_.vlImgList.imageWidth ||
        p.large.imageHeight != s_.vlImgList.imageHeight ||
        p.small.imageWidth != s_.vlImgListSmall.imageWidth ||
        p.small.imageHeight != s_.vlImgListSmall.imageHeight || item >= s_.menuItems.size()) {
        return std::nullopt;
    }
    const MenuItem& m = s_.menuItems[item];
    const auto it = p.known.find(knownKey(m.Icon, m.Target));
    if (it == p.known.end()) {
        return std::nullopt;
    }
    Previous::Known& k = it->second;
    Arrival a;
    a.provisional = true;
    a.result.generation = generation_;
    a.result.item = item;
    a.result.position = jobs_.empty() ? 0 : jobs_.size() - 1;
    a.result.source = k.source;
    a.result.targetMissing = k.targetMissing;
    if (k.source != IconNotFound) {
        // The images of one picture are alike: the item that showed the same one at the same
        // place takes its own again, so that an unchanged catalogue keeps every number.
        const std::int16_t image =
            k.images.empty() ? 0 : k.images[std::min(k.taken, k.images.size() - 1)];
        if (image < 1 || image > p.images) {
            return std::nullopt;
        }
        ++k.taken;
        // Copied straight from list to list when taken during this build.
        a.previousImage = image - 1;
    }
    return a;
}

// Provisional pictures that could not be taken during the build (an earlier item waits)
// keep copies of their images; the last build's lists go.
void frmVelora::letPreviousGo() {
    const bool inLists = previous_.valid && previous_.inLists;
    const ImageList& large = inLists ? s_.vlImgList : previous_.large;
    const ImageList& small = inLists ? s_.vlImgListSmall : previous_.small;
    for (std::size_t p = applied_; p < arrived_.size(); ++p) {
        if (!arrived_[p] || arrived_[p]->previousImage < 0) {
            continue;
        }
        Arrival& a = *arrived_[p];
        const auto at = static_cast<std::size_t>(a.previousImage);
        a.large = large.image(at);
        a.small = small.image(at);
        a.fromImages = true;
        a.previousImage = -1;
    }
    if (inLists) {
        // What this build did not take again goes.
        s_.vlImgList.truncate(previous_.reused);
        s_.vlImgListSmall.truncate(previous_.reused);
    }
    previous_ = Previous{};
}

std::int32_t frmVelora::imagesSoFar() const noexcept {
    return previous_.valid && previous_.inLists ? static_cast<std::int32_t>(previous_.reused)
                                                : s_.vlImgList.count();
}

void frmVelora::spillPrevious() {
    if (!previous_.valid || !previous_.inLists) {
        return;
    }
    previous_.inLists = false;
    const std::size_t reused = previous_.reused;
    previous_.large = std::move(s_.vlImgList);
    previous_.small = std::move(s_.vlImgListSmall);
    s_.vlImgList = ImageList{};
    s_.vlImgListSmall = ImageList{};
    for (auto [to, from] : {std::pair{&s_.vlImgList, &previous_.large},
                            std::pair{&s_.vlImgListSmall, &previous_.small}}) {
        to->imageWidth = from->imageWidth;
        to->imageHeight = from->imageHeight;
        // Mostly the same pictures again: room for them at once, rather than growing (and
        // copying) step by step.
        to->keys.reserve(from->keys.size() + 1);
        to->strip.reserve(from->strip.size() + to->pixelsPerImage());
        to->digests.reserve(from->digests.size() + 1);
    }
    for (std::size_t i = 0; i < reused; ++i) {
        addImagePairFrom(s_.vlImgList, s_.vlImgListSmall, previous_.large.keys.at(i),
                         previous_.large, previous_.small, i);
    }
}

void frmVelora::takeArrival(Arrival& a) {
    MenuItem& item = s_.menuItems.at(a.result.item);
    a.imagesBefore = imagesSoFar();
    const bool sameNumber = previous_.valid && previous_.inLists &&
                            a.previousImage == static_cast<std::int32_t>(previous_.reused);
    if (!sameNumber) {
        spillPrevious();
    }
    if (a.previousImage >= 0 && previous_.valid) {
        const std::string key =
            a.result.source == IconFromIconFile ? item.Section : iconImageKey(a.imagesBefore + 1);
        if (sameNumber) {
            // The picture keeps its number: it stays where it is.
            const std::size_t at = previous_.reused++;
            s_.vlImgList.keys.at(at) = key;
            s_.vlImgListSmall.keys.at(at) = key;
            item.IconIndex = static_cast<std::int16_t>(at + 1);
        } else {
            item.IconIndex =
                addImagePairFrom(s_.vlImgList, s_.vlImgListSmall, key, previous_.large,
                                 previous_.small, static_cast<std::size_t>(a.previousImage));
        }
        item.IconSource = a.result.source;
        item.TargetMissing = a.result.targetMissing ? 1 : 0;
    } else if (a.fromImages) {
        const std::string key = a.result.source == IconFromIconFile
                                    ? item.Section
                                    : iconImageKey(s_.vlImgList.count() + 1);
        item.IconIndex = addImagePair(s_.vlImgList, s_.vlImgListSmall, key, a.large, a.small);
        item.IconSource = a.result.source;
        item.TargetMissing = a.result.targetMissing ? 1 : 0;
    } else {
        applyPicture(item, a.result);
    }
    // The lists hold the pixels now; an arrival keeps only what tells it apart.
    a.previousImage = -1;
    a.fromImages = false;
    a.large = Bitmap{};
    a.small = Bitmap{};
    a.result.large = Bitmap{};
    a.result.topLeft = Bitmap{};
}

bool frmVelora::matchesShown(const Arrival& shown, const PictureResult& r) {
    if (r.source != shown.result.source || r.targetMissing != shown.result.targetMissing) {
        return false;
    }
    const Bitmap* large = makeImages(r);
    if (large == nullptr) {
        return true;
    }
    const auto at = static_cast<std::size_t>(shown.imagesBefore);
    return s_.vlImgList.holds(at, *large) && s_.vlImgListSmall.holds(at, tmpPicBoxSmallSurface_);
}

// The picture at `position` turned out other than shown: it and every later one go out of
// the lists and are taken again, with the numbers that follow from the new one.
void frmVelora::renumberFrom(std::size_t position) {
    for (std::size_t q = position + 1; q < applied_; ++q) {
        Arrival& a = *arrived_[q];
        const auto at = static_cast<std::size_t>(a.imagesBefore);
        const bool found = a.result.source == IconFromIconFile || a.result.source == IconFromExe ||
                           a.result.source == IconFromSystem;
        if (found && at < static_cast<std::size_t>(s_.vlImgList.count())) {
            a.large = s_.vlImgList.image(at);
            a.small = s_.vlImgListSmall.image(at);
            a.fromImages = true;
        }
    }
    const auto keep = static_cast<std::size_t>(arrived_[position]->imagesBefore);
    s_.vlImgList.truncate(keep);
    s_.vlImgListSmall.truncate(keep);
    applied_ = position;
    // Tells the view that pictures changed even if as many are in as before.
    ++s_.pictureBatches;
}

void frmVelora::settle() noexcept {
    while (settled_ < applied_ && arrived_[settled_] && arrived_[settled_]->confirmed) {
        arrived_[settled_].reset();
        ++settled_;
    }
}

std::int16_t frmVelora::addIconFromExe(const std::string& path) {
    PictureResolver resolver(desktop_, nullptr);
    if (!resolver.iconFromExe(path, largePictureSize(), iconScratch_)) {
        return 0;
    }
    return addScratchIcon(iconScratch_);
}

std::int16_t frmVelora::addIconFromSystem(const std::string& path) {
    PictureResolver resolver(desktop_, nullptr);
    if (!resolver.iconFromSystem(path, largePictureSize(), iconScratch_)) {
        return 0;
    }
    return addScratchIcon(iconScratch_);
}

std::int16_t frmVelora::addScratchIcon(const Bitmap& icon) {
    paintOnClearedSurface(tmpPicBoxSurface_, largePictureSize(), largePictureSize(), scratchColour_,
                          icon);
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
    for (std::size_t p = settled_; p < arrived_.size(); ++p) {
        if (arrived_[p] && arrived_[p]->confirmed && arrived_[p]->result.item == item) {
            return &arrived_[p]->result;
        }
    }
    return nullptr;
}

void frmVelora::cancelPictures() noexcept {
    generation_ = nextPictureGeneration();
    arrived_.clear();
    applied_ = 0;
    settled_ = 0;
    pendingItems_.assign(pendingItems_.size(), false);
    if (pictures_ != nullptr) {
        guardEvent([this] { pictures_->submit({}, generation_); });
    }
}

void frmVelora::picturesArrived(std::vector<PictureResult> results) noexcept {
    guardEvent([&] {
        for (PictureResult& r : results) {
            if (r.generation != generation_ || r.position < settled_ ||
                r.position >= arrived_.size() || r.item >= s_.menuItems.size()) {
                continue;
            }
            std::optional<Arrival>& slot = arrived_[r.position];
            if (slot && slot->confirmed) {
                continue; // the same answer again
            }
            if (r.position < applied_) {
                // A provisional picture: the answer confirms it, or it is taken again.
                if (slot->result.item != r.item) {
                    continue;
                }
                if (matchesShown(*slot, r)) {
                    slot->confirmed = true;
                    pendingItems_[r.item] = false;
                    continue;
                }
                renumberFrom(r.position);
            }
            Arrival a;
            a.result = std::move(r);
            a.confirmed = true;
            slot = std::move(a);
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
                Arrival& a = *arrived_[applied_];
                takeArrival(a);
                const std::size_t record = a.result.item;
                const MenuItem& item = s_.menuItems[record];
                if (a.confirmed && record < pendingItems_.size()) {
                    pendingItems_[record] = false;
                }
                if (record < entryOf_.size() && entryOf_[record].list >= 0) {
                    const EntryPlace at = entryOf_[record];
                    ListEntry& entry =
                        s_.lstViewA[static_cast<std::size_t>(at.list)].entries.at(at.index);
                    entry.largePicture = item.IconIndex;
                    entry.smallPicture = item.IconIndex;
                    entry.red = item.TargetMissing != 0;
                }
                ++applied_;
            }
            settle();
        },
        &failure);
    if (!ok) {
        // As a build that failed in its picture steps: what was taken stays, the rest keep
        // their placeholders.
        s_.lastBuildFailed = true;
        s_.lastBuildError = std::move(failure);
        arrived_.clear();
        applied_ = 0;
        settled_ = 0;
        pendingItems_.assign(pendingItems_.size(), false);
    }
    if (applied_ != before || !ok) {
        ++s_.pictureBatches;
    }
}

void frmVelora::placeOnTaskbar() {
    // One look at the shell's windows serves the whole placement, and only it.
    buildShell_ = desktop_.shellReport();
    struct Forget {
        std::optional<ShellReport>& report;
        ~Forget() { report.reset(); }
    } forget{buildShell_};
    placeWindow(getTaskbarHeight());
}

ShellReport frmVelora::shellNow() {
    return buildShell_ ? *buildShell_ : desktop_.shellReport();
}

std::int16_t frmVelora::getTaskbarHeight() {
    // The taskbar a user sees, where there is one: the first one the platform finds may be a
    // hidden one of its own.
    const std::optional<StartButtonChoice> bar = chooseStartButton(shellNow());
    const Rect r = bar ? bar->taskbarRect : desktop_.taskbarRect();
    // Across its edge: what is a height on a bottom bar is the width of a left one.
    const bool upright = bar && (bar->edge == ScreenEdge::Left || bar->edge == ScreenEdge::Right);
    const std::int64_t thickness =
        upright ? std::int64_t{r.right} - r.left : std::int64_t{r.bottom} - r.top;
    return conv::checkedInteger(thickness);
}

double frmVelora::twipsPerPixelX() const noexcept {
    return twipsPerPixelAt(s_.dpi);
}

double frmVelora::twipsPerPixelY() const noexcept {
    return twipsPerPixelAt(s_.dpi);
}

void frmVelora::placeWindow(std::int16_t tb) {
    const ScreenMetrics m = desktop_.screen();
    const double tppx = twipsPerPixelX();
    const double tppy = twipsPerPixelY();
    const std::optional<StartButtonChoice> bar = chooseStartButton(shellNow());
    menuEdge_ = bar ? bar->edge : ScreenEdge::Bottom;
    placedBy_ = bar;
    placedUnderPointer_ = false;
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

void frmVelora::fitToRoom() {
    s_.cutTwips = 0;
    s_.cutTop = 0;
    const double tppx = twipsPerPixelX();
    const double tppy = twipsPerPixelY();
    MenuRequest q;
    if (placedBy_) {
        q.startButton = placedBy_->buttonRect;
        q.taskbar = placedBy_->taskbarRect;
        q.edge = placedBy_->edge;
        q.monitor = placedBy_->monitor;
    } else {
        // No taskbar: the window stands on the bottom of the screen.
        const ScreenMetrics m = desktop_.screen();
        const Rect screen{0, 0, m.widthPixels, m.heightPixels};
        q.monitor = Monitor{screen, screen, true};
        q.taskbar = Rect{0, screen.bottom, screen.right, screen.bottom};
        q.startButton = Rect{0, screen.bottom, 0, screen.bottom};
    }
    q.width = static_cast<std::int32_t>(std::ceil(s_.width / tppx));
    q.height = static_cast<std::int32_t>(std::ceil(s_.height / tppy));
    const MenuPlacement p = placeMenu(q);
    if (!p.cut || p.rect.height() >= q.height) {
        return; // it fits: shown as placed
    }
    // Never more than the lists have: the head and the frame always show.
    const std::int32_t lists = std::max<std::int32_t>(s_.lstViewA[0].height, 0);
    const std::int64_t room = conv::toLong(p.rect.height() * tppy);
    const auto cut =
        static_cast<std::int32_t>(std::clamp<std::int64_t>(s_.height - room, 0, lists));
    if (cut == 0) {
        return;
    }
    s_.cutTwips = cut;
    const std::int32_t shown = s_.height - cut;
    // On a bottom bar the cut window still stands on it; elsewhere it starts at the room's top.
    s_.cutTop = q.edge == ScreenEdge::Bottom ? conv::toLong(p.rect.bottom * tppy) - shown
                                             : conv::toLong(p.rect.top * tppy);
}

double frmVelora::shownTopPixels() {
    return s_.cutTwips > 0 ? s_.cutTop / twipsPerPixelY() : s_.menuTopPixels;
}

void frmVelora::placeUnderPointer() noexcept {
    guardEvent([this] {
        const ShellReport report = desktop_.shellReport();
        const std::optional<StartButtonChoice> here =
            chooseStartButtonUnder(report, desktop_.cursorPos());
        const std::optional<StartButtonChoice> primary = chooseStartButton(report);
        std::optional<Monitor> home = primaryMonitor(report.monitors);
        if (primary) {
            home = primary->monitor;
        }
        if (!here || !home || here->monitor.area == home->area) {
            placeByStartButton();
            return;
        }
        placedBy_ = here;
        placedUnderPointer_ = true;
        menuEdge_ = here->edge;
        placeBeside(*here, s_.height);
        s_.topmost = true;
        fitToRoom();
    });
}

void frmVelora::placeByStartButton() noexcept {
    if (!placedUnderPointer_) {
        return;
    }
    guardEvent([this] {
        placeOnTaskbar();
        fitToRoom();
    });
}

void frmVelora::applySkin() {
    const ScreenMetrics m = desktop_.screen();
    const double tppx = twipsPerPixelX();
    // The bitmap is never scaled, at any DPI: a skin's bitmap is drawn pixel for pixel, sharp,
    // and where the window is larger than it the panel's colour shows. Only what can show
    // inside pbVLM is kept, and the window can be dragged as tall as the screen.
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

    menuForeColour_ = colour(SkinColour::MENU_FG);
    for (ControlState& entry : s_.lblMenu) {
        entry.foreColour = panelCommandColour(entry.enabled);
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
