#include "win32/desktop_win32.h"

#include "win32/dpi.h"
#include "win32/handles.h"
#include "win32/wtext.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <tlhelp32.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
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

std::uint32_t le16(const std::uint8_t* p) noexcept {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8);
}
std::uint32_t le32(const std::uint8_t* p) noexcept {
    return le16(p) | (le16(p + 2) << 16);
}
std::uint32_t be32(const std::uint8_t* p) noexcept {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

bool startsWith(const std::vector<std::uint8_t>& d, const char* magic, std::size_t n) noexcept {
    return d.size() >= n && std::memcmp(d.data(), magic, n) == 0;
}

bool bmpComplete(const std::vector<std::uint8_t>& d) noexcept {
    const std::size_t size = d.size();
    if (size < 14 + 12) {
        return false;
    }
    const std::uint64_t offBits = le32(&d[10]);
    const std::uint32_t headerSize = le32(&d[14]);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = le16(&d[18]);
        height = le16(&d[20]);
        bitCount = le16(&d[24]);
    } else if (headerSize >= 40 && size >= 14 + 40) {
        width = static_cast<std::int32_t>(le32(&d[18]));
        height = static_cast<std::int32_t>(le32(&d[22]));
        bitCount = le16(&d[28]);
        compression = le32(&d[30]);
    } else {
        return false;
    }
    if (width <= 0 || height == 0 || offBits > size) {
        return false;
    }
    constexpr std::uint32_t kRgb = 0;
    constexpr std::uint32_t kBitfields = 3;
    if (compression != kRgb && compression != kBitfields) {
        return true; // run-length and embedded formats: the decoder judges them
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        return false;
    }
    const std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bitCount + 31) / 32) * 4;
    const std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
    return offBits + stride * rows <= size;
}

bool pngComplete(const std::vector<std::uint8_t>& d) noexcept {
    std::size_t pos = 8;
    bool sawHeader = false;
    while (pos + 12 <= d.size()) {
        const std::uint64_t length = be32(&d[pos]);
        const bool isHeader = std::memcmp(&d[pos + 4], "IHDR", 4) == 0;
        const bool isEnd = std::memcmp(&d[pos + 4], "IEND", 4) == 0;
        if (pos == 8 && !isHeader) {
            return false;
        }
        sawHeader = sawHeader || isHeader;
        const std::uint64_t next = pos + 12 + length;
        if (next > d.size()) {
            return false;
        }
        if (isEnd) {
            return sawHeader;
        }
        pos = static_cast<std::size_t>(next);
    }
    return false;
}

// Skips a chain of GIF data sub-blocks starting at pos; returns the position after the
// terminating empty block, or 0 if the data ends first.
std::size_t gifSkipSubBlocks(const std::vector<std::uint8_t>& d, std::size_t pos) noexcept {
    while (pos < d.size()) {
        const std::size_t len = d[pos];
        pos += 1 + len;
        if (len == 0) {
            return pos;
        }
    }
    return 0;
}

bool gifComplete(const std::vector<std::uint8_t>& d) noexcept {
    if (d.size() < 13) {
        return false;
    }
    std::size_t pos = 13;
    if ((d[10] & 0x80) != 0) {
        pos += 3u * (1u << ((d[10] & 0x07) + 1));
    }
    bool sawImage = false;
    while (pos < d.size()) {
        const std::uint8_t kind = d[pos];
        if (kind == 0x3B) {
            return sawImage;
        }
        if (kind == 0x21) {
            if (pos + 2 > d.size()) {
                return false;
            }
            pos = gifSkipSubBlocks(d, pos + 2);
        } else if (kind == 0x2C) {
            if (pos + 10 > d.size()) {
                return false;
            }
            const std::uint8_t flags = d[pos + 9];
            pos += 10;
            if ((flags & 0x80) != 0) {
                pos += 3u * (1u << ((flags & 0x07) + 1));
            }
            pos += 1; // LZW minimum code size
            if (pos > d.size()) {
                return false;
            }
            pos = gifSkipSubBlocks(d, pos);
            sawImage = true;
        } else {
            return false;
        }
        if (pos == 0) {
            return false;
        }
    }
    return false;
}

bool jpegComplete(const std::vector<std::uint8_t>& d) noexcept {
    // Walk the marker segments up to the first scan, then look for the end-of-image marker
    // behind it (bytes after it are allowed: some writers append data).
    std::size_t pos = 2;
    while (pos + 4 <= d.size()) {
        if (d[pos] != 0xFF) {
            return false;
        }
        const std::uint8_t marker = d[pos + 1];
        if (marker == 0xFF) {
            ++pos; // fill byte
            continue;
        }
        if (marker == 0xD9) {
            return false; // end before any scan
        }
        const std::size_t length = (static_cast<std::size_t>(d[pos + 2]) << 8) | d[pos + 3];
        if (length < 2) {
            return false;
        }
        pos += 2 + length;
        if (marker == 0xDA) {
            for (std::size_t i = pos; i + 1 < d.size(); ++i) {
                if (d[i] == 0xFF && d[i + 1] == 0xD9) {
                    return true;
                }
            }
            return false;
        }
    }
    return false;
}

bool icoComplete(const std::vector<std::uint8_t>& d) noexcept {
    const std::uint32_t count = le16(&d[4]);
    if (count == 0 || 6 + 16ull * count > d.size()) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &d[6 + 16 * i];
        const std::uint64_t bytes = le32(e + 8);
        const std::uint64_t offset = le32(e + 12);
        if (bytes < 40 || offset < 6 + 16ull * count || offset + bytes > d.size()) {
            return false;
        }
    }
    return true;
}

bool isIconContainer(const std::vector<std::uint8_t>& d) noexcept {
    return d.size() >= 6 && le16(&d[0]) == 0 && (le16(&d[2]) == 1 || le16(&d[2]) == 2);
}

enum class ReadResult { Ok, NotFound, Unreadable, TooLarge };

ReadResult readWholeFile(const std::wstring& path, std::vector<std::uint8_t>& out) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        const DWORD err = GetLastError();
        const bool missing = attributes != INVALID_FILE_ATTRIBUTES || err == ERROR_FILE_NOT_FOUND ||
                             err == ERROR_PATH_NOT_FOUND || err == ERROR_INVALID_NAME ||
                             err == ERROR_BAD_NETPATH || err == ERROR_INVALID_DRIVE;
        return missing ? ReadResult::NotFound : ReadResult::Unreadable;
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return ReadResult::Unreadable;
    }
    ReadResult result = ReadResult::Ok;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) == 0) {
        result = ReadResult::Unreadable;
    } else if (static_cast<std::uint64_t>(size.QuadPart) > kMaxPictureFileBytes) {
        result = ReadResult::TooLarge;
    } else {
        out.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (done < out.size()) {
            DWORD got = 0;
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 24));
            if (ReadFile(file, out.data() + done, want, &got, nullptr) == 0) {
                result = ReadResult::Unreadable;
                break;
            }
            if (got == 0) {
                out.resize(done); // the file shrank while we read it
                break;
            }
            done += got;
        }
    }
    CloseHandle(file);
    return result;
}

// Cursor files are icon files with hotspots in place of two directory fields; the icon decoder
// reads them once they are labelled as icons.
void relabelCursorAsIcon(std::vector<std::uint8_t>& d) noexcept {
    if (!isIconContainer(d) || le16(&d[2]) != 2) {
        return;
    }
    d[2] = 1;
    const std::uint32_t count = le16(&d[4]);
    for (std::uint32_t i = 0; i < count && 6 + 16 * i + 16 <= d.size(); ++i) {
        std::uint8_t* e = &d[6 + 16 * i];
        e[4] = 1; // planes
        e[5] = 0;
        e[6] = 0; // bit count: taken from the image itself
        e[7] = 0;
    }
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

// Picks the frame to show: for icon files the image whose size fits the request best (the
// 32 by 32 one for an image list of that size), otherwise the first frame.
UINT chooseFrame(IWICBitmapDecoder* decoder, bool iconFile, const PictureRequest& req) {
    UINT count = 0;
    if (FAILED(decoder->GetFrameCount(&count)) || count <= 1 || !iconFile) {
        return 0;
    }
    const UINT wantW = static_cast<UINT>(req.scaledWidth > 0 ? req.scaledWidth : req.cropWidth);
    const UINT wantH = static_cast<UINT>(req.scaledHeight > 0 ? req.scaledHeight : req.cropHeight);
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IWICBitmapFrameDecode> frame;
        UINT w = 0;
        UINT h = 0;
        if (SUCCEEDED(decoder->GetFrame(i, frame.put())) && SUCCEEDED(frame->GetSize(&w, &h)) &&
            w == wantW && h == wantH) {
            return i;
        }
    }
    return 0;
}

bool validRequestSize(std::int32_t w, std::int32_t h) noexcept {
    constexpr std::int32_t kSide = 16384;
    return w >= 0 && h >= 0 && w <= kSide && h <= kSide &&
           static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) <= kMaxPicturePixels;
}

bool trimmedEmpty(const std::string& s) noexcept {
    return s.find_first_not_of(' ') == std::string::npos;
}

} // namespace

// --- Pictures ------------------------------------------------------------------------------

bool pictureContainerComplete(const std::vector<std::uint8_t>& data) noexcept {
    if (startsWith(data, "BM", 2)) {
        return bmpComplete(data);
    }
    if (startsWith(data, "\x89PNG\r\n\x1a\n", 8)) {
        return pngComplete(data);
    }
    if (startsWith(data, "GIF87a", 6) || startsWith(data, "GIF89a", 6)) {
        return gifComplete(data);
    }
    if (startsWith(data, "\xFF\xD8", 2)) {
        return jpegComplete(data);
    }
    if (isIconContainer(data)) {
        return icoComplete(data);
    }
    return true;
}

Win32Desktop::Win32Desktop() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    comInitialized_ = SUCCEEDED(hr);
}

Win32Desktop::~Win32Desktop() {
    if (wic_ != nullptr) {
        wic_->Release();
    }
    if (comInitialized_) {
        CoUninitialize();
    }
}

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

// --- Icons -------------------------------------------------------------------------------------

Bitmap iconToBitmap(HICON icon, int size) {
    if (icon == nullptr || size <= 0 || size > 1024) {
        return {};
    }
    // Drawn once on black and once on white: where the two agree the icon is opaque, where they
    // differ by the full range it is transparent. That gives the alpha of any icon, whether it
    // carries an alpha channel or only a mask.
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = size;
    bi.bmiHeader.biHeight = -size;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    UniqueDC dc(CreateCompatibleDC(nullptr));
    if (!dc) {
        return {};
    }
    void* bitsBlack = nullptr;
    void* bitsWhite = nullptr;
    UniqueBitmap black(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bitsBlack, nullptr, 0));
    UniqueBitmap white(CreateDIBSection(dc.get(), &bi, DIB_RGB_COLORS, &bitsWhite, nullptr, 0));
    if (!black || !white || bitsBlack == nullptr || bitsWhite == nullptr) {
        return {};
    }
    const std::size_t n = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
    auto* pb = static_cast<std::uint32_t*>(bitsBlack);
    auto* pw = static_cast<std::uint32_t*>(bitsWhite);
    std::fill(pb, pb + n, 0x00000000u);
    std::fill(pw, pw + n, 0x00FFFFFFu);
    {
        SelectGuard sel(dc.get(), black.get());
        if (DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) == 0) {
            return {};
        }
    }
    {
        SelectGuard sel(dc.get(), white.get());
        if (DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL) == 0) {
            return {};
        }
    }
    GdiFlush();
    Bitmap out(size, size, 0);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t b = pb[i];
        const std::uint32_t w = pw[i];
        std::uint32_t rgb = 0;
        int alphaSum = 0;
        int channels[3] = {};
        for (int c = 0; c < 3; ++c) {
            const int cb = static_cast<int>((b >> (8 * c)) & 0xFF);
            const int cw = static_cast<int>((w >> (8 * c)) & 0xFF);
            channels[c] = cb;
            alphaSum += 255 - std::clamp(cw - cb, 0, 255);
        }
        const int alpha = (alphaSum + 1) / 3;
        if (alpha > 0) {
            for (int c = 0; c < 3; ++c) {
                // On black the drawn colour is premultiplied; undo that.
                const int v = std::min(255, (channels[c] * 255 + alpha / 2) / alpha);
                rgb |= static_cast<std::uint32_t>(v) << (8 * c);
            }
        }
        out.pixels[i] = (static_cast<std::uint32_t>(alpha) << 24) | rgb;
    }
    return out;
}

std::int32_t Win32Desktop::iconCount(const std::string& path) {
    if (path.empty()) {
        return 0;
    }
    try {
        const std::wstring w = widen(path);
        const DWORD attributes = GetFileAttributesW(w.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return 0;
        }
        const UINT n = ExtractIconExW(w.c_str(), -1, nullptr, nullptr, 0);
        // A failure comes back as UINT_MAX on some platforms; a file has far fewer icons.
        if (n == 0 || n > 0xFFFF) {
            return 0;
        }
        return static_cast<std::int32_t>(n);
    } catch (...) {
        return 0;
    }
}

bool Win32Desktop::extractIcon(const std::string& path, std::int32_t index, std::int32_t size,
                               Bitmap& out) {
    if (path.empty() || index < 0 || size <= 0) {
        return false;
    }
    try {
        const std::wstring w = widen(path);
        HICON raw = nullptr;
        UINT id = 0;
        const UINT got = PrivateExtractIconsW(w.c_str(), index, size, size, &raw, &id, 1, 0);
        if (got == 0 || got == 0xFFFFFFFF || raw == nullptr) {
            // Older platforms: the system-size icon, drawn at the wanted size.
            raw = ExtractIconW(GetModuleHandleW(nullptr), w.c_str(), static_cast<UINT>(index));
            if (reinterpret_cast<UINT_PTR>(raw) <= 1) {
                return false; // 0: no icon; 1: not a file that holds icons
            }
        }
        UniqueIcon icon(raw);
        Bitmap bmp = iconToBitmap(icon.get(), size);
        if (bmp.empty()) {
            return false;
        }
        out = std::move(bmp);
        return true;
    } catch (...) {
        return false;
    }
}

bool Win32Desktop::shellIcon(const std::string& path, std::int32_t size, Bitmap& out) {
    if (trimmedEmpty(path) || size <= 0) {
        return false;
    }
    try {
        SHFILEINFOW info{};
        if (SHGetFileInfoW(widen(path).c_str(), 0, &info, sizeof info, SHGFI_ICON) == 0 ||
            info.hIcon == nullptr) {
            return false;
        }
        UniqueIcon icon(info.hIcon);
        Bitmap bmp = iconToBitmap(icon.get(), size);
        if (bmp.empty()) {
            return false;
        }
        out = std::move(bmp);
        return true;
    } catch (...) {
        return false;
    }
}

// --- Screen and taskbar ------------------------------------------------------------------------

Point Win32Desktop::cursorPos() {
    POINT p{};
    if (GetCursorPos(&p) == 0) {
        return {};
    }
    return Point{p.x, p.y};
}

ScreenMetrics Win32Desktop::screen() {
    ScreenMetrics m;
    m.widthPixels = GetSystemMetrics(SM_CXSCREEN);
    m.heightPixels = GetSystemMetrics(SM_CYSCREEN);
    UINT dpi = dpiOf(nullptr);
    if (dpi == 0) {
        dpi = 96;
    }
    m.twipsPerPixelX = 1440.0 / dpi;
    m.twipsPerPixelY = 1440.0 / dpi;
    return m;
}

namespace {
Rect windowRect(HWND hwnd) noexcept {
    RECT r{};
    if (hwnd == nullptr || GetWindowRect(hwnd, &r) == 0) {
        return {};
    }
    return Rect{r.left, r.top, r.right, r.bottom};
}
HWND findTaskbar() noexcept {
    return FindWindowW(L"Shell_TrayWnd", L"");
}
} // namespace

Rect Win32Desktop::taskbarRect() {
    return windowRect(findTaskbar());
}

Rect Win32Desktop::startButtonRect() {
    HWND tray = findTaskbar();
    return tray == nullptr ? Rect{} : windowRect(GetWindow(tray, GW_CHILD));
}

std::vector<Colour> Win32Desktop::readScreen(const Rect& area) {
    const std::int64_t w = area.width();
    const std::int64_t h = area.height();
    if (w <= 0 || h <= 0 || w * h > (16 << 20)) {
        return {};
    }
    std::vector<Colour> out(static_cast<std::size_t>(w * h), static_cast<Colour>(-1));
    // Only the part on the screen can be read; the rest stays "unreadable", as GetPixel says.
    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const Rect visible{std::max(area.left, vx), std::max(area.top, vy),
                       std::min(area.right, vx + GetSystemMetrics(SM_CXVIRTUALSCREEN)),
                       std::min(area.bottom, vy + GetSystemMetrics(SM_CYVIRTUALSCREEN))};
    if (visible.width() <= 0 || visible.height() <= 0) {
        return out;
    }
    WindowDC screenDc(nullptr);
    UniqueDC mem(CreateCompatibleDC(screenDc.get()));
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = visible.width();
    bi.bmiHeader.biHeight = -visible.height();
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap dib(CreateDIBSection(mem.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!screenDc || !mem || !dib || bits == nullptr) {
        return out;
    }
    {
        SelectGuard sel(mem.get(), dib.get());
        if (BitBlt(mem.get(), 0, 0, visible.width(), visible.height(), screenDc.get(), visible.left,
                   visible.top, SRCCOPY) == 0) {
            return out;
        }
    }
    GdiFlush();
    const auto* px = static_cast<const std::uint32_t*>(bits);
    for (std::int32_t y = 0; y < visible.height(); ++y) {
        for (std::int32_t x = 0; x < visible.width(); ++x) {
            const std::size_t dst =
                static_cast<std::size_t>(y + visible.top - area.top) * static_cast<std::size_t>(w) +
                static_cast<std::size_t>(x + visible.left - area.left);
            out[dst] = toColour(px[static_cast<std::size_t>(y) * visible.width() + x]);
        }
    }
    return out;
}

// --- Files -------------------------------------------------------------------------------------

bool Win32Desktop::canOpenForReading(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    try {
        // A directory cannot be opened this way (no backup semantics), so it counts as absent.
        HANDLE f =
            CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(f);
        return true;
    } catch (...) {
        return false;
    }
}

bool Win32Desktop::pathExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    try {
        return PathFileExistsW(widen(path).c_str()) != 0;
    } catch (...) {
        return false;
    }
}

std::optional<fileio::FileStamp> Win32Desktop::fileStamp(const std::string& path) {
    try {
        return fileio::stat(path);
    } catch (...) {
        return std::nullopt;
    }
}

// --- Feedback and processes --------------------------------------------------------------------

void Win32Desktop::beep() {
    MessageBeep(MB_OK);
}

void Win32Desktop::messageBox(const std::string& text, const std::string& title) {
    try {
        MessageBoxW(nullptr, widen(text).c_str(), widen(title).c_str(), MB_OK);
    } catch (...) {
        // Nothing to report a failed report to.
    }
}

std::vector<std::string> Win32Desktop::processNames() {
    std::vector<std::string> names;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) {
        return names;
    }
    try {
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32FirstW(snap, &entry); ok != 0; ok = Process32NextW(snap, &entry)) {
            names.push_back(narrow(entry.szExeFile));
        }
    } catch (...) {
        // Whatever was listed before the failure.
    }
    CloseHandle(snap);
    return names;
}

} // namespace kesk::win
