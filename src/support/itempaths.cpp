#include "support/itempaths.h"

#include "platform/desktop.h"

#include <algorithm>
#include <array>
#include <vector>

namespace kesk::paths {

namespace {

char upper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameText(std::string_view a, std::string_view b) noexcept {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return upper(x) == upper(y); });
}

bool isLetter(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// How many UTF-16 code units the platform needs for this UTF-8 text: one per
// character, two for those beyond the basic plane. Malformed bytes count as
// one each, which is what they become when converted.
std::size_t utf16Units(std::string_view text) noexcept {
    std::size_t n = 0;
    for (const char ch : text) {
        const auto b = static_cast<unsigned char>(ch);
        if ((b & 0xC0u) == 0x80u) {
            continue;
        }
        n += (b >= 0xF0u && b <= 0xF7u) ? 2 : 1;
    }
    return n;
}

bool hasRawDevicePrefix(std::string_view p) noexcept {
    if (p.size() < 4) {
        return false;
    }
    const std::string_view head = p.substr(0, 4);
    return head == "\\\\?\\" || head == "\\\\.\\" || head == "\\??\\";
}

// A full path cut into its root ("C:" or "\\host\share") and its components.
struct SplitPath {
    std::string root;
    std::vector<std::string_view> parts;
};

// Applies "." and ".." and collapses repeated separators. The path must be
// "X:\..." or "\\host\share..." with "\" separators.
std::optional<SplitPath> splitFull(std::string_view p, PathProblem& problem) {
    SplitPath out;
    std::size_t pos = 0;
    if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
        const std::size_t hostEnd = p.find('\\', 2);
        if (hostEnd == std::string_view::npos || hostEnd == 2) {
            problem = PathProblem::Malformed;
            return std::nullopt;
        }
        std::size_t shareEnd = p.find('\\', hostEnd + 1);
        if (shareEnd == std::string_view::npos) {
            shareEnd = p.size();
        }
        if (shareEnd == hostEnd + 1) {
            problem = PathProblem::Malformed;
            return std::nullopt;
        }
        out.root = std::string(p.substr(0, shareEnd));
        pos = shareEnd;
    } else if (p.size() >= 2 && isLetter(p[0]) && p[1] == ':') {
        out.root = std::string(p.substr(0, 2));
        pos = 2;
    } else {
        problem = PathProblem::Malformed;
        return std::nullopt;
    }
    while (pos < p.size()) {
        const std::size_t next = std::min(p.find('\\', pos), p.size());
        const std::string_view part = p.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (out.parts.empty()) {
                problem = PathProblem::LeavesRoot;
                return std::nullopt;
            }
            out.parts.pop_back();
            continue;
        }
        out.parts.push_back(part);
    }
    return out;
}

std::string joined(const SplitPath& s) {
    std::string out = s.root;
    if (s.parts.empty()) {
        out += '\\';
    }
    for (const std::string_view part : s.parts) {
        out += '\\';
        out += part;
    }
    return out;
}

std::string withBackslashes(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// The program's folder as a normalised full path; empty when it is none.
std::string normalisedFolder(std::string_view folder) {
    std::string f = withBackslashes(folder);
    if (f.size() == 2 && isLetter(f[0]) && f[1] == ':') {
        f += '\\';
    }
    PathProblem ignored = PathProblem::None;
    const auto split = splitFull(f, ignored);
    return split ? joined(*split) : std::string();
}

std::string rootOf(const std::string& normalisedFullPath) {
    PathProblem ignored = PathProblem::None;
    const auto split = splitFull(normalisedFullPath, ignored);
    return split ? split->root : std::string();
}

} // namespace

bool isDeviceName(std::string_view name) {
    // The platform compares the part before the first dot, without trailing blanks and dots.
    std::string_view base = name.substr(0, std::min(name.find('.'), name.size()));
    while (!base.empty() && (base.back() == ' ' || base.back() == '.')) {
        base.remove_suffix(1);
    }
    static constexpr std::array<std::string_view, 6> kPlain = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    for (const std::string_view d : kPlain) {
        if (sameText(base, d)) {
            return true;
        }
    }
    if (base.size() == 4 &&
        (sameText(base.substr(0, 3), "COM") || sameText(base.substr(0, 3), "LPT"))) {
        return base[3] >= '0' && base[3] <= '9';
    }
    // COM and LPT with a superscript digit (U+00B9, U+00B2, U+00B3) are devices too.
    if (base.size() == 5 &&
        (sameText(base.substr(0, 3), "COM") || sameText(base.substr(0, 3), "LPT")) &&
        static_cast<unsigned char>(base[3]) == 0xC2u) {
        const auto d = static_cast<unsigned char>(base[4]);
        return d == 0xB9u || d == 0xB2u || d == 0xB3u;
    }
    return false;
}

std::optional<std::string> expandVariables(std::string_view text, const PathContext& context) {
    std::string out;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('%', pos);
        if (open == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, open - pos));
        const std::size_t close = text.find('%', open + 1);
        std::optional<std::string> value;
        if (close != std::string_view::npos && close > open + 1) {
            const std::string name(text.substr(open + 1, close - open - 1));
            if (sameText(name, kProgramFolderVariable)) {
                value = context.programFolder;
            } else if (context.variable) {
                value = context.variable(name);
            }
        }
        if (value) {
            out += *value;
            pos = close + 1;
        } else {
            // As the platform does: the % stays, and the closing one may open the next name.
            out += '%';
            pos = open + 1;
        }
        if (utf16Units(out) > kMaxPathUnits) {
            return std::nullopt;
        }
    }
    if (utf16Units(out) > kMaxPathUnits) {
        return std::nullopt;
    }
    return out;
}

PathProblem checkFullPath(std::string_view path) {
    if (path.empty()) {
        return PathProblem::Empty;
    }
    if (utf16Units(path) > kMaxPathUnits) {
        return PathProblem::TooLong;
    }
    const std::string p = withBackslashes(path);
    if (hasRawDevicePrefix(p)) {
        return PathProblem::Device;
    }
    for (std::size_t i = 0; i < p.size(); ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        if (c < 0x20u || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
            return PathProblem::Malformed;
        }
        if (c == ':' && !(i == 1 && isLetter(p[0]))) {
            return PathProblem::Stream;
        }
    }
    std::size_t pos = 0;
    while (pos <= p.size()) {
        const std::size_t next = std::min(p.find('\\', pos), p.size());
        if (isDeviceName(p.substr(pos, next - pos))) {
            return PathProblem::Device;
        }
        pos = next + 1;
    }
    return PathProblem::None;
}

ResolvedPath resolveItemPath(std::string_view stored, const PathContext& context) {
    ResolvedPath r;
    if (stored.empty()) {
        r.problem = PathProblem::Empty;
        return r;
    }
    const std::string folder = normalisedFolder(context.programFolder);
    PathContext withFolder{folder.empty() ? context.programFolder : folder, context.variable};
    if (!folder.empty() && folder.back() == '\\') {
        withFolder.programFolder.pop_back(); // "E:" so that "%KESKDIR%\x" reads "E:\x"
    }
    const auto expanded = expandVariables(stored, withFolder);
    if (!expanded) {
        r.problem = PathProblem::TooLong;
        return r;
    }
    // A full path written as such is used as written (only checked); one that
    // was joined or expanded is normalised.
    const bool asWritten = *expanded == stored;
    std::string p = withBackslashes(*expanded);
    if (p.empty()) {
        r.problem = PathProblem::Empty;
        return r;
    }
    if (hasRawDevicePrefix(p)) {
        r.problem = PathProblem::Device;
        return r;
    }
    const bool unc = p.size() >= 2 && p[0] == '\\' && p[1] == '\\';
    const bool drive = p.size() >= 2 && isLetter(p[0]) && p[1] == ':';
    if (drive && (p.size() == 2 || p[2] != '\\')) {
        r.problem = PathProblem::DriveRelative;
        return r;
    }
    if (!unc && !drive) {
        if (folder.empty()) {
            // Nothing to take it against: used as it stands, still checked.
            r.problem = checkFullPath(p);
            if (r.ok()) {
                r.path = *expanded;
            }
            return r;
        }
        p = (p[0] == '\\' ? rootOf(folder) : folder + '\\') + p;
    }
    if (utf16Units(p) > kMaxPathUnits) {
        r.problem = PathProblem::TooLong;
        return r;
    }
    // Characters and streams first: a ':' or '?' would otherwise read as part of a root.
    const PathProblem early = checkFullPath(p);
    if (early == PathProblem::Malformed || early == PathProblem::Stream ||
        early == PathProblem::Device) {
        r.problem = early;
        return r;
    }
    PathProblem problem = PathProblem::None;
    const auto split = splitFull(p, problem);
    if (!split) {
        r.problem = problem;
        return r;
    }
    std::string full = joined(*split);
    r.problem = checkFullPath(full);
    if (r.ok()) {
        r.path = asWritten && (unc || drive) ? std::string(stored) : std::move(full);
    }
    return r;
}

std::string uncHost(std::string_view path) {
    const std::string p = withBackslashes(path.substr(0, std::min<std::size_t>(path.size(), 300)));
    if (p.size() < 3 || p[0] != '\\' || p[1] != '\\' || hasRawDevicePrefix(p)) {
        return {};
    }
    const std::size_t end = std::min(p.find('\\', 2), p.size());
    return p.substr(2, end - 2);
}

std::string portableDropValue(std::string_view full, std::string_view programFolder) {
    const std::string original(full);
    const std::string folder = normalisedFolder(programFolder);
    const std::string p = withBackslashes(full);
    if (folder.empty() || checkFullPath(p) != PathProblem::None) {
        return original;
    }
    PathProblem ignored = PathProblem::None;
    const auto target = splitFull(p, ignored);
    const auto base = splitFull(folder, ignored);
    if (!target || !base || !sameText(target->root, base->root)) {
        return original;
    }
    std::size_t common = 0;
    while (common < base->parts.size() && common < target->parts.size() &&
           sameText(base->parts[common], target->parts[common])) {
        ++common;
    }
    std::string rel;
    for (std::size_t k = common; k < base->parts.size(); ++k) {
        rel += "..\\";
    }
    for (std::size_t k = common; k < target->parts.size(); ++k) {
        rel += target->parts[k];
        rel += '\\';
    }
    if (rel.empty()) {
        return ".";
    }
    rel.pop_back();
    // Stored text is expanded when used: a name that reads as a variable would change meaning.
    if (rel.find('%') != std::string::npos) {
        return original;
    }
    const ResolvedPath back = resolveItemPath(rel, PathContext{folder, {}});
    return back.ok() && sameText(back.path, joined(*target)) ? rel : original;
}

bool isAddress(std::string_view text) {
    const std::size_t colon = text.find(':');
    // One letter before the colon is a drive, never a scheme.
    if (colon == std::string_view::npos || colon < 2 || !isLetter(text[0])) {
        return false;
    }
    const std::string_view scheme = text.substr(0, colon);
    for (const char c : scheme) {
        const bool digit = c >= '0' && c <= '9';
        if (!isLetter(c) && !digit && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    if (sameText(scheme, "file")) {
        return false;
    }
    return text.substr(colon + 1).rfind("//", 0) == 0 || sameText(scheme, "mailto") ||
           sameText(scheme, "shell");
}

PathContext contextOf(Desktop& desktop) {
    return PathContext{desktop.programFolder(), [&desktop](const std::string& name) {
                           return desktop.environmentVariable(name);
                       }};
}

std::optional<std::string> checkablePath(Desktop& desktop, std::string_view stored,
                                         std::int32_t waitMs) {
    ResolvedPath r = resolveItemPath(stored, contextOf(desktop));
    if (!r.ok() || !desktop.hostAnswers(r.path, waitMs)) {
        return std::nullopt;
    }
    return std::move(r.path);
}

} // namespace kesk::paths
