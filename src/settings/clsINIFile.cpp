#include "settings/clsINIFile.h"

#include "settings/profilestore.h"
#include "settings/textcodec.h"
#include "support/appinfo.h"
#include "support/conversions.h"
#include "support/errors.h"

#include <cstdint>
#include <exception>
#include <limits>

namespace kesk {

namespace {

constexpr std::size_t kStringBuffer = 256;    // characters, with the terminating NUL
constexpr std::size_t kSectionBuffer = 32767; // characters, with the final NUL

} // namespace

template <class F> void clsINIFile::write(bool createMissing, F&& edit) noexcept {
    bool failed = true;
    try {
        failed =
            ini::update(path_, createMissing, std::forward<F>(edit)) == ini::UpdateResult::Failed;
    } catch (...) {
        // An edit that ran out of memory wrote nothing: the file stays as it was.
    }
    if (failed && failedWrites_ != UINT32_MAX) {
        ++failedWrites_;
    }
}

clsINIFile::clsINIFile() : path_(app::directory() + "\\" + app::kTitle + ".ini") {}

void clsINIFile::setFilename(const std::string& sFilePath) {
    path_ = sFilePath;
    lastProfile_.reset();
    lastSnapshot_ = 0;
}

void clsINIFile::setValue(const std::string& Sect, const std::string& Key,
                          const std::string& value) {
    write(true, [&](ini::Profile& p) { return p.writeKey(Sect, Key, value); });
}

std::string clsINIFile::getString(const std::string& Sect, const std::string& Key) {
    std::string value;
    readString(Sect, Key, value);
    return value;
}

bool clsINIFile::readString(std::string_view Sect, std::string_view Key, std::string& into) {
    // While a snapshot of the file stands, the parse of the last read is the snapshot.
    if (lastSnapshot_ == 0 || lastSnapshot_ != ini::snapshotVersion()) {
        ini::FileView view = ini::load(path_);
        if (view.state != ini::FileState::Present) {
            lastProfile_.reset();
            lastSnapshot_ = 0;
            into.clear();
            return false;
        }
        lastSnapshot_ = view.snapshotVersion;
        if (view.profile != lastProfile_) {
            lastProfile_ = std::move(view.profile);
            sectionKnown_ = false;
        }
    }
    if (!sectionKnown_ || Sect != lastSect_) {
        lastSection_ = lastProfile_->sectionNumber(Sect);
        lastSect_ = Sect;
        sectionKnown_ = true;
    }
    const auto value = lastSection_ ? lastProfile_->readKeyIn(*lastSection_, Key) : std::nullopt;
    if (!value) {
        into.clear();
        return false;
    }
    // The read's buffer holds 255 of the file's characters and the terminating NUL.
    ini::assignForCaller(ini::firstChars(*value, kStringBuffer - 1), into);
    return true;
}

std::int32_t clsINIFile::getLongFromHex(const std::string& Sect, const std::string& Key) {
    return hexToLong(getString(Sect, Key));
}

std::int32_t clsINIFile::hexToLong(std::string_view text) {
    // Never fails: what cannot be converted gives 0.
    return conv::hexTextToLong(text);
}

std::int32_t clsINIFile::getInteger(const std::string& Sect, const std::string& Key) {
    return conv::valToLong(getString(Sect, Key));
}

void clsINIFile::setArray(const std::string& Sect, const std::vector<std::string>& xArray) {
    // The elements joined by line feeds become the section's lines, so a line
    // break inside an element starts a new line, as it would in the file.
    std::vector<std::string> lines;
    for (const std::string& element : xArray) {
        std::size_t pos = 0;
        while (true) {
            const std::size_t brk = element.find_first_of("\r\n", pos);
            lines.push_back(element.substr(pos, brk - pos));
            if (brk == std::string::npos) {
                break;
            }
            pos = brk + 1;
            if (element[brk] == '\r' && pos < element.size() && element[pos] == '\n') {
                ++pos;
            }
        }
    }
    write(true, [&](ini::Profile& p) { return p.writeSection(Sect, lines); });
}

void clsINIFile::getArray(const std::string& Sect, std::vector<std::string>& xArray) {
    const ini::FileView view = ini::load(path_);
    if (view.state != ini::FileState::Present) {
        return;
    }
    const auto lines = view.profile->readSection(Sect);
    if (lines.empty()) {
        return;
    }
    // The read delivers each line and a NUL. When everything does not fit in
    // the buffer, the delivery is cut two characters before its end; a line
    // whose NUL was cut off is then not taken.
    std::size_t total = 0;
    for (const auto& l : lines) {
        total += ini::countChars(l) + 1;
    }
    const std::size_t delivered = total <= kSectionBuffer - 1 ? total : kSectionBuffer - 2;
    std::vector<std::string> result;
    std::size_t used = 0;
    for (const auto& l : lines) {
        used += ini::countChars(l) + 1;
        if (used > delivered) {
            break;
        }
        result.push_back(ini::forCaller(l));
    }
    if (result.empty()) {
        return; // nothing was delivered whole: the content counts as empty
    }
    result.emplace_back();
    xArray = std::move(result);
}

void clsINIFile::deleteKey(const std::string& Sect, const std::string& Key) {
    write(false, [&](ini::Profile& p) { return p.deleteKey(Sect, Key); });
}

void clsINIFile::deleteSection(const std::string& Sect) {
    write(false, [&](ini::Profile& p) { return p.deleteSection(Sect); });
}

void clsINIFile::getSectionList(std::vector<std::string>& xArray) {
    xArray.assign(1, std::string());
    const ini::FileView view = ini::load(path_);
    if (view.state != ini::FileState::Present) {
        raiseError(errnum::FileNotFound);
    }
    // Headers as a plain line reader sees them: the first character of the
    // line is '[' and the name is the line without its first and last
    // character. A line ends at CR LF, CR and also at a line feed alone.
    std::int32_t i = 0;
    for (const auto& line : view.profile->lines()) {
        const std::string& t = line.text;
        if (t.empty() || t.front() != '[') {
            continue;
        }
        if (i != 0) {
            xArray.resize(static_cast<std::size_t>(i) + 1);
        }
        // "[" alone has no name between its brackets: it gives the empty name.
        xArray[static_cast<std::size_t>(i)] =
            t.size() >= 2 ? ini::forCaller(std::string_view(t).substr(1, t.size() - 2))
                          : std::string();
        if (i == std::numeric_limits<std::int16_t>::max()) {
            raiseError(errnum::Overflow);
        }
        ++i;
    }
}

} // namespace kesk
