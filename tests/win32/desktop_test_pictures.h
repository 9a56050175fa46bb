#pragma once
// Picture files made on the spot for the Windows-side tests: small valid files of every format
// the program reads, and damaged copies of them.

#include <windows.h>

#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace kesk::test {

using Bytes = std::vector<std::uint8_t>;

// A path as the program's UTF-8 text.
inline std::string u8(const std::filesystem::path& p) {
    const auto s = p.u8string();
    return std::string(s.begin(), s.end());
}
// A pixel colour for the makers below: 0xRRGGBB.
using RgbAt = std::function<std::uint32_t(int x, int y)>;

inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

inline void writeBytes(const std::filesystem::path& p, const Bytes& b) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Text with Windows line ends: every "\n" written as CR LF.
inline void writeText(const std::filesystem::path& p, const std::string& text) {
    Bytes b;
    for (char c : text) {
        if (c == '\n') {
            b.push_back('\r');
        }
        b.push_back(static_cast<std::uint8_t>(c));
    }
    writeBytes(p, b);
}

inline Bytes readBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A 24-bit bottom-up bitmap file.
inline Bytes makeBmp24(int w, int h, const RgbAt& rgb) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(w) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(h);
    Bytes b{'B', 'M'};
    put32(b, 54 + imageSize);
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(w));
    put32(b, static_cast<std::uint32_t>(h));
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, imageSize);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 0);
    put32(b, 0);
    for (int y = h - 1; y >= 0; --y) {
        std::uint32_t row = 0;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = rgb(x, y);
            b.push_back(static_cast<std::uint8_t>(c));       // blue
            b.push_back(static_cast<std::uint8_t>(c >> 8));  // green
            b.push_back(static_cast<std::uint8_t>(c >> 16)); // red
            row += 3;
        }
        for (; row < stride; ++row) {
            b.push_back(0);
        }
    }
    return b;
}

// An 8-bit run-length bitmap of one colour: small on disk whatever its size.
inline Bytes makeBmpRle8(int w, int h, std::uint32_t rgb) {
    Bytes rows;
    for (int y = 0; y < h; ++y) {
        for (int left = w; left > 0; left -= 255) {
            rows.push_back(static_cast<std::uint8_t>(left > 255 ? 255 : left));
            rows.push_back(0);
        }
        rows.push_back(0);
        rows.push_back(0); // end of line
    }
    rows.push_back(0);
    rows.push_back(1); // end of bitmap
    Bytes b{'B', 'M'};
    const std::uint32_t off = 14 + 40 + 4;
    put32(b, off + static_cast<std::uint32_t>(rows.size()));
    put32(b, 0);
    put32(b, off);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(w));
    put32(b, static_cast<std::uint32_t>(h));
    put16(b, 1);
    put16(b, 8);
    put32(b, 1); // BI_RLE8
    put32(b, static_cast<std::uint32_t>(rows.size()));
    put32(b, 2835);
    put32(b, 2835);
    put32(b, 1);
    put32(b, 0);
    put32(b, rgb & 0xFFFFFF); // palette entry 0: B, G, R, 0 in memory order
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

// An icon (or cursor) file with one 32-bit image per size; `argb` gives each image's colour,
// and the image's right half is transparent through its mask.
inline Bytes makeIco(const std::vector<std::pair<int, std::uint32_t>>& images,
                     bool cursor = false) {
    Bytes b;
    put16(b, 0);
    put16(b, cursor ? 2 : 1);
    put16(b, static_cast<std::uint32_t>(images.size()));
    std::vector<Bytes> blobs;
    for (const auto& [size, argb] : images) {
        Bytes img;
        const std::uint32_t maskStride = ((static_cast<std::uint32_t>(size) + 31) / 32) * 4;
        put32(img, 40);
        put32(img, static_cast<std::uint32_t>(size));
        put32(img, static_cast<std::uint32_t>(size * 2));
        put16(img, 1);
        put16(img, 32);
        put32(img, 0);
        put32(img, static_cast<std::uint32_t>(size * size * 4) + maskStride * size);
        put32(img, 0);
        put32(img, 0);
        put32(img, 0);
        put32(img, 0);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                put32(img, x < size / 2 ? argb : 0u);
            }
        }
        for (int y = 0; y < size; ++y) {
            for (std::uint32_t i = 0; i < maskStride; ++i) {
                std::uint8_t bits = 0;
                for (int bit = 0; bit < 8; ++bit) {
                    const int x = static_cast<int>(i * 8) + bit;
                    if (x >= size / 2) {
                        bits |= static_cast<std::uint8_t>(0x80 >> bit);
                    }
                }
                img.push_back(bits);
            }
        }
        blobs.push_back(std::move(img));
    }
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = images[i].first;
        b.push_back(static_cast<std::uint8_t>(size >= 256 ? 0 : size));
        b.push_back(static_cast<std::uint8_t>(size >= 256 ? 0 : size));
        b.push_back(0);
        b.push_back(0);
        put16(b, cursor ? 0 : 1);
        put16(b, cursor ? 0 : 32);
        put32(b, static_cast<std::uint32_t>(blobs[i].size()));
        put32(b, offset);
        offset += static_cast<std::uint32_t>(blobs[i].size());
    }
    for (const Bytes& blob : blobs) {
        b.insert(b.end(), blob.begin(), blob.end());
    }
    return b;
}

// A 1 by 1 GIF of one colour.
inline Bytes makeGif1x1(std::uint32_t rgb) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0};
    b.push_back(static_cast<std::uint8_t>(rgb >> 16));
    b.push_back(static_cast<std::uint8_t>(rgb >> 8));
    b.push_back(static_cast<std::uint8_t>(rgb));
    b.insert(b.end(), {0, 0, 0});
    b.insert(b.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
    return b;
}

// A picture encoded by the platform's own encoders (PNG, JPEG).
inline Bytes encodeWithWic(const GUID& container, int w, int h, const RgbAt& rgb,
                           const std::filesystem::path& scratch) {
    IWICImagingFactory* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&factory)))) {
        ADD_FAILURE() << "no WIC factory";
        return {};
    }
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = rgb(x, y);
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * w + x) * 3];
            p[0] = static_cast<std::uint8_t>(c);
            p[1] = static_cast<std::uint8_t>(c >> 8);
            p[2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    bool ok = SUCCEEDED(factory->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(scratch.c_str(), GENERIC_WRITE)) &&
              SUCCEEDED(factory->CreateEncoder(container, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
              SUCCEEDED(frame->Initialize(nullptr)) &&
              SUCCEEDED(frame->SetSize(static_cast<UINT>(w), static_cast<UINT>(h)));
    if (ok) {
        WICPixelFormatGUID fmt = GUID_WICPixelFormat24bppBGR;
        ok = SUCCEEDED(frame->SetPixelFormat(&fmt)) && fmt == GUID_WICPixelFormat24bppBGR &&
             SUCCEEDED(frame->WritePixels(static_cast<UINT>(h), static_cast<UINT>(w) * 3,
                                          static_cast<UINT>(pixels.size()), pixels.data())) &&
             SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    }
    if (frame != nullptr) {
        frame->Release();
    }
    if (encoder != nullptr) {
        encoder->Release();
    }
    if (stream != nullptr) {
        stream->Release();
    }
    factory->Release();
    if (!ok) {
        ADD_FAILURE() << "encoding failed";
        return {};
    }
    return readBytes(scratch);
}

// A filled rectangle of a metafile's drawing: (left, top) and size in its logical units,
// colour 0xRRGGBB.
struct MetaRect {
    int left;
    int top;
    int width;
    int height;
    std::uint32_t rgb;
};

inline void drawMetaRects(HDC dc, const std::vector<MetaRect>& rects) {
    for (const MetaRect& r : rects) {
        HBRUSH brush =
            CreateSolidBrush(RGB((r.rgb >> 16) & 0xFF, (r.rgb >> 8) & 0xFF, r.rgb & 0xFF));
        HGDIOBJ old = SelectObject(dc, brush);
        PatBlt(dc, r.left, r.top, r.width, r.height, PATCOPY);
        SelectObject(dc, old);
        DeleteObject(brush);
    }
}

// A Windows metafile recorded by GDI: a window of `w` by `h` logical units (its own origin
// and extent records) with `rects` painted in it; the rest is left unpainted.
inline Bytes makeWmf(int w, int h, const std::vector<MetaRect>& rects) {
    HDC dc = CreateMetaFileW(nullptr);
    if (dc == nullptr) {
        ADD_FAILURE() << "CreateMetaFile failed";
        return {};
    }
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, w, h, nullptr);
    drawMetaRects(dc, rects);
    HMETAFILE mf = CloseMetaFile(dc);
    const UINT n = GetMetaFileBitsEx(mf, 0, nullptr);
    Bytes b(n);
    GetMetaFileBitsEx(mf, n, b.data());
    DeleteMetaFile(mf);
    return b;
}

// The same metafile behind a placeable header: bounds in logical units, `inch` of them to the
// inch.
inline Bytes makePlaceable(const Bytes& wmf, int left, int top, int right, int bottom, int inch) {
    Bytes b;
    put32(b, 0x9AC6CDD7u);
    put16(b, 0);
    for (int v : {left, top, right, bottom, inch}) {
        put16(b, static_cast<std::uint32_t>(v) & 0xFFFF);
    }
    put32(b, 0);
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2) {
        sum ^= static_cast<std::uint32_t>(b[i] | (b[i + 1] << 8));
    }
    put16(b, sum);
    b.insert(b.end(), wmf.begin(), wmf.end());
    return b;
}

// An enhanced metafile recorded by GDI against the screen: a frame of `w` by `h` of the
// screen's pixels (as the screen tells its millimetres) with `rects` painted in it, in those
// pixels.
inline Bytes makeEmf(int w, int h, const std::vector<MetaRect>& rects) {
    HDC screen = GetDC(nullptr);
    const int hmm = GetDeviceCaps(screen, HORZSIZE) * 100;
    const int vmm = GetDeviceCaps(screen, VERTSIZE) * 100;
    const int hres = GetDeviceCaps(screen, HORZRES);
    const int vres = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    const RECT frame{0, 0, MulDiv(w, hmm, hres), MulDiv(h, vmm, vres)};
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, &frame, nullptr);
    if (dc == nullptr) {
        ADD_FAILURE() << "CreateEnhMetaFile failed";
        return {};
    }
    drawMetaRects(dc, rects);
    HENHMETAFILE mf = CloseEnhMetaFile(dc);
    const UINT n = GetEnhMetaFileBits(mf, 0, nullptr);
    Bytes b(n);
    GetEnhMetaFileBits(mf, n, b.data());
    DeleteEnhMetaFile(mf);
    return b;
}

// A fresh folder under the temp directory, removed with the object.
class TempDir {
  public:
    explicit TempDir(const std::string& tag) {
        path_ = std::filesystem::temp_directory_path() /
                ("kesk_" + tag + "_" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(GetTickCount64()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const noexcept { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// The same COM apartment the program's UI thread has.
class ComScope {
  public:
    ComScope() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (ok_) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

  private:
    bool ok_;
};

} // namespace kesk::test
