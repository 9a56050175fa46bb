#include "catalogue/catalogue.h"

#include <algorithm>
#include <cmath>

#include "settings/clsINIFile.h"
#include "support/appinfo.h"
#include "support/conversions.h"

namespace kesk::catalogue {

std::string ownFilePath(std::string_view name) {
    std::string path = app::directory();
    path.append(name);
#ifndef _WIN32
    std::replace(path.end() - static_cast<std::ptrdiff_t>(name.size()), path.end(), '\\', '/');
#endif
    return path;
}

std::string cataloguePath() {
    return ownFilePath(kCatalogueFile);
}
std::string skinPath() {
    return ownFilePath(kSkinFile);
}

int groupIndex(std::string_view group) noexcept {
    for (std::size_t k = 0; k < kGroupNames.size(); ++k) {
        if (group == kGroupNames[k]) {
            return static_cast<int>(k);
        }
    }
    return -1;
}

std::string entryKey(std::int32_t index) {
    std::string key = "ID";
    if (index >= 0) {
        key += ' ';
    }
    key += std::to_string(index);
    return key;
}

std::int32_t entryIndex(std::string_view key) {
    const std::string_view rest = key.size() > 2 ? key.substr(2) : std::string_view{};
    return conv::toLong(conv::textToNumber(rest));
}

SkinColours readSkinColours(clsINIFile& skin) {
    SkinColours colours{};
    for (std::size_t k = 0; k < kSkinColourCount; ++k) {
        colours[k] = skin.getLongFromHex(kSectionColors, kSkinColourKeys[k]);
    }
    return colours;
}

} // namespace kesk::catalogue
