// The catalogue reads of one menu build, through clsINIFile and (on Windows)
// through the platform's own profile functions, on generated catalogues of
// 100, 1,000 and 10,000 items.
//
// A build reads: heightOffset of Window, the section list, Width and Height
// of SmallIconSize, then per section Group and, for an item, Icon, Target,
// Param, Name and Workdir.
//
// Two cases for our engine: "at rest" (the file was last written a while
// ago: the usual build when the menu is shown) and "just written" (a build
// straight after a write of the catalogue, as after an edit or a drop, when
// every read also compares the file's bytes; see profilestore.cpp).
//
// The baseline "one query per read" is the least a read that must see the
// file as it is now can cost: one query of the file's size and times per
// read, as many as the build makes, and nothing else.

#include "platform/fileio.h"
#include "settings/clsINIFile.h"
#include "settings/profilestore.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kGroups[] = {"Tools", "Applications", "Documents", "Scripts"};

std::string catalogue(int items) {
    std::string s = "[Window]\r\nheightOffset=150\r\n[SmallIconSize]\r\nWidth=16\r\nHeight=16\r\n";
    for (int i = 0; i < items; ++i) {
        const std::string n = std::to_string(i);
        s += "[Item" + n + "]\r\nName=Program " + n + "\r\nTarget=C:\\Programs\\App" + n + "\\app" +
             n + ".exe\r\nParam=/open \"C:\\Data\\file" + n + ".txt\"\r\nWorkdir=C:\\Data\r\n" +
             "Icon=\r\nGroup=" + kGroups[i % 4] + "\r\n";
    }
    return s;
}

std::string nativePath(const fs::path& p) {
    const std::u8string u = p.u8string();
    return std::string(u.begin(), u.end());
}

// How many reads one build makes; set by buildOurs.
std::size_t readsPerBuild = 0;

// One build's reads through clsINIFile; returns a checksum so nothing is optimised away.
// A build reads from one snapshot of the catalogue (see ReadSnapshot);
// `snapshot` false shows what the reads cost without that.
std::size_t buildOurs(const std::string& path, bool snapshot = true) {
    std::optional<kesk::ini::ReadSnapshot> taken;
    if (snapshot) {
        taken.emplace(path);
    }
    kesk::clsINIFile ini;
    ini.setFilename(path);
    std::size_t sum = static_cast<std::size_t>(ini.getInteger("Window", "heightOffset"));
    std::vector<std::string> sections;
    ini.getSectionList(sections);
    sum += static_cast<std::size_t>(ini.getInteger("SmallIconSize", "Width"));
    sum += static_cast<std::size_t>(ini.getInteger("SmallIconSize", "Height"));
    std::size_t reads = 4;
    for (const std::string& s : sections) {
        const std::string group = ini.getString(s, "Group");
        ++reads;
        if (group.empty()) {
            continue;
        }
        for (const char* key : {"Icon", "Target", "Param", "Name", "Workdir"}) {
            sum += ini.getString(s, key).size();
            ++reads;
        }
    }
    readsPerBuild = reads;
    return sum;
}

std::size_t queriesOnly(const std::string& path) {
    std::size_t sum = 0;
    for (std::size_t i = 0; i < readsPerBuild; ++i) {
        sum += static_cast<std::size_t>(kesk::fileio::nowTicks() & 1);
        sum += static_cast<std::size_t>(
            kesk::fileio::stat(path).value_or(kesk::fileio::FileStamp{}).size);
    }
    return sum;
}

#ifdef _WIN32
std::wstring wide(const std::string& s) {
    std::wstring w(s.size(), L'\0');
    w.resize(static_cast<std::size_t>(MultiByteToWideChar(
        CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), static_cast<int>(w.size()))));
    return w;
}

std::size_t buildPlatform(const std::wstring& path) {
    wchar_t buf[256];
    auto get = [&](const wchar_t* sect, const wchar_t* key) {
        return GetPrivateProfileStringW(sect, key, L"", buf, 256, path.c_str());
    };
    std::size_t sum = get(L"Window", L"heightOffset");
    std::vector<wchar_t> names(1 << 20);
    const DWORD n = GetPrivateProfileSectionNamesW(names.data(), static_cast<DWORD>(names.size()),
                                                   path.c_str());
    sum += get(L"SmallIconSize", L"Width");
    sum += get(L"SmallIconSize", L"Height");
    for (DWORD pos = 0; pos < n && names[pos] != 0;) {
        const std::wstring s(&names[pos]);
        pos += static_cast<DWORD>(s.size()) + 1;
        if (get(s.c_str(), L"Group") == 0) {
            continue;
        }
        for (const wchar_t* key : {L"Icon", L"Target", L"Param", L"Name", L"Workdir"}) {
            sum += get(s.c_str(), key);
        }
    }
    return sum;
}
#endif

// Seconds per build: the fastest of enough repetitions to fill `budget`.
template <class F> double secondsPerBuild(F&& build, double budget, int minRuns) {
    double best = 1e300;
    const auto start = Clock::now();
    int runs = 0;
    volatile std::size_t sink = 0;
    while (runs < minRuns || std::chrono::duration<double>(Clock::now() - start).count() < budget) {
        const auto t0 = Clock::now();
        sink = sink + build();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
        ++runs;
    }
    return best;
}

} // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "kesk_bench_ini_read";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const int sizes[] = {100, 1000, 10000};
    std::vector<std::string> paths;
    for (const int items : sizes) {
        paths.push_back(nativePath(dir / ("velora" + std::to_string(items) + ".ini")));
        std::ofstream(fs::u8path(paths.back()), std::ios::binary) << catalogue(items);
    }
    // Let the files come to rest: older than any file system's timestamp step.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));

    std::printf("%7s %7s %11s %11s %11s %11s %11s %9s %9s\n", "items", "reads", "query/read",
                "ours rest", "no snapshot", "ours fresh", "platform", "plat/ours", "ours/query");
    std::printf("%7s %7s %11s %11s %11s %11s %11s %9s %9s\n", "", "", "ms", "ms", "ms", "ms", "ms",
                "", "");
    double oursAt1000 = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        const double rest = secondsPerBuild([&] { return buildOurs(path); }, 1.0, 3);
        const double noSnapshot = secondsPerBuild([&] { return buildOurs(path, false); }, 1.0, 3);
        const double floor = secondsPerBuild([&] { return queriesOnly(path); }, 1.0, 3);
        // Each build straight after a write of the catalogue, through another object.
        const double fresh = secondsPerBuild(
            [&] {
                kesk::clsINIFile writer;
                writer.setFilename(path);
                writer.setValue("Window", "heightOffset",
                                std::to_string(Clock::now().time_since_epoch().count() % 1000));
                return buildOurs(path);
            },
            1.0, 3);
        double platform = 0;
#ifdef _WIN32
        // Several seconds a build at 10,000 items: a single run there.
        const std::wstring w = wide(path);
        platform =
            secondsPerBuild([&] { return buildPlatform(w); }, sizes[i] >= 10000 ? 0.0 : 2.0, 1);
#endif
        if (sizes[i] == 1000) {
            oursAt1000 = rest;
        }
        char ratio[32] = "-";
        if (platform > 0) {
            std::snprintf(ratio, sizeof ratio, "%.1f", platform / rest);
        }
        std::printf("%7d %7zu %11.3f %11.3f %11.3f %11.3f %11.3f %9s %9.2f\n", sizes[i],
                    readsPerBuild, floor * 1e3, rest * 1e3, noSnapshot * 1e3, fresh * 1e3,
                    platform * 1e3, ratio, rest / floor);
        if (sizes[i] == 10000 && oursAt1000 > 0) {
            std::printf("growth 1,000 -> 10,000 items (ours at rest): %.1fx\n", rest / oursAt1000);
        }
    }
    fs::remove_all(dir);
    return 0;
}
