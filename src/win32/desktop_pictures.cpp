// Picture files: the bytes are read and checked here (platform/picture_checks), then
// decoded by WIC (bitmaps, icons, cursors, GIF, JPEG, PNG) or played by GDI (metafiles) into
// the views the caller asked for.
#include "win32/desktop_win32.h"

#include "menu/dpi_sizes.h"
#include "platform/picture_checks.h"
#include "win32/dpi.h"
#include "win32/handles.h"
#include "win32/wtext.h"

#include <wincodec.h>

#include <algorithm>
#include <limits>

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

bool validRequestSize(std::int32_t w, std::int32_t h) noexcept {
    constexpr std::int32_t kSide = 16384;
    return w >= 0 && h >= 0 && w <= kSide && h <= kSide &&
           static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) <= kMaxPicturePixels;
}

} // namespace

IWICImagingFactory* Win32Desktop::wic() noexcept {
    if (wic_ == nullptr) {
        void* factory = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IWICImagingFactory, &factory))) {
            wic_ = static_cast<IWICImagingFactory*>(factory);
        }
    }
    return wic_;
}

PictureError Win32Desktop::loadPicture(const std::string& path, const PictureRequest& request,
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
