#pragma once
// A scriptable Desktop for presenter tests: the test says which paths exist,
// which are readable files, which decode as pictures (of any size, without
// ever allocating the whole picture), which hold icons and what the shell
// answers; the fake records what it was asked.

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop.h"

namespace kesk::test {

class FakeDesktop : public Desktop {
  public:
    // A picture is described by its size and a colour per point, so a
    // 10,000 by 10,000 picture costs nothing until a part of it is asked for.
    struct FakePicture {
        std::int32_t width = 32;
        std::int32_t height = 32;
        std::function<Pixel(std::int32_t, std::int32_t)> pixel = [](std::int32_t, std::int32_t) {
            return Pixel{0xFF808080u};
        };
        bool corrupt = false; // exists, but does not decode
    };

    Point cursor;
    ScreenMetrics metrics{1024, 768, 15.0, 15.0};
    Rect taskbar{0, 738, 1024, 768};
    Rect startButton{0, 738, 53, 768};

    std::set<std::string> files;       // readable files
    std::set<std::string> directories; // exist, but cannot be opened as files
    std::map<std::string, FakePicture> pictures;
    std::map<std::string, std::vector<Bitmap>> icons; // icons stored in a file
    std::map<std::string, Bitmap> shellIcons;
    std::map<std::string, fileio::FileStamp> stamps; // files whose stamp can be told
    // The platform's system colours by index; an index not listed has none. Made up, so that
    // no test passes by an accident of a real theme.
    std::map<std::int32_t, Colour> systemColours{
        {0, 0x00C8C8C8}, {5, 0x00F4E8DC}, {8, 0x00102030}, {15, 0x00C8D0D4}, {30, 0x00ABCDEF}};

    // What stored paths resolve against: the program's folder (empty: relative
    // values used as they stand), the environment (names in upper case; looked
    // up without regard to case) and network hosts that do not answer (lower case).
    std::string folder;
    std::map<std::string, std::string> environment;
    std::set<std::string> silentHosts;
    std::vector<std::pair<std::string, std::int32_t>> hostChecks; // path and wait asked

    // Called at the start of every loadPicture, to provoke re-entrant requests.
    std::function<void()> onLoadPicture;

    // What was asked.
    std::vector<std::string> shellAsked;
    std::vector<std::int32_t> systemColoursAsked;
    std::vector<std::string> picturesAsked;
    std::vector<PictureRequest> pictureRequests;
    std::vector<std::string> iconCountAsked;
    std::vector<std::string> extractAsked;
    std::vector<std::string> readChecks; // canOpenForReading
    int beeps = 0;

    // --- Scripting helpers -------------------------------------------------------------
    void addPicture(const std::string& path, std::int32_t w, std::int32_t h, Pixel colour) {
        FakePicture p;
        p.width = w;
        p.height = h;
        p.pixel = [colour](std::int32_t, std::int32_t) { return colour; };
        pictures[path] = p;
    }
    void addCorruptPicture(const std::string& path) {
        FakePicture p;
        p.corrupt = true;
        pictures[path] = p;
    }
    void addExe(const std::string& path, Pixel colour, int iconCount = 1) {
        files.insert(path);
        icons[path] =
            std::vector<Bitmap>(static_cast<std::size_t>(iconCount), Bitmap(32, 32, colour));
    }

    // --- Desktop -------------------------------------------------------------------------
    Point cursorPos() override { return cursor; }
    ScreenMetrics screen() override { return metrics; }
    Rect taskbarRect() override { return taskbar; }
    Rect startButtonRect() override { return startButton; }
    // A whole shell's layout; unset: the one the two rectangles above make.
    std::optional<ShellReport> shell;
    ShellReport shellReport() override { return shell ? *shell : Desktop::shellReport(); }
    std::vector<Colour> readScreen(const Rect& area) override {
        return std::vector<Colour>(
            static_cast<std::size_t>(std::max(0, area.width()) * std::max(0, area.height())), 0);
    }

    std::optional<Colour> systemColour(std::int32_t index) override {
        systemColoursAsked.push_back(index);
        const auto it = systemColours.find(index);
        if (it == systemColours.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    bool canOpenForReading(const std::string& path) override {
        readChecks.push_back(path);
        return readable(path);
    }
    bool readable(const std::string& path) const {
        if (path.empty() || directories.count(path) != 0) {
            return false;
        }
        return files.count(path) != 0 || pictures.count(path) != 0 || icons.count(path) != 0;
    }
    bool pathExists(const std::string& path) override {
        return !path.empty() &&
               (readable(path) || directories.count(path) != 0 || shellIcons.count(path) != 0);
    }
    std::optional<fileio::FileStamp> fileStamp(const std::string& path) override {
        const auto it = stamps.find(path);
        if (it == stamps.end()) {
            return std::nullopt;
        }
        return it->second;
    }

    std::string programFolder() override { return folder; }
    std::optional<std::string> environmentVariable(const std::string& name) override {
        std::string key = name;
        std::transform(key.begin(), key.end(), key.begin(),
                       [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
        const auto it = environment.find(key);
        return it == environment.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    bool hostAnswers(const std::string& path, std::int32_t waitMs) override {
        hostChecks.emplace_back(path, waitMs);
        if (path.size() < 3 || path[0] != '\\' || path[1] != '\\') {
            return true;
        }
        std::string host = path.substr(2, path.find('\\', 2) - 2);
        std::transform(host.begin(), host.end(), host.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
        return silentHosts.count(host) == 0;
    }

    PictureError loadPicture(const std::string& path, const PictureRequest& request,
                             Picture& out) override {
        picturesAsked.push_back(path);
        pictureRequests.push_back(request);
        if (onLoadPicture) {
            onLoadPicture();
        }
        out = Picture{};
        const auto it = pictures.find(path);
        if (it == pictures.end()) {
            return readable(path) ? PictureError::InvalidPicture : PictureError::NotFound;
        }
        const FakePicture& p = it->second;
        if (p.corrupt) {
            return PictureError::InvalidPicture;
        }
        out.width = p.width;
        out.height = p.height;
        out.topLeft =
            Bitmap(std::min(p.width, request.cropWidth), std::min(p.height, request.cropHeight));
        for (std::int32_t y = 0; y < out.topLeft.height; ++y) {
            for (std::int32_t x = 0; x < out.topLeft.width; ++x) {
                out.topLeft.at(x, y) = p.pixel(x, y);
            }
        }
        if (request.scaledWidth > 0 && request.scaledHeight > 0) {
            out.scaled = Bitmap(request.scaledWidth, request.scaledHeight);
            for (std::int32_t y = 0; y < request.scaledHeight; ++y) {
                for (std::int32_t x = 0; x < request.scaledWidth; ++x) {
                    out.scaled.at(x, y) = p.pixel(
                        static_cast<std::int32_t>(std::int64_t{x} * p.width / request.scaledWidth),
                        static_cast<std::int32_t>(std::int64_t{y} * p.height /
                                                  request.scaledHeight));
                }
            }
        }
        return PictureError::None;
    }

    std::int32_t iconCount(const std::string& path) override {
        iconCountAsked.push_back(path);
        const auto it = icons.find(path);
        return it == icons.end() ? 0 : static_cast<std::int32_t>(it->second.size());
    }
    bool extractIcon(const std::string& path, std::int32_t index, std::int32_t size,
                     Bitmap& out) override {
        extractAsked.push_back(path);
        const auto it = icons.find(path);
        if (it == icons.end() || index < 0 ||
            static_cast<std::size_t>(index) >= it->second.size() ||
            it->second[static_cast<std::size_t>(index)].width != size) {
            return false;
        }
        out = it->second[static_cast<std::size_t>(index)];
        return true;
    }
    bool shellIcon(const std::string& path, std::int32_t size, Bitmap& out) override {
        shellAsked.push_back(path);
        const auto it = shellIcons.find(path);
        if (it == shellIcons.end() || it->second.width != size) {
            return false;
        }
        out = it->second;
        return true;
    }

    void beep() override { ++beeps; }
    void messageBox(const std::string& text, const std::string& title) override {
        messages.push_back(title + ": " + text);
    }
    std::vector<std::string> processNames() override { return processes; }
    void showFileLocation(const std::string& path) override { locationsShown.push_back(path); }

    std::vector<std::string> messages;
    std::vector<std::string> processes;
    std::vector<std::string> locationsShown; // showFileLocation, in order
};

} // namespace kesk::test
