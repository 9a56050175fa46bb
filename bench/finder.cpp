// Type to find, per keystroke: ranking the whole catalogue at 1,000 and 10,000 items against a
// plain matcher that lower-cases and searches every name at each keystroke (and ranks
// nothing), in the same run. On Windows also the shown menu's update after a keystroke at
// 1,000 items: the presenter's handler, the render into the real controls and the repaint.

#include "menu/finder.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "catalogue/catalogue.h"
#include "menu/frmVelora.h"
#include "support/appinfo.h"
#include "win32/desktop_win32.h"
#include "win32/menu_view.h"
#endif

using Clock = std::chrono::steady_clock;
using kesk::finder::Candidate;

namespace {

const char* const kWords[] = {"Note",   "Paint",   "Task", "Manager", "Editor", "Backup",
                              "Report", "Über",    "Calc", "Music",   "Photo",  "Shell",
                              "Mail",   "Browser", "Game", "Studio",  "Tools",  "Viewer"};
constexpr std::size_t kWordCount = sizeof kWords / sizeof kWords[0];

std::vector<Candidate> makeItems(std::size_t n) {
    std::vector<Candidate> items;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string name = std::string(kWords[i % kWordCount]) + " " +
                                 kWords[(i / kWordCount) % kWordCount] + " " + std::to_string(i);
        items.push_back({name, "C:\\Programs\\app" + std::to_string(i) + ".exe",
                         static_cast<std::uint32_t>(i % 7)});
    }
    return items;
}

// What a first attempt does: every name lower-cased again at each keystroke, a substring
// search, no ranking.
std::size_t plainMatch(const std::vector<Candidate>& items, const std::string& query) {
    std::string q = query;
    for (char& c : q) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::size_t found = 0;
    for (const Candidate& item : items) {
        std::string name = item.name;
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        found += name.find(q) != std::string::npos ? 1 : 0;
    }
    return found;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The queries of typing "note ma", one per keystroke.
std::vector<std::string> keystrokes(const std::string& typed) {
    std::vector<std::string> queries;
    for (std::size_t k = 1; k <= typed.size(); ++k) {
        queries.push_back(typed.substr(0, k));
    }
    return queries;
}

#ifdef _WIN32
// Nobody reads pictures: the entries keep their placeholders, and the build times itself only.
class NoPictures : public kesk::PictureService {
  public:
    void submit(std::vector<kesk::PictureJob>, std::uint64_t) override {}
};

void shownMenu(int reps) {
    namespace fs = std::filesystem;
    std::random_device rd;
    const fs::path dir = fs::temp_directory_path() / ("kesk_bench_finder_" + std::to_string(rd()));
    fs::create_directories(dir / "skin");
    kesk::app::overrideForTests(dir.string(), "KeskVLM");
    std::ofstream(dir / "skin" / "skin.ini", std::ios::binary)
        << "[COLORS]\r\nLIST_BOX_BG=FFFFFF\r\nLIST_BOX_FG=000000\r\n";
    std::string text = "[Window]\r\nheightOffset=0\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
    const std::vector<Candidate> items = makeItems(1000);
    for (std::size_t i = 0; i < items.size(); ++i) {
        text += "[S" + std::to_string(i) + "]\r\nName=" + items[i].name +
                "\r\nTarget=" + items[i].target +
                "\r\nGroup=" + kesk::catalogue::kGroupNames[i % 4] + "\r\n";
    }
    std::ofstream(dir / "velora.ini", std::ios::binary) << text;

    kesk::win::Win32Desktop desktop;
    NoPictures pictures;
    kesk::frmVelora form(desktop);
    form.setPictureService(&pictures);
    form.Form_Load();
    kesk::win::MenuView view(form);
    if (!view.create()) {
        std::printf("the menu window could not be created\n");
        return;
    }
    form.Show();
    view.render();
    RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    // The baseline: a full repaint of the shown menu, with no keystroke and nothing changed.
    std::vector<double> repaint;
    for (int r = 0; r < reps * 7; ++r) {
        const auto t0 = Clock::now();
        RedrawWindow(view.hwnd(), nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        repaint.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::vector<double> perKey;
    double worst = 0.0;
    for (int r = 0; r < reps; ++r) {
        for (const char c : std::string("note ma")) {
            const auto t0 = Clock::now();
            form.Form_KeyPress(std::string(1, c));
            view.render();
            RedrawWindow(view.hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            perKey.push_back(ms);
            worst = std::max(worst, ms);
        }
        form.Form_KeyDown(kesk::MenuKey::Escape, false); // the query goes, the menu stays
        view.render();
    }
    std::printf(" 1000 items: the shown menu after a keystroke: median %.2f ms, worst %.2f ms "
                "(target under 16 ms); a full repaint alone %.2f ms (keystroke x%.2f of it)\n",
                median(perKey), worst, median(repaint), median(perKey) / median(repaint));
    form.Hide();
    view.render();
    kesk::app::overrideForTests("", "");
    std::error_code ec;
    fs::remove_all(dir, ec);
}
#endif

} // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const std::vector<std::string> queries = keystrokes("note ma");
    std::printf("median of %d runs of typing \"note ma\", microseconds per keystroke\n", reps);
    double oursAt1000 = 0.0;
    for (const std::size_t n : {std::size_t{1000}, std::size_t{10000}}) {
        const std::vector<Candidate> items = makeItems(n);
        kesk::finder::Finder finder;
        finder.setItems(items);
        std::vector<double> ours;
        std::vector<double> plain;
        std::size_t sink = 0;
        for (int r = 0; r < reps; ++r) {
            auto t0 = Clock::now();
            for (const std::string& q : queries) {
                sink += finder.find(q).size();
            }
            auto t1 = Clock::now();
            ours.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() /
                           static_cast<double>(queries.size()));
            t0 = Clock::now();
            for (const std::string& q : queries) {
                sink += plainMatch(items, q);
            }
            t1 = Clock::now();
            plain.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count() /
                            static_cast<double>(queries.size()));
        }
        const double o = median(ours);
        const double p = median(plain);
        std::printf("%6zu items: ranked %9.1f us | plain lower-case and search %9.1f us "
                    "(ours x%.2f of plain)",
                    n, o, p, o / p);
        if (n == 1000) {
            oursAt1000 = o;
            std::printf("\n");
        } else {
            std::printf(", growth from 1,000 x%.1f for x10 items\n", o / oursAt1000);
        }
        if (sink == 0) {
            std::printf("(nothing matched)\n");
        }
    }
#ifdef _WIN32
    shownMenu(std::max(3, reps / 3));
#endif
    return 0;
}
