// Fuzz target for the profile engine: any bytes parse, serialize back to the
// same bytes, answer queries, and take every kind of write without touching
// what the write did not address.
//
// Input: byte 0 chooses the write, bytes 1-2 the section and key it
// addresses, byte 3 the value; the rest is the file.

#include "settings/profile.h"
#include "settings/textcodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

using kesk::ini::Profile;

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct SectionSnapshot {
    std::string folded;
    std::vector<std::string> lines;
};

// The first section of every name, as the engine reads it.
std::vector<SectionSnapshot> snapshot(const Profile& p) {
    std::vector<SectionSnapshot> out;
    std::vector<std::string> seen;
    for (const auto& line : p.lines()) {
        if (line.kind != Profile::Kind::Header) {
            continue;
        }
        std::string folded = kesk::ini::foldName(line.name());
        bool dup = false;
        for (const auto& s : seen) {
            dup = dup || s == folded;
        }
        if (dup) {
            continue;
        }
        seen.push_back(folded);
        SectionSnapshot s;
        s.folded = folded;
        for (const auto& v : p.readSection(line.name())) {
            s.lines.emplace_back(kesk::ini::forCaller(v));
        }
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<std::string> preamble(const Profile& p) {
    std::vector<std::string> out;
    for (const auto& line : p.lines()) {
        if (line.kind == Profile::Kind::Header) {
            break;
        }
        out.push_back(kesk::ini::forCaller(line.text));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    const unsigned op = data[0] % 5;
    const unsigned sectPick = data[1];
    const unsigned keyPick = data[2];
    const unsigned valuePick = data[3] % 6;
    const std::string_view file(reinterpret_cast<const char*>(data + 4), size - 4);

    Profile p = Profile::parse(file);
    check(p.serialize() == file, "parse and serialize must give the bytes back");

    std::vector<std::string> sections;
    std::vector<std::string> keys;
    for (const auto& line : p.lines()) {
        if (line.kind == Profile::Kind::Header) {
            sections.push_back(kesk::ini::forCaller(line.name()));
        } else if (line.kind == Profile::Kind::Key) {
            keys.push_back(kesk::ini::forCaller(line.name()));
            // Whatever a key line holds, its section answers for it somehow.
        }
    }
    for (const auto& s : sections) {
        for (const auto& k : keys) {
            if (const auto v = p.readKey(s, k)) {
                check(kesk::ini::countChars(*v) <= file.size(), "value longer than the file");
            }
        }
    }

    const char* const values[] = {"v", "", "\xC3\xA4\xE6\x97\xA5", "a\r\nb", "\"q\"", "x=y;z"};
    const char* const flattened[] = {"v", "", "\xC3\xA4\xE6\x97\xA5", "a b", "q", "x=y;z"};
    const std::string sect = sections.empty() || sectPick % 4 == 0
                                 ? std::string("New")
                                 : sections[sectPick % sections.size()];
    const std::string key =
        keys.empty() || keyPick % 4 == 0 ? std::string("NewKey") : keys[keyPick % keys.size()];

    const auto before = snapshot(p);
    const auto head = preamble(p);
    bool changed = false;
    switch (op) {
    case 0:
        changed = p.writeKey(sect, key, values[valuePick]);
        break;
    case 1:
        changed = p.deleteKey(sect, key);
        break;
    case 2:
        changed = p.deleteSection(sect);
        break;
    case 3:
        changed = p.writeSection(sect, {key + "=" + values[valuePick], "plain line"});
        break;
    default:
        changed = p.writeSection(sect, {});
        break;
    }
    const std::string out = p.serialize();
    check(changed || out == file, "a write that changed nothing must give the same bytes");
    const Profile again = Profile::parse(out);
    check(again.serialize() == out, "written file must parse back to itself");

    if (op == 0 && changed) {
        const auto v = again.readKey(sect, key);
        check(v.has_value(), "written key must be found");
        check(kesk::ini::forCaller(*v) == flattened[valuePick], "written value must read back");
    }

    // Nothing outside the addressed section moved.
    const std::string target = kesk::ini::foldName(kesk::ini::forCaller(sect));
    const auto after = snapshot(again);
    for (const auto& b : before) {
        if (b.folded == target) {
            continue;
        }
        bool found = false;
        for (const auto& a : after) {
            if (a.folded == b.folded) {
                found = true;
                check(a.lines == b.lines, "another section changed");
            }
        }
        check(found, "another section vanished");
    }
    check(preamble(again) == head, "text before the first section changed");
    return 0;
}
