#pragma once
// A program directory in a temp folder (catalogue, skin) plus the fake
// desktop, for tests of the menu window's presenter.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "catalogue/catalogue.h"
#include "menu/frmVelora.h"
#include "support/appinfo.h"
#include "unit/fake_desktop.h"

namespace kesk::test {

inline constexpr Pixel kFallbackPixel = 0xFF112233u;

class MenuFixture : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    FakeDesktop desk;

    void SetUp() override {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() /
              ("kesk_menu_" + std::to_string(rd()) + "_" + std::to_string(rd()));
        std::filesystem::create_directories(dir / "skin");
        app::overrideForTests(dir.string(), "KeskVLM");
        desk.addPicture(own(catalogue::kFallbackIconFile), 32, 32, kFallbackPixel);
        desk.addPicture(own(catalogue::kSkinBackgroundFile), 200, 100, 0xFF000080u);
        writeSkin("[COLORS]\nLIST_BOX_BG=FFFFFF\nLIST_BOX_FG=000000\n");
    }
    void TearDown() override {
        app::overrideForTests("", "");
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    static std::string own(const char* name) { return catalogue::ownFilePath(name); }

    // Lines end in CR LF, as the files the program reads are written.
    static void writeFile(const std::string& path, const std::string& text) {
        std::string crlf;
        for (char c : text) {
            if (c == '\n') {
                crlf += '\r';
            }
            crlf += c;
        }
        std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
        out << crlf;
    }
    void writeCatalogue(const std::string& text) { writeFile(catalogue::cataloguePath(), text); }
    void writeSkin(const std::string& text) { writeFile(catalogue::skinPath(), text); }

    static std::vector<std::string> keysOf(const ListViewState& list) {
        std::vector<std::string> keys;
        for (const ListEntry& e : list.entries) {
            keys.push_back(e.key);
        }
        return keys;
    }
    static std::string item(const std::string& section, const std::string& group,
                            const std::string& target = "", const std::string& icon = "") {
        return "[" + section + "]\nName=" + section + "\nTarget=" + target +
               "\nParam=\nWorkdir=\nIcon=" + icon + "\nGroup=" + group + "\n";
    }
    static constexpr const char* kSettings =
        "[Window]\nheightOffset=0\n[SmallIconSize]\nWidth=16\nHeight=16\n";
};

} // namespace kesk::test
