// Picture files: the bytes are read and checked here (platform/picture_checks), then taken
// into the views the caller asked for: plain bitmaps drawn by GDI, 32-bit icon images with
// alpha copied as they are, metafiles played by GDI, and the rest decoded by WIC (icons,
// cursors, GIF, JPEG, PNG, other bitmaps). The first two keep WIC's module unloaded for
// the pictures of the program's own skin.
#include "win32/desktop_win32.h"

#include "menu/dpi_sizes.h"
#include "platform/picture_checks.h"
#include "win32/dpi.h"
#include "win32/handles.h"
#include "win32/wtext.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

namespace kesk::win {

namespace {

// Releases a COM interface pointer at the end of a scope.
template <class T> class ComPtr {
  public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void reset() noexcept {
        if (p_ != nullptr) {
            p_->Release();
            p_ = nullptr;
        }
    }
    explicit operator bool() const noexcept { return p_ != nullptr; }

  private:
    T* p_ = nullptr;
};

// Scaling while decoding. Not in every SDK's headers; the layout is fixed by COM.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
struct SourceTransform : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                                 WICPixelFormatGUID* format,
                                                 WICBitmapTransformOptions options, UINT stride,
                                                 UINT bufferSize, BYTE* buffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
    virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions options,
                                                           BOOL* supported) = 0;
};
#pragma GCC diagnostic pop
constexpr IID kIidSourceTransform = {
    0x3B16811B, 0x6A43, 0x4ec9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};

enum class ReadResult { Ok, NotFound, Unreadable, TooLarge };

struct CloseFileFn {
    void operator()(HANDLE h) const noexcept { CloseHandle(h); }
};
using UniqueFile = UniqueHandle<HANDLE, CloseFileFn>;

// Appends up to `want` bytes of `file` to `out`; false on a read error. A file that shrank
// while being read leaves `out` short.
bool appendFromFile(HANDLE file, std::vector<std::uint8_t>& out, std::size_t want) {
    const std::size_t start = out.size();
    out.resize(start + want);
    std::size_t done = 0;
    while (done < want) {
        DWORD got = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(want - done, 1u << 24));
        if (ReadFile(file, out.data() + start + done, chunk, &got, nullptr) == 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    out.resize(start + done);
    return true;
}

ReadResult readWholeFile(const std::wstring& path, std::vector<std::uint8_t>& out) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const DWORD err = GetLastError();
        const bool missing = attributes != INVALID_FILE_ATTRIBUTES || err == ERROR_FILE_NOT_FOUND ||
                             err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME ||
                             err == ERROR_BAD_NETPATH || err == ERROR_INVALID_DRIVE;
        return missing ? ReadResult::NotFound : ReadResult::Unreadable;
    }
    HANDLE raw = CreateFileW(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (raw == INVALID_HANDLE_VALUE) {
        return ReadResult::Unreadable;
    }
    const UniqueFile file(raw);
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size) == 0) {
        return ReadResult::Unreadable;
    }
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    if (total > kMaxPictureFileBytes) {
        return ReadResult::TooLarge;
    }
    // The head says what the file claims to be; a metafile has a far lower limit, and a large
    // one is refused before the rest of it is read.
    constexpr std::size_t kHead = 64;
    out.clear();
    if (!appendFromFile(file.get(), out,
                        static_cast<std::size_t>(std::min<std::uint64_t>(total, kHead)))) {
        return ReadResult::Unreadable;
    }
    if (isMetafile(out) && total > kMaxMetafileBytes) {
        return ReadResult::TooLarge;
    }
    if (out.size() == kHead && total > kHead &&
        !appendFromFile(file.get(), out, static_cast<std::size_t>(total - kHead))) {
        return ReadResult::Unreadable;
    }
    return ReadResult::Ok;
}

bool copyPixels(IWICBitmapSource* source, const WICRect* rect, std::int32_t w, std::int32_t h,
                Bitmap& out) {
    Bitmap bmp(w, h, 0);
    const UINT stride = static_cast<UINT>(w) * 4;
    const UINT bytes = stride * static_cast<UINT>(h);
    if (FAILED(
            source->CopyPixels(rect, stride, bytes, reinterpret_cast<BYTE*>(bmp.pixels.data())))) {
        return false;
    }
    out = std::move(bmp);
    return true;
}

// Picks the frame to show: for icon files the image that gives the size asked for sharply
// (bestImageFor: that size, else the smallest larger one, else the largest), otherwise the
// first frame.
UINT chooseFrame(IWICBitmapDecoder* decoder, bool iconFile, const PictureRequest& req) {
    UINT count = 0;
    if (FAILED(decoder->GetFrameCount(&count)) || count <= 1 || !iconFile) {
        return 0;
    }
    const std::int32_t want = std::max(req.scaledWidth > 0 ? req.scaledWidth : req.cropWidth,
                                       req.scaledHeight > 0 ? req.scaledHeight : req.cropHeight);
    // An icon file has a handful of images; a directory claiming thousands is not believed.
    constexpr UINT kMaxFrames = 256;
    std::vector<ImageChoice> sizes;
    for (UINT i = 0; i < std::min(count, kMaxFrames); ++i) {
        ComPtr<IWICBitmapFrameDecode> frame;
        UINT w = 0;
        UINT h = 0;
        ImageChoice c;
        if (SUCCEEDED(decoder->GetFrame(i, frame.put())) && SUCCEEDED(frame->GetSize(&w, &h)) &&
            w <= 0x7FFFFFFF && h <= 0x7FFFFFFF) {
            c.width = static_cast<std::int32_t>(w);
            c.height = static_cast<std::int32_t>(h);
        }
        sizes.push_back(c);
    }
    const std::size_t best = bestImageFor(sizes, want);
    return best < sizes.size() ? static_cast<UINT>(best) : 0;
}

struct DeleteEnhMetaFileFn {
    void operator()(HENHMETAFILE h) const noexcept { DeleteEnhMetaFile(h); }
};
struct DeleteMetaFileFn {
    void operator()(HMETAFILE h) const noexcept { DeleteMetaFile(h); }
};

// A metafile handed to GDI once its bytes passed inspectMetafile, played as often as the
// views need.
class MetafilePlayer {
  public:
    MetafilePlayer(const std::vector<std::uint8_t>& data, const MetafileInfo& info) : info_(info) {
        const BYTE* bytes = data.data() + info.offset;
        const auto length = static_cast<UINT>(info.length);
        if (info.kind == MetafileKind::Emf) {
            emf_.reset(SetEnhMetaFileBits(length, bytes));
        } else {
            wmf_.reset(SetMetaFileBitsEx(length, bytes));
        }
    }
    bool valid() const noexcept { return emf_ || wmf_; }

    // The whole picture stretched onto (0, 0)-(width, height) of `dc`.
    bool play(HDC dc, int width, int height) const noexcept {
        if (emf_) {
            const RECT r{0, 0, width, height};
            return PlayEnhMetaFile(dc, emf_.get(), &r) != 0;
        }
        // A Windows metafile draws in logical units: its window is mapped onto the target
        // (records of its own that set the window or the mapping still take effect).
        const int saved = SaveDC(dc);
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowOrgEx(dc, info_.frameLeft, info_.frameTop, nullptr);
        SetWindowExtEx(dc, info_.frameWidth, info_.frameHeight, nullptr);
        SetViewportOrgEx(dc, 0, 0, nullptr);
        SetViewportExtEx(dc, width, height, nullptr);
        const bool ok = PlayMetaFile(dc, wmf_.get()) != 0;
        RestoreDC(dc, saved);
        return ok;
    }

  private:
    MetafileInfo info_;
    UniqueHandle<HENHMETAFILE, DeleteEnhMetaFileFn> emf_;
    UniqueHandle<HMETAFILE, DeleteMetaFileFn> wmf_;
};

// A metafile into the two views: its own size is its physical size at the screen's DPI; the
// top-left view shows it at that size, the scaled one stretched to the size asked. What the
// metafile does not paint stays transparent, as in icons and GIFs.
PictureError loadMetafile(const std::vector<std::uint8_t>& data, const MetafileInfo& info,
                          const PictureRequest& request, Picture& out) {
    const MetafilePlayer player(data, info);
    if (!player.valid()) {
        return PictureError::InvalidPicture;
    }
    const PixelSize own = metafilePixels(info, dpiOf(nullptr));
    Picture pic;
    pic.width = own.width;
    pic.height = own.height;
    if (request.scaledWidth > 0 && request.scaledHeight > 0) {
        pic.scaled = drawWithAlpha(request.scaledWidth, request.scaledHeight, [&](HDC dc) {
            return player.play(dc, request.scaledWidth, request.scaledHeight);
        });
        if (pic.scaled.empty()) {
            return PictureError::InvalidPicture;
        }
    }
    const std::int32_t cw = std::min(own.width, request.cropWidth);
    const std::int32_t ch = std::min(own.height, request.cropHeight);
    if (cw > 0 && ch > 0) {
        pic.topLeft =
            drawWithAlpha(cw, ch, [&](HDC dc) { return player.play(dc, own.width, own.height); });
        if (pic.topLeft.empty()) {
            return PictureError::InvalidPicture;
        }
    }
    out = std::move(pic);
    return PictureError::None;
}

std::uint32_t le32(const std::vector<std::uint8_t>& d, std::size_t at) noexcept {
    return static_cast<std::uint32_t>(d[at]) | (static_cast<std::uint32_t>(d[at + 1]) << 8) |
           (static_cast<std::uint32_t>(d[at + 2]) << 16) |
           (static_cast<std::uint32_t>(d[at + 3]) << 24);
}

std::uint16_t le16(const std::vector<std::uint8_t>& d, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

// Where the parts of a plain bitmap file lie, once plainBitmapLayout has checked them.
struct PlainBitmap {
    std::int32_t width = 0;
    std::int32_t height = 0; // rows, whichever way they are stored
    std::size_t bitsOffset = 0;
    std::size_t headerBytes = 0; // the header and its colour table
};

// A Windows bitmap file with the common header, uncompressed, 1, 4, 8 or 24 bits a point: what
// GDI draws point for point exactly as the decoders do, all of it opaque. Compressed and
// 16 or 32-bit files (where decoders differ over masks and alpha) and larger headers are not.
std::optional<PlainBitmap> plainBitmapLayout(const std::vector<std::uint8_t>& d) noexcept {
    constexpr std::size_t kFileHeader = 14;
    constexpr std::size_t kInfoHeader = 40;
    if (d.size() < kFileHeader + kInfoHeader || d[0] != 'B' || d[1] != 'M' ||
        le32(d, kFileHeader) != kInfoHeader) {
        return std::nullopt;
    }
    const auto width = static_cast<std::int32_t>(le32(d, 18));
    const auto height = static_cast<std::int32_t>(le32(d, 22));
    const std::uint16_t planes = le16(d, 26);
    const std::uint16_t bits = le16(d, 28);
    const std::uint32_t compression = le32(d, 30);
    const std::uint32_t coloursUsed = le32(d, 46);
    if (width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min() ||
        planes != 1 || compression != BI_RGB ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 24)) {
        return std::nullopt;
    }
    const std::uint64_t rows = height < 0
                                   ? static_cast<std::uint64_t>(-static_cast<std::int64_t>(height))
                                   : static_cast<std::uint64_t>(height);
    if (static_cast<std::uint64_t>(width) * rows > kMaxPicturePixels) {
        return std::nullopt;
    }
    std::uint64_t palette = 0;
    if (bits <= 8) {
        const std::uint32_t most = 1u << bits;
        if (coloursUsed > most) {
            return std::nullopt;
        }
        palette = coloursUsed == 0 ? most : coloursUsed;
    }
    const std::uint64_t offset = le32(d, 10);
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
    if (offset < kFileHeader + kInfoHeader + palette * 4 || offset + stride * rows > d.size()) {
        return std::nullopt;
    }
    return PlainBitmap{width, static_cast<std::int32_t>(rows), static_cast<std::size_t>(offset),
                       static_cast<std::size_t>(kInfoHeader + palette * 4)};
}

// The picture's top-left `width` by `height` points (at most its own size), opaque.
Bitmap drawPlainBitmap(const std::vector<std::uint8_t>& data, const PlainBitmap& layout,
                       std::int32_t width, std::int32_t height) {
    std::uint32_t* bits = nullptr;
    UniqueDC dc(CreateCompatibleDC(nullptr));
    UniqueBitmap surface = newDib32(width, height, bits);
    if (!dc || !surface) {
        return {};
    }
    {
        SelectGuard select(dc.get(), surface.get());
        // The whole picture at its own size: the surface's edge clips it to the part asked for.
        // The header and colour table, aligned as GDI wants them (the file's lie at offset 14).
        std::vector<std::uint32_t> header((layout.headerBytes + 3) / 4);
        std::memcpy(header.data(), data.data() + 14, layout.headerBytes);
        const auto* info = reinterpret_cast<const BITMAPINFO*>(header.data());
        const int rows = SetDIBitsToDevice(dc.get(), 0, 0, static_cast<DWORD>(layout.width),
                                           static_cast<DWORD>(layout.height), 0, 0, 0,
                                           static_cast<UINT>(layout.height),
                                           data.data() + layout.bitsOffset, info, DIB_RGB_COLORS);
        if (rows <= 0) {
            return {};
        }
    }
    GdiFlush();
    Bitmap out(width, height, 0);
    const std::size_t n = out.pixels.size();
    for (std::size_t i = 0; i < n; ++i) {
        out.pixels[i] = bits[i] | kOpaque;
    }
    return out;
}

// A plain bitmap through GDI, so that reading one never loads the WIC decoders (the skin's
// pictures are read on the window's thread). False when it is no such file, a scaled view of
// another size is asked for, or GDI fails: WIC then takes the file.
bool loadPlainBitmap(const std::vector<std::uint8_t>& data, const PictureRequest& request,
                     Picture& out) {
    const std::optional<PlainBitmap> layout = plainBitmapLayout(data);
    const bool scaled = request.scaledWidth > 0 && request.scaledHeight > 0;
    if (!layout || (scaled && (request.scaledWidth != layout->width ||
                               request.scaledHeight != layout->height))) {
        return false;
    }
    Picture pic;
    pic.width = layout->width;
    pic.height = layout->height;
    const std::int32_t cw = std::min(pic.width, request.cropWidth);
    const std::int32_t ch = std::min(pic.height, request.cropHeight);
    if (scaled) {
        pic.scaled = drawPlainBitmap(data, *layout, pic.width, pic.height);
        if (pic.scaled.empty()) {
            return false;
        }
        if (cw > 0 && ch > 0) {
            pic.topLeft = Bitmap(cw, ch, 0);
            for (std::int32_t y = 0; y < ch; ++y) {
                const auto row =
                    pic.scaled.pixels.begin() + static_cast<std::ptrdiff_t>(y) * pic.width;
                std::copy(row, row + cw,
                          pic.topLeft.pixels.begin() + static_cast<std::ptrdiff_t>(y) * cw);
            }
        }
    } else if (cw > 0 && ch > 0) {
        pic.topLeft = drawPlainBitmap(data, *layout, cw, ch);
        if (pic.topLeft.empty()) {
            return false;
        }
    }
    out = std::move(pic);
    return true;
}

// Where one image of an icon file lies: a 32-bit uncompressed image with its mask behind it.
struct PlainIconImage {
    std::int32_t side = 0;
    std::size_t pixelsOffset = 0; // rows bottom-up, blue, green, red, alpha
};

// The image an icon file gives for the request, when every image of the file is such a 32-bit
// image (the fallback picture's kind): the same choice chooseFrame makes from the decoder's
// frames. None for anything else (compressed images, fewer bits, cursors), which WIC reads.
std::optional<PlainIconImage> plainIconImage(const std::vector<std::uint8_t>& d,
                                             const PictureRequest& req) {
    if (d.size() < 6 || le16(d, 0) != 0 || le16(d, 2) != 1) {
        return std::nullopt;
    }
    const std::size_t count = le16(d, 4);
    if (count == 0 || 6 + count * 16 > d.size()) {
        return std::nullopt;
    }
    std::vector<ImageChoice> sizes;
    std::vector<PlainIconImage> images;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t bytes = le32(d, 6 + i * 16 + 8);
        const std::uint64_t offset = le32(d, 6 + i * 16 + 12);
        if (bytes < 40 || offset + bytes > d.size()) {
            return std::nullopt;
        }
        const auto at = static_cast<std::size_t>(offset);
        const auto width = static_cast<std::int32_t>(le32(d, at + 4));
        const auto height = static_cast<std::int32_t>(le32(d, at + 8));
        if (le32(d, at) != 40 || width <= 0 || width > 256 || height != width * 2 ||
            le16(d, at + 12) != 1 || le16(d, at + 14) != 32 || le32(d, at + 16) != BI_RGB) {
            return std::nullopt;
        }
        const std::uint64_t side = static_cast<std::uint64_t>(width);
        const std::uint64_t need = 40 + side * side * 4 + (side + 31) / 32 * 4 * side;
        if (need > bytes) {
            return std::nullopt;
        }
        sizes.push_back(ImageChoice{width, width, 0});
        images.push_back(PlainIconImage{width, at + 40});
    }
    const std::int32_t want = std::max(req.scaledWidth > 0 ? req.scaledWidth : req.cropWidth,
                                       req.scaledHeight > 0 ? req.scaledHeight : req.cropHeight);
    const std::size_t best = count == 1 ? 0 : bestImageFor(sizes, want);
    return images.at(best < images.size() ? best : 0);
}

// An icon file's image without WIC, so that the fallback picture loads no decoder module on the
// window's thread. Only an image whose alpha says what is transparent is taken (its mask then
// changes nothing); false for anything else and for a scaled view of another size, which WIC
// then reads.
bool loadPlainIcon(const std::vector<std::uint8_t>& data, const PictureRequest& request,
                   Picture& out) {
    const std::optional<PlainIconImage> image = plainIconImage(data, request);
    const bool scaled = request.scaledWidth > 0 && request.scaledHeight > 0;
    if (!image ||
        (scaled && (request.scaledWidth != image->side || request.scaledHeight != image->side))) {
        return false;
    }
    const std::int32_t side = image->side;
    Bitmap whole(side, side, 0);
    bool anyAlpha = false;
    for (std::int32_t y = 0; y < side; ++y) {
        const std::size_t row =
            image->pixelsOffset + static_cast<std::size_t>(side - 1 - y) * side * 4;
        for (std::int32_t x = 0; x < side; ++x) {
            const Pixel p = le32(data, row + static_cast<std::size_t>(x) * 4);
            anyAlpha = anyAlpha || (p >> 24) != 0;
            whole.at(x, y) = p;
        }
    }
    if (!anyAlpha) {
        return false;
    }
    Picture pic;
    pic.width = side;
    pic.height = side;
    const std::int32_t cw = std::min(side, request.cropWidth);
    const std::int32_t ch = std::min(side, request.cropHeight);
    if (cw > 0 && ch > 0) {
        pic.topLeft = Bitmap(cw, ch, 0);
        for (std::int32_t y = 0; y < ch; ++y) {
            std::copy_n(whole.pixels.begin() + static_cast<std::ptrdiff_t>(y) * side, cw,
                        pic.topLeft.pixels.begin() + static_cast<std::ptrdiff_t>(y) * cw);
        }
    }
    if (scaled) {
        pic.scaled = std::move(whole);
    }
    out = std::move(pic);
    return true;
}

bool validRequestSize(std::int32_t w, std::int32_t h) noexcept {
    constexpr std::int32_t kSide = 16384;
    return w >= 0 && h >= 0 && w <= kSide && h <= kSide &&
           static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) <= kMaxPicturePixels;
}

} // namespace

IWICImagingFactory* Win32Desktop::wic() noexcept {
    if (wic_ != nullptr) {
        return wic_;
    }
    if (wicModule_ == nullptr) {
        wchar_t folder[MAX_PATH] = {};
        const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
        if (n == 0 || n >= MAX_PATH - 20) {
            return nullptr;
        }
        const std::wstring path = std::wstring(folder, n) + L"\\windowscodecs.dll";
        wicModule_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (wicModule_ == nullptr) {
            return nullptr;
        }
    }
    using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    const auto getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(wicModule_, "DllGetClassObject")));
    IClassFactory* classes = nullptr;
    if (getClassObject == nullptr ||
        FAILED(getClassObject(CLSID_WICImagingFactory, IID_IClassFactory,
                              reinterpret_cast<void**>(&classes)))) {
        releaseDecoders();
        return nullptr;
    }
    void* factory = nullptr;
    const HRESULT made = classes->CreateInstance(nullptr, IID_IWICImagingFactory, &factory);
    classes->Release();
    if (FAILED(made) || factory == nullptr) {
        releaseDecoders();
        return nullptr;
    }
    wic_ = static_cast<IWICImagingFactory*>(factory);
    return wic_;
}

void Win32Desktop::releaseDecoders() noexcept {
    if (wic_ != nullptr) {
        wic_->Release();
        wic_ = nullptr;
    }
    if (wicModule_ != nullptr) {
        FreeLibrary(wicModule_);
        wicModule_ = nullptr;
    }
}

PictureError Win32Desktop::loadPicture(const std::string& path, const PictureRequest& request,
                                       Picture& out) {
    const PictureError result = decodePicture(path, request, out);
    if (decoderUse_ == DecoderUse::PerPicture) {
        releaseDecoders();
    }
    return result;
}

PictureError Win32Desktop::decodePicture(const std::string& path, const PictureRequest& request,
                                         Picture& out) {
    out = Picture{};
    if (path.empty()) {
        return PictureError::NotFound;
    }
    if (!validRequestSize(request.cropWidth, request.cropHeight) ||
        !validRequestSize(request.scaledWidth, request.scaledHeight)) {
        return PictureError::InvalidPicture;
    }
    try {
        std::vector<std::uint8_t> data;
        switch (readWholeFile(widen(path), data)) {
        case ReadResult::NotFound:
            return PictureError::NotFound;
        case ReadResult::Unreadable:
            return PictureError::Unreadable;
        case ReadResult::TooLarge:
            return PictureError::InvalidPicture;
        case ReadResult::Ok:
            break;
        }
        if (data.empty() || !pictureContainerComplete(data)) {
            return PictureError::InvalidPicture;
        }
        // WIC reads no metafiles; GDI plays them.
        if (const std::optional<MetafileInfo> meta = inspectMetafile(data)) {
            return loadMetafile(data, *meta, request, out);
        }
        if (loadPlainBitmap(data, request, out) || loadPlainIcon(data, request, out)) {
            return PictureError::None;
        }
        const bool iconFile = isIconContainer(data);
        relabelCursorAsIcon(data);

        IWICImagingFactory* factory = wic();
        if (factory == nullptr) {
            return PictureError::InvalidPicture;
        }
        ComPtr<IWICStream> stream;
        ComPtr<IWICBitmapDecoder> decoder;
        ComPtr<IWICBitmapFrameDecode> frame;
        if (FAILED(factory->CreateStream(stream.put())) ||
            FAILED(stream->InitializeFromMemory(data.data(), static_cast<DWORD>(data.size()))) ||
            FAILED(factory->CreateDecoderFromStream(
                stream.get(), nullptr, WICDecodeMetadataCacheOnDemand, decoder.put())) ||
            FAILED(decoder->GetFrame(chooseFrame(decoder.get(), iconFile, request), frame.put()))) {
            return PictureError::InvalidPicture;
        }
        UINT w = 0;
        UINT h = 0;
        if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0 || w > 0x7FFFFFFF ||
            h > 0x7FFFFFFF) {
            return PictureError::InvalidPicture;
        }
        const bool huge = static_cast<std::uint64_t>(w) * h > kMaxPicturePixels;

        // The factory's converter rather than WICConvertBitmapSource: WIC is reached through COM
        // alone, so the program imports nothing from windowscodecs.dll.
        ComPtr<IWICFormatConverter> bgra;
        if (FAILED(factory->CreateFormatConverter(bgra.put())) ||
            FAILED(bgra->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                    WICBitmapDitherTypeNone, nullptr, 0.0,
                                    WICBitmapPaletteTypeCustom))) {
            return PictureError::InvalidPicture;
        }

        Picture pic;
        pic.width = static_cast<std::int32_t>(w);
        pic.height = static_cast<std::int32_t>(h);
        const std::int32_t cw = std::min(pic.width, request.cropWidth);
        const std::int32_t ch = std::min(pic.height, request.cropHeight);

        if (request.scaledWidth > 0 && request.scaledHeight > 0) {
            if (huge) {
                // Only a decoder that can scale while decoding is allowed near a huge picture.
                ComPtr<SourceTransform> transform;
                UINT tw = static_cast<UINT>(request.scaledWidth);
                UINT th = static_cast<UINT>(request.scaledHeight);
                BOOL canScale = FALSE;
                if (FAILED(frame->QueryInterface(kIidSourceTransform,
                                                 reinterpret_cast<void**>(transform.put()))) ||
                    FAILED(transform->GetClosestSize(&tw, &th)) ||
                    FAILED(transform->DoesSupportTransform(WICBitmapTransformRotate0, &canScale)) ||
                    canScale == FALSE || static_cast<std::uint64_t>(tw) * th > kMaxPicturePixels) {
                    return PictureError::InvalidPicture;
                }
                ComPtr<IWICBitmap> reduced;
                Bitmap reducedPixels;
                WICPixelFormatGUID fmt = GUID_WICPixelFormat32bppBGRA;
                if (FAILED(transform->GetClosestPixelFormat(&fmt)) ||
                    fmt != GUID_WICPixelFormat32bppBGRA) {
                    return PictureError::InvalidPicture;
                }
                reducedPixels =
                    Bitmap(static_cast<std::int32_t>(tw), static_cast<std::int32_t>(th), 0);
                if (FAILED(transform->CopyPixels(
                        nullptr, tw, th, &fmt, WICBitmapTransformRotate0, tw * 4, tw * th * 4,
                        reinterpret_cast<BYTE*>(reducedPixels.pixels.data()))) ||
                    FAILED(factory->CreateBitmapFromMemory(
                        tw, th, GUID_WICPixelFormat32bppBGRA, tw * 4, tw * th * 4,
                        reinterpret_cast<BYTE*>(reducedPixels.pixels.data()), reduced.put()))) {
                    return PictureError::InvalidPicture;
                }
                ComPtr<IWICBitmapScaler> scaler;
                if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
                    FAILED(scaler->Initialize(reduced.get(), static_cast<UINT>(request.scaledWidth),
                                              static_cast<UINT>(request.scaledHeight),
                                              WICBitmapInterpolationModeFant)) ||
                    !copyPixels(scaler.get(), nullptr, request.scaledWidth, request.scaledHeight,
                                pic.scaled)) {
                    return PictureError::InvalidPicture;
                }
            } else if (static_cast<std::int32_t>(w) == request.scaledWidth &&
                       static_cast<std::int32_t>(h) == request.scaledHeight) {
                if (!copyPixels(bgra.get(), nullptr, request.scaledWidth, request.scaledHeight,
                                pic.scaled)) {
                    return PictureError::InvalidPicture;
                }
            } else {
                ComPtr<IWICBitmapScaler> scaler;
                if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
                    FAILED(scaler->Initialize(bgra.get(), static_cast<UINT>(request.scaledWidth),
                                              static_cast<UINT>(request.scaledHeight),
                                              WICBitmapInterpolationModeFant)) ||
                    !copyPixels(scaler.get(), nullptr, request.scaledWidth, request.scaledHeight,
                                pic.scaled)) {
                    return PictureError::InvalidPicture;
                }
            }
        }
        if (cw > 0 && ch > 0) {
            if (huge) {
                // The top left corner of a huge picture would need the whole decode on most
                // decoders; the caller gets the scaled view only.
                return PictureError::InvalidPicture;
            }
            const WICRect rect{0, 0, cw, ch};
            if (!copyPixels(bgra.get(), &rect, cw, ch, pic.topLeft)) {
                return PictureError::InvalidPicture;
            }
        }
        out = std::move(pic);
        return PictureError::None;
    } catch (...) {
        // Out of memory while holding the file or a view: no picture, never an end.
        out = Picture{};
        return PictureError::InvalidPicture;
    }
}

} // namespace kesk::win
