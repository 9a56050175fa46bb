// A whole menu build (catalogue read, icon resolution, small copies, list
// filling, skin) for 100 and 1,000 items, also with its pictures read elsewhere, timed against the
// same build with the small copies made the old way: one colour read and one colour write per point
// through drawing surfaces. Natively the surfaces are objects behind a virtual call per point; on
// Windows also real GDI memory surfaces (GetPixel/SetPixel), the route the old runtime took. A
// build without any small copies shows the floor every route adds to.
//
// Usage: bench_menu_build [repetitions]   (default 15; the median is reported)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "catalogue/catalogue.h"
#include "menu/frmVelora.h"
#include "platform/desktop.h"
#include "settings/clsINIFile.h"
#include "support/appinfo.h"

#ifdef _WIN32
#include <windows.h>

#include "win32/menu_view.h"
#endif

namespace {

using namespace kesk;

// In-memory answers, so the run measures the build and not a disk or a shell:
// a hash lookup and block copies of rows, as fast as memory allows.
class BenchDesktop : public Desktop {
  public:
    std::unordered_map<std::string, Bitmap> icons;    // first icon of a program
    std::unordered_map<std::string, Bitmap> pictures; // picture files
    Point cursorPos() override { return {}; }
    ScreenMetrics screen() override { return {1024, 768, 15.0, 15.0}; }
    Rect taskbarRect() override { return {0, 738, 1024, 768}; }
    Rect startButtonRect() override { return {0, 738, 53, 768}; }
    std::vector<Colour> readScreen(const Rect&) override { return {}; }
    std::optional<Colour> systemColour(std::int32_t) override { return std::nullopt; }
    bool canOpenForReading(const std::string& path) override {
        return icons.count(path) != 0 || pictures.count(path) != 0;
    }
    bool pathExists(const std::string& path) override { return canOpenForReading(path); }
    // The program's own pictures are files that last changed long ago.
    std::optional<fileio::FileStamp> fileStamp(const std::string& path) override {
        if (pictures.count(path) == 0) {
            return std::nullopt;
        }
        fileio::FileStamp st;
        st.size = 1;
        st.modified = 1;
        return st;
    }
    PictureError loadPicture(const std::string& path, const PictureRequest& request,
                             Picture& out) override {
        const auto it = pictures.find(path);
        if (it == pictures.end()) {
            return PictureError::NotFound;
        }
        const Bitmap& p = it->second;
        out.width = p.width;
        out.height = p.height;
        out.topLeft =
            Bitmap(std::min(p.width, request.cropWidth), std::min(p.height, request.cropHeight));
        if (out.topLeft.width == p.width) {
            std::copy_n(p.pixels.begin(), out.topLeft.pixels.size(), out.topLeft.pixels.begin());
        }
        for (std::int32_t y = 0; out.topLeft.width != p.width && y < out.topLeft.height; ++y) {
            std::copy_n(
                p.pixels.begin() + static_cast<std::ptrdiff_t>(y) * p.width, out.topLeft.width,
                out.topLeft.pixels.begin() + static_cast<std::ptrdiff_t>(y) * out.topLeft.width);
        }
        out.scaled = request.scaledWidth > 0 ? Bitmap(request.scaledWidth, request.scaledHeight,
                                                      p.pixels.empty() ? 0 : p.pixels[0])
                                             : Bitmap();
        return PictureError::None;
    }
    std::int32_t iconCount(const std::string& path) override {
        return icons.count(path) != 0 ? 1 : 0;
    }
    bool extractIcon(const std::string& path, std::int32_t, std::int32_t, Bitmap& out) override {
        const auto it = icons.find(path);
        if (it == icons.end()) {
            return false;
        }
        out = it->second;
        return true;
    }
    bool shellIcon(const std::string&, std::int32_t, Bitmap&) override { return false; }
    void beep() override {}
    void messageBox(const std::string&, const std::string&) override {}
    std::vector<std::string> processNames() override { return {}; }
};

// --- The old route: a drawing surface that is read and written point by point ---
class PointSurface {
  public:
    virtual ~PointSurface() = default;
    virtual Colour point(std::int32_t x, std::int32_t y) = 0;
    virtual void pset(std::int32_t x, std::int32_t y, Colour c) = 0;
};

class MemorySurface final : public PointSurface {
  public:
    explicit MemorySurface(Bitmap& b) : b_(b) {}
    Colour point(std::int32_t x, std::int32_t y) override {
        if (x < 0 || y < 0 || x >= b_.width || y >= b_.height) {
            return -1;
        }
        return toColour(b_.at(x, y));
    }
    void pset(std::int32_t x, std::int32_t y, Colour c) override {
        if (x >= 0 && y >= 0 && x < b_.width && y < b_.height) {
            b_.at(x, y) = toArgb(c);
        }
    }

  private:
    Bitmap& b_;
};

// Surfaces are made per call through a factory the optimiser cannot see
// through, as the old runtime's picture boxes were reached through objects.
using SurfaceFactory = std::unique_ptr<PointSurface> (*)(Bitmap&);
std::unique_ptr<PointSurface> makeMemorySurface(Bitmap& b) {
    return std::make_unique<MemorySurface>(b);
}
volatile SurfaceFactory g_factory = &makeMemorySurface;

void shrinkPointByPoint(const Bitmap& large, Bitmap& small) {
    Bitmap& src = const_cast<Bitmap&>(large);
    const auto from = g_factory(src);
    const auto to = g_factory(small);
    const std::int32_t W = small.width;
    const std::int32_t H = small.height;
    for (std::int32_t i = 0; i < W; ++i) {
        for (std::int32_t j = 0; j < H; ++j) {
            to->pset(i, j, from->point(large.width * i / W, large.height * j / H));
        }
    }
}

#ifdef _WIN32
// Real GDI surfaces: the pictures live in memory-DC bitmaps and every point is
// one GetPixel and one SetPixel, as the old runtime's Point and PSet did.
struct GdiSurface {
    HDC dc = nullptr;
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    GdiSurface(int w, int h) {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bmp = CreateCompatibleBitmap(screen, std::max(w, 1), std::max(h, 1));
        ReleaseDC(nullptr, screen);
        old = SelectObject(dc, bmp);
    }
    ~GdiSurface() {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    GdiSurface(const GdiSurface&) = delete;
    GdiSurface& operator=(const GdiSurface&) = delete;
};

GdiSurface* g_large = nullptr;
GdiSurface* g_small = nullptr;

void shrinkThroughGdi(const Bitmap& large, Bitmap& small) {
    // The old build drew each icon onto the surface in one call before the
    // shrink; one block copy stands for that draw.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = large.width;
    info.bmiHeader.biHeight = -large.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    SetDIBitsToDevice(g_large->dc, 0, 0, static_cast<DWORD>(large.width),
                      static_cast<DWORD>(large.height), 0, 0, 0, static_cast<UINT>(large.height),
                      large.pixels.data(), &info, DIB_RGB_COLORS);
    const std::int32_t W = small.width;
    const std::int32_t H = small.height;
    for (std::int32_t i = 0; i < W; ++i) {
        for (std::int32_t j = 0; j < H; ++j) {
            const COLORREF c = GetPixel(g_large->dc, large.width * i / W, large.height * j / H);
            SetPixel(g_small->dc, i, j, c);
            small.at(i, j) = toArgb(static_cast<Colour>(c));
        }
    }
}
#endif

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << crlf;
}

// A catalogue of `n` items: a third programs with icons, a third with their
// own icon files, a third with missing targets (fallback, red entries).
void makeCatalogue(const std::filesystem::path& dir, int n, BenchDesktop& desk) {
    std::string text = "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n";
    for (int i = 0; i < n; ++i) {
        const std::string name = "Item" + std::to_string(i);
        std::string target = "C:\\Programs\\" + name + ".exe";
        std::string icon;
        switch (i % 3) {
        case 0:
            desk.icons[target] = Bitmap(32, 32, 0xFF000000u | static_cast<Pixel>(i * 2654435761u));
            break;
        case 1:
            icon = "C:\\Icons\\" + name + ".ico";
            desk.pictures[icon] = Bitmap(32, 32, 0xFF336699u);
            break;
        default:
            target = "C:\\Missing\\" + name + ".exe";
            break;
        }
        text += "[" + name + "]\nName=" + name + "\nTarget=" + target +
                "\nParam=\nWorkdir=\nIcon=" + icon +
                "\nGroup=" + catalogue::kGroupNames[static_cast<std::size_t>(i % 4)] + "\n";
    }
    writeFile(dir / "velora.ini", text);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One build of `form`, in milliseconds; a failed build ends the benchmark.
double timeBuild(frmVelora& form) {
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = form.Form_Construct();
    const auto t1 = std::chrono::steady_clock::now();
    if (!ok) {
        std::fprintf(stderr, "build failed: %s\n", form.state().lastBuildError.description.c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

// Keeps a build's picture jobs, as the program's worker would, without answering them.
class CollectingService : public PictureService {
  public:
    void submit(std::vector<PictureJob> submitted, std::uint64_t of) override {
        jobs = std::move(submitted);
        generation = of;
    }
    std::vector<PictureJob> jobs;
    std::uint64_t generation = 0;
};

struct Route {
    const char* name;
    frmVelora::ShrinkRoute shrink; // empty: ours
};

} // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    std::random_device rd;
    const auto dir =
        std::filesystem::temp_directory_path() / ("kesk_bench_menu_" + std::to_string(rd()));
    std::filesystem::create_directories(dir / "skin");
    app::overrideForTests(dir.string(), "KeskVLM");
    writeFile(dir / "skin" / "skin.ini", "[COLORS]\nLIST_BOX_BG=FFFFFF\nLIST_BOX_FG=000000\n");

#ifdef _WIN32
    GdiSurface largeSurface(32, 32);
    GdiSurface smallSurface(16, 16);
    g_large = &largeSurface;
    g_small = &smallSurface;
#endif

    std::printf("median of %d builds, milliseconds per whole build\n", reps);
    for (const int n : {100, 1000}) {
        BenchDesktop desk;
        desk.pictures[catalogue::ownFilePath(catalogue::kFallbackIconFile)] =
            Bitmap(32, 32, 0xFF808080u);
        desk.pictures[catalogue::ownFilePath(catalogue::kSkinBackgroundFile)] =
            Bitmap(573, 529, 0xFF400000u);
        makeCatalogue(dir, n, desk);
        // A file changed moments ago is read again at every access (its time
        // stamp cannot yet tell a later change apart); time the usual case of
        // a catalogue at rest.
        std::this_thread::sleep_for(std::chrono::milliseconds(2200));

        std::vector<Route> routes = {
            {"ours", {}},
            {"point by point (virtual surfaces)", shrinkPointByPoint},
#ifdef _WIN32
            {"point by point (GDI GetPixel/SetPixel)", shrinkThroughGdi},
#endif
            {"without any small copies", [](const Bitmap&, Bitmap&) {}},
        };
        // One window for every route, as the program has one: each build finds
        // the memory of the build before, whichever route that took.
        frmVelora form(desk);
        form.Form_Load(); // warm-up: the first build as the program runs it
        // The routes take turns, so a slow spell of the shared machine hits all alike.
        std::vector<std::vector<double>> times(routes.size());
        for (int r = 0; r < reps; ++r) {
            for (std::size_t k = 0; k < routes.size(); ++k) {
                form.setShrinkRoute(routes[k].shrink);
                times[k].push_back(timeBuild(form));
            }
        }
        const double ours = median(times[0]);
        // As the program builds: the pictures are read elsewhere (here on this thread, untimed,
        // through a cache as the worker's); the window's thread is held by the build and then
        // by taking the finished pictures in.
        std::vector<double> buildOnly;
        std::vector<double> takenIn;
        {
            CollectingService service;
            PictureCache cache;
            PictureResolver resolver(desk, &cache);
            frmVelora async(desk);
            async.setPictureService(&service);
            async.Form_Load();
            for (int r = 0; r < reps; ++r) {
                buildOnly.push_back(timeBuild(async));
                std::vector<PictureResult> results;
                for (const PictureJob& job : service.jobs) {
                    results.push_back(resolver.resolve(job));
                    results.back().generation = service.generation;
                }
                const auto t0 = std::chrono::steady_clock::now();
                async.picturesArrived(std::move(results));
                const auto t1 = std::chrono::steady_clock::now();
                takenIn.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            }
        }
#ifdef _WIN32
        // A rebuild as the user sees it: the build, its render into the real window and the
        // repaint, on the window shown. The first render fills every control; a rebuild of
        // an unchanged catalogue changes nothing in them.
        double firstShown = 0.0;
        std::vector<double> rebuiltShown;
        std::vector<double> droppedShown;
        {
            form.setShrinkRoute({});
            win::MenuView view(form);
            if (view.create()) {
                form.Show();
                const auto t0 = std::chrono::steady_clock::now();
                view.render();
                RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                const auto t1 = std::chrono::steady_clock::now();
                firstShown = std::chrono::duration<double, std::milli>(t1 - t0).count();
                for (int r = 0; r < reps; ++r) {
                    const auto b0 = std::chrono::steady_clock::now();
                    timeBuild(form);
                    view.render();
                    RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                    const auto b1 = std::chrono::steady_clock::now();
                    rebuiltShown.push_back(
                        std::chrono::duration<double, std::milli>(b1 - b0).count());
                }
                // A drop: one more item at the end of the catalogue, then the rebuild.
                clsINIFile ini;
                ini.setFilename(catalogue::cataloguePath());
                for (int r = 0; r < reps; ++r) {
                    const std::string sect = "Dropped" + std::to_string(r);
                    ini.setValue(sect, catalogue::kKeyName, sect);
                    ini.setValue(sect, catalogue::kKeyTarget, "C:\\Programs\\Item0.exe");
                    ini.setValue(sect, catalogue::kKeyGroup, catalogue::kGroupNames[0]);
                    const auto b0 = std::chrono::steady_clock::now();
                    timeBuild(form);
                    view.render();
                    RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                    const auto b1 = std::chrono::steady_clock::now();
                    droppedShown.push_back(
                        std::chrono::duration<double, std::milli>(b1 - b0).count());
                }
                form.Hide();
                view.render();
            }
        }
#endif
        std::printf("%5d items: %-40s %8.2f\n", n, routes[0].name, ours);
        std::printf("%5d items: %-40s %8.2f  (+ %.2f taking them in)\n", n,
                    "pictures read elsewhere: the build", median(buildOnly), median(takenIn));
        for (std::size_t k = 1; k < routes.size(); ++k) {
            const double t = median(times[k]);
            std::printf("%5d items: %-40s %8.2f  (x%.2f of ours)\n", n, routes[k].name, t,
                        t / ours);
        }
#ifdef _WIN32
        if (!rebuiltShown.empty()) {
            std::printf("%5d items: in the shown window: first render %.1f ms, rebuild with "
                        "render and repaint %.2f ms, the same after an added item %.2f ms\n",
                        n, firstShown, median(rebuiltShown), median(droppedShown));
        }
#endif
    }
    // The small copy alone, per icon: what a route costs apart from the rest
    // of the build.
    {
        const Bitmap large(32, 32, 0xFF336699u);
        Bitmap small(16, 16);
        const auto perIcon = [&](void (*route)(const Bitmap&, Bitmap&)) {
            constexpr int kIcons = 2000;
            std::vector<double> times;
            for (int r = 0; r < reps; ++r) {
                const auto t0 = std::chrono::steady_clock::now();
                for (int k = 0; k < kIcons; ++k) {
                    route(large, small);
                }
                const auto t1 = std::chrono::steady_clock::now();
                times.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() /
                                kIcons);
            }
            return median(times);
        };
        const double oursUs = perIcon(&kesk::shrinkIcon);
        const double virtUs = perIcon(&shrinkPointByPoint);
        std::printf("small copy alone, microseconds per 16x16 icon: ours %.3f | virtual surfaces "
                    "%.3f  x%.1f\n",
                    oursUs, virtUs, virtUs / oursUs);
#ifdef _WIN32
        const double gdiUs = perIcon(&shrinkThroughGdi);
        std::printf("small copy alone, microseconds per 16x16 icon: ours %.3f | GDI "
                    "GetPixel/SetPixel %.3f  x%.1f\n",
                    oursUs, gdiUs, gdiUs / oursUs);
#endif
    }
    app::overrideForTests("", "");
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
