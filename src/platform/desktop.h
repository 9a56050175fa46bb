#pragma once
// Plain types shared by the presenters and the Windows side, and `Desktop`:
// the one interface through which a presenter asks the operating system for
// something. Presenters never touch a window handle or a device context; the
// Windows view implements `Desktop` (src/win32) and the unit tests script a
// fake (tests/unit/fake_desktop.h).
//
// Units: everything here is in screen pixels unless a name says otherwise.
// Paths and texts are UTF-8.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fileio.h"

namespace kesk {

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    bool operator==(const Point&) const = default;
};

// Edges as the platform gives them: right and bottom are one past the last
// pixel, so width = right - left.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    std::int32_t width() const noexcept { return right - left; }
    std::int32_t height() const noexcept { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// A colour as the catalogue and the skin carry it: a signed 32-bit value with
// red in the lowest byte, then green, then blue (0x00BBGGRR). The skin can
// produce values with a non-zero high byte or negative ones; a presenter turns
// them into the colour shown (shownColour below) once, when it takes them, so
// that every control and every painted pixel of one skin colour agree.
using Colour = std::int32_t;

inline constexpr Colour kColourRed = 0x000000FF;
inline constexpr Colour kColourBlack = 0;

// One pixel of a Bitmap: 0xAARRGGBB, straight (not premultiplied) alpha.
// In memory on a little-endian machine this is B, G, R, A: exactly a top-down
// 32-bit DIB section, so the Windows side can copy rows without converting.
using Pixel = std::uint32_t;

inline constexpr Pixel kOpaque = 0xFF000000u;

// A high byte of 0x80 names one of the platform's system colours (0x80000005
// is the window background), its index in the low bytes. Indices beyond the
// last one the platform has ever defined are not even asked for.
inline constexpr std::int32_t kLastSystemColourIndex = 30;

constexpr bool isSystemColour(Colour c) noexcept {
    return (static_cast<std::uint32_t>(c) >> 24) == 0x80u;
}

// The colour of a plain skin value. Hexadecimal text from 8000 to FFFF reads
// back sign-extended (00FF00 gives -256); its low 16 bits are what was
// written, so they are taken as the colour. Any other value keeps its low
// three bytes. System colours need the platform: see shownColour.
constexpr Colour displayColour(Colour c) noexcept {
    if (c < 0 && c >= -32768) {
        return c & 0xFFFF;
    }
    return c & 0x00FFFFFF;
}

// A colour as an opaque pixel (through displayColour).
constexpr Pixel toArgb(Colour c) noexcept {
    const auto u = static_cast<std::uint32_t>(displayColour(c));
    return kOpaque | ((u & 0xFFu) << 16) | (u & 0xFF00u) | ((u >> 16) & 0xFFu);
}

// The colour of a pixel, alpha dropped.
constexpr Colour toColour(Pixel p) noexcept {
    return static_cast<Colour>(((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16));
}

// A picture in memory: rows from the top, `width` pixels each, no padding.
// An empty bitmap (0 by 0) stands for "no picture".
struct Bitmap {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Pixel> pixels;

    Bitmap() = default;
    Bitmap(std::int32_t w, std::int32_t h, Pixel fill = kOpaque)
        : width(w), height(h),
          pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill) {}

    bool empty() const noexcept { return width <= 0 || height <= 0; }
    Pixel at(std::int32_t x, std::int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    Pixel& at(std::int32_t x, std::int32_t y) {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    bool operator==(const Bitmap&) const = default;
};

// What a presenter wants from a picture file. Pictures can be far larger than
// anything shown (a 10,000 by 10,000 photo as an item's icon), so the caller
// names the two views it needs and the decoder never has to hand over the
// whole image.
struct PictureRequest {
    // Top-left part at the picture's own size, at most this large
    // (what painting the picture at (0, 0) onto a surface of this size shows).
    std::int32_t cropWidth = 0;
    std::int32_t cropHeight = 0;
    // The whole picture scaled to exactly this size (how an image list of
    // fixed picture size presents it). 0 by 0: not wanted.
    std::int32_t scaledWidth = 0;
    std::int32_t scaledHeight = 0;
    bool operator==(const PictureRequest&) const = default;
};

struct Picture {
    // The picture's own size in pixels.
    std::int32_t width = 0;
    std::int32_t height = 0;
    // min(width, cropWidth) by min(height, cropHeight) pixels; transparent
    // parts of icons, cursors, GIFs and PNGs keep alpha 0.
    Bitmap topLeft;
    // scaledWidth by scaledHeight pixels, or empty when not requested.
    Bitmap scaled;
};

// Why a picture could not be loaded.
enum class PictureError {
    None,
    NotFound,      // no such file, or a directory
    Unreadable,    // exists but cannot be opened or read
    InvalidPicture // not a picture the platform decodes, truncated, corrupt, or too large
};

struct ScreenMetrics {
    std::int32_t widthPixels = 0;
    std::int32_t heightPixels = 0;
    // 1440 / DPI: 15 at 96 dpi, 12 at 120 dpi, 7.5 at 192 dpi.
    double twipsPerPixelX = 15.0;
    double twipsPerPixelY = 15.0;
};

// A window of the platform, as an opaque number (0: none).
using WindowId = std::uintptr_t;

enum class ScreenEdge { Bottom, Top, Left, Right };

// One window of the shell as the platform reports it.
struct ShellWindow {
    WindowId id = 0;
    std::string className;
    // The thread that made the window (0: not told).
    std::uint32_t thread = 0;
    bool visible = false;
    Rect rect;
    // The part of `rect` that is drawn (a window region's box); empty: all of it.
    Rect drawn;
};

// A taskbar: a top-level window of class "Shell_TrayWnd" (the primary one) or
// "Shell_SecondaryTrayWnd", and its direct children from the first one on.
struct ShellTaskbar {
    ShellWindow window;
    std::vector<ShellWindow> children;
    // What the shell's application-bar answers claim; neither is to be trusted
    // over the rectangle (some platforms answer the same for every taskbar).
    std::optional<ScreenEdge> claimedEdge;
    bool claimedAutoHide = false;
};

struct Monitor {
    Rect area;
    Rect workArea;
    bool primary = false;
};

// The shell as the platform sees it at one moment.
struct ShellReport {
    // From the top of the window order down.
    std::vector<ShellTaskbar> taskbars;
    // Visible top-level windows of class "Button" (some shells keep their start button so).
    std::vector<ShellWindow> topLevelButtons;
    std::vector<Monitor> monitors;
    // Dots per inch as the platform reports them (not checked).
    std::int32_t dpi = 96;
};

// Every method must be callable at any time and must not throw: failures are
// reported through the results described. None of them runs other window
// events (no message pumping) before it returns.
class Desktop {
  public:
    virtual ~Desktop() = default;

    // --- Screen and taskbar ---------------------------------------------------
    // The mouse pointer's screen position.
    virtual Point cursorPos() = 0;
    // The primary screen's size and twips per pixel.
    virtual ScreenMetrics screen() = 0;
    // Screen rectangle of the taskbar: the top-level window of class
    // "shell_traywnd" with an empty title. All zero when there is none (or it
    // is hidden with an empty rectangle).
    virtual Rect taskbarRect() = 0;
    // Screen rectangle of the taskbar's first child, the system start button.
    // All zero when there is none.
    virtual Rect startButtonRect() = 0;
    // The taskbars, the windows that may be their start button, and the monitors. The
    // default knows only what the two calls above tell: one taskbar at the bottom whose first
    // child is the start button, on one monitor the size of the screen.
    virtual ShellReport shellReport();
    // Colours (0x00BBGGRR) of the screen's pixels in `area`, row by row from
    // the top; a point that cannot be read gives 0xFFFFFFFF (as a Colour, -1).
    virtual std::vector<Colour> readScreen(const Rect& area) = 0;

    // The platform's system colour `index` (0x00BBGGRR); none when the platform
    // has no such colour.
    virtual std::optional<Colour> systemColour(std::int32_t index) = 0;

    // --- Files ------------------------------------------------------------------
    // True when `path` names a file that can be opened for reading right now
    // (a directory, a locked or unreadable file, an empty or malformed name:
    // false). The Windows side answers through mdFiles' fileExists.
    virtual bool canOpenForReading(const std::string& path) = 0;
    // True when `path` names an existing file or directory (PathFileExists):
    // an empty path never exists; a relative path is taken against the
    // process's current directory.
    virtual bool pathExists(const std::string& path) = 0;
    // The stamp of the file at `path` (size, times, identity), so that a
    // caller can keep what it decoded from the file while the stamp stays the
    // same; none when it cannot be told, and then the caller reads the file.
    virtual std::optional<fileio::FileStamp> fileStamp(const std::string& path) {
        static_cast<void>(path);
        return std::nullopt;
    }

    // --- Item paths ---------------------------------------------------------------
    // What stored path values are resolved against (support/itempaths.h). The
    // folder of the running program, without a trailing separator; empty when
    // it cannot be told, and relative values are then used as they stand.
    virtual std::string programFolder() { return {}; }
    // The value of an environment variable; none when it is not set.
    virtual std::optional<std::string> environmentVariable(const std::string& name) {
        static_cast<void>(name);
        return std::nullopt;
    }
    // False when `path` lies on a network host that did not answer within
    // `waitMs` milliseconds (or is known not to have answered lately), so that a
    // check of it would hang. A host still being asked when the wait ends counts
    // as not answering; its answer is kept for the next call. Local paths: true.
    virtual bool hostAnswers(const std::string& path, std::int32_t waitMs) {
        static_cast<void>(path);
        static_cast<void>(waitMs);
        return true;
    }

    // --- Pictures and icons -------------------------------------------------------
    // Decodes a picture file (BMP, ICO, CUR, GIF, JPEG, PNG, metafile: whatever
    // the platform decodes) into the views `request` asks for. Returns
    // PictureError::None and fills `out`, or an error and leaves `out` empty.
    // A corrupt or truncated file is an error, never a partial picture.
    virtual PictureError loadPicture(const std::string& path, const PictureRequest& request,
                                     Picture& out) = 0;
    // Number of icons stored in the file (ExtractIcon with index -1): 0 for a
    // file without icon resources, a missing file, a directory or an empty path.
    virtual std::int32_t iconCount(const std::string& path) = 0;
    // Icon `index` (0-based) of the file at `size` by `size` pixels, with
    // alpha (the icon's mask becomes alpha 0). False when there is no such icon.
    virtual bool extractIcon(const std::string& path, std::int32_t index, std::int32_t size,
                             Bitmap& out) = 0;
    // The shell's large icon for the file, folder or file type at `path`
    // (SHGetFileInfo with SHGFI_ICON), `size` by `size` pixels with alpha.
    // False when the shell gives none; the path must exist for the shell to answer.
    virtual bool shellIcon(const std::string& path, std::int32_t size, Bitmap& out) = 0;

    // --- Feedback and processes ------------------------------------------------------
    // The platform's default beep.
    virtual void beep() = 0;
    // A modal message box with one OK button.
    virtual void messageBox(const std::string& text, const std::string& title) = 0;
    // File names (without directory, with extension, as the process list gives
    // them) of all running processes.
    virtual std::vector<std::string> processNames() = 0;

    // --- Shell commands -----------------------------------------------------------------------
    // Shows the file or folder at `path` (a full path) selected in its folder in the shell's file
    // window; for a shortcut, what it points to (fileLocationOf in support/mdShellEx.h). Returns
    // at once: the shortcut is read and the shell called away from the caller's thread, so a
    // slow drive never holds a window. A path that is gone by then shows nothing, and no
    // failure is ever shown.
    virtual void showFileLocation(const std::string& path) { static_cast<void>(path); }
};

// The colour a skin value shows: a system colour as the platform has it now, a
// system colour the platform does not have as black (what the platform itself
// paints for one, and what the skin gives for any colour it cannot tell), and
// any other value through displayColour. The result is always a plain
// 0x00BBGGRR colour.
inline Colour shownColour(Desktop& desktop, Colour c) {
    if (!isSystemColour(c)) {
        return displayColour(c);
    }
    const std::uint32_t index = static_cast<std::uint32_t>(c) & 0x00FFFFFFu;
    if (index > static_cast<std::uint32_t>(kLastSystemColourIndex)) {
        return kColourBlack;
    }
    const std::optional<Colour> sys = desktop.systemColour(static_cast<std::int32_t>(index));
    return sys ? (*sys & 0x00FFFFFF) : kColourBlack;
}

} // namespace kesk
