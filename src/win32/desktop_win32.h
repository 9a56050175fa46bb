#pragma once
// The Desktop interface carried out by Win32: user32 for the screen and the taskbar, WIC and
// GDI for picture files, shell32 for icons, toolhelp for the process list. One class; its
// methods live in one file per job (desktop_pictures, desktop_icons, desktop_screen,
// desktop_files, desktop_processes).

#include "platform/desktop.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct IWICImagingFactory;

namespace kesk::win {

// How long a desktop keeps the picture decoders (WIC and its module) once it has used them.
enum class DecoderUse {
    // Until the desktop ends: a worker's desktop, made for a burst of pictures.
    KeepWhileAlive,
    // Only during each picture: a desktop that lives as long as the process and reads a picture
    // now and then (the skin, the fallback icon) keeps no decoder module at idle.
    PerPicture,
};

class Win32Desktop final : public Desktop {
  public:
    explicit Win32Desktop(DecoderUse decoders = DecoderUse::KeepWhileAlive);
    ~Win32Desktop() override;
    Win32Desktop(const Win32Desktop&) = delete;
    Win32Desktop& operator=(const Win32Desktop&) = delete;

    Point cursorPos() override;
    ScreenMetrics screen() override;
    Rect taskbarRect() override;
    Rect startButtonRect() override;
    ShellReport shellReport() override;
    std::vector<Colour> readScreen(const Rect& area) override;
    std::optional<Colour> systemColour(std::int32_t index) override;

    bool canOpenForReading(const std::string& path) override;
    bool pathExists(const std::string& path) override;
    std::optional<fileio::FileStamp> fileStamp(const std::string& path) override;

    std::string programFolder() override;
    std::optional<std::string> environmentVariable(const std::string& name) override;
    bool hostAnswers(const std::string& path, std::int32_t waitMs) override;

    PictureError loadPicture(const std::string& path, const PictureRequest& request,
                             Picture& out) override;
    std::int32_t iconCount(const std::string& path) override;
    bool extractIcon(const std::string& path, std::int32_t index, std::int32_t size,
                     Bitmap& out) override;
    bool shellIcon(const std::string& path, std::int32_t size, Bitmap& out) override;

    void beep() override;
    void messageBox(const std::string& text, const std::string& title) override;
    std::vector<std::string> processNames() override;

    void showFileLocation(const std::string& path) override;

  private:
    IWICImagingFactory* wic() noexcept;
    void releaseDecoders() noexcept;
    PictureError decodePicture(const std::string& path, const PictureRequest& request,
                               Picture& out);

    bool comInitialized_ = false;
    DecoderUse decoderUse_;
    // WIC is loaded from the system folder and its factory taken from the module itself,
    // not through COM: a module COM has loaded stays for the life of the process, one of ours
    // goes when the factory is released.
    HMODULE wicModule_ = nullptr;
    IWICImagingFactory* wic_ = nullptr;
};

// Limits of picture decoding. A file larger than kMaxPictureFileBytes is not read at all; a
// picture with more than kMaxPicturePixels pixels is decoded only where the decoder can scale
// while decoding, otherwise it is refused as too large. Either way no call allocates a
// full-size copy of a huge picture.
inline constexpr std::uint64_t kMaxPictureFileBytes = 64ull << 20;
inline constexpr std::uint64_t kMaxPicturePixels = 32ull << 20;

// The program showFileLocation starts with the folder window's parameters: the system's
// explorer.exe, or (for tests) a stand-in that records what it was given; empty: the system's.
void setFolderWindowProgram(const std::wstring& program);

// The taskbars, the windows that may be their start button, the monitors and the DPI, as the
// window manager has them now. Empty when they cannot be told.
ShellReport reportShell() noexcept;

// The icon's pixels at `size` by `size`, with its transparency as alpha (works for icons with
// an alpha channel and for icons with a mask alike). Empty when the icon cannot be drawn.
Bitmap iconToBitmap(HICON icon, int size);

// What `draw` paints on a `width` by `height` surface, with alpha: drawn once on black and
// once on white, a point that comes out the same on both is opaque, one that follows the
// background is transparent. GDI drawing (icons with masks, metafiles) has no alpha of its
// own. Empty when the surface cannot be made or `draw` returns false.
Bitmap drawWithAlpha(int width, int height, const std::function<bool(HDC)>& draw);

} // namespace kesk::win
