#include "settings/profile.h"

#include <algorithm>

namespace kesk::ini {

namespace {

bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::string_view eolText(Profile::Eol eol) noexcept {
    switch (eol) {
    case Profile::Eol::CrLf:
        return "\r\n";
    case Profile::Eol::Cr:
        return "\r";
    case Profile::Eol::Lf:
        return "\n";
    case Profile::Eol::None:
        break;
    }
    return {};
}

// The platform trims only spaces from the names a caller passes, while the
// file's own names lose every blank: a tab at either end of an argument stays
// part of the name, and such a name matches nothing in the file.
std::string_view trimSpaces(std::string_view s) noexcept {
    while (!s.empty() && s.front() == ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && s.back() == ' ') {
        s.remove_suffix(1);
    }
    return s;
}

// Caller text in the form the file will hold it.
std::string cleanName(std::string_view text) {
    return std::string(trimSpaces(Profile::flattenLineBreaks(forCaller(text))));
}

// A name with a blank at either end would be read back without it, so the
// next write could not find the line it wrote and would add it again.
bool edgesSurviveReading(std::string_view name) {
    return name.empty() || (!isBlank(name.front()) && !isBlank(name.back()));
}

bool sectionNameWritable(std::string_view sect) {
    return sect.find(']') == std::string_view::npos && edgesSurviveReading(sect);
}

bool keyNameWritable(std::string_view key) {
    return key.find('=') == std::string_view::npos && edgesSurviveReading(key) &&
           (key.empty() || (key.front() != '[' && key.front() != ';'));
}

} // namespace

std::string_view trimBlanks(std::string_view s) noexcept {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Profile::flattenLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            out.push_back(' ');
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out.push_back(c);
        }
    }
    return out;
}

Profile::Line Profile::makeLine(std::string text, Eol eol) {
    Line line;
    line.text = std::move(text);
    line.eol = eol;
    const std::string_view t = line.text;
    std::size_t p = 0;
    while (p < t.size() && isBlank(t[p])) {
        ++p;
    }
    if (p == t.size()) {
        line.kind = Kind::Blank;
        return line;
    }
    if (t[p] == ';') {
        line.kind = Kind::Comment;
        return line;
    }
    if (t[p] == '[') {
        line.kind = Kind::Header;
        const std::size_t close = t.find(']', p + 1);
        const std::size_t stop = close == std::string_view::npos ? t.size() : close;
        std::string_view name = trimBlanks(t.substr(p + 1, stop - p - 1));
        line.nameBegin = static_cast<std::uint32_t>(name.data() - t.data());
        line.nameLength = static_cast<std::uint32_t>(name.size());
        return line;
    }
    const std::size_t eq = t.find('=', p);
    if (eq == std::string_view::npos) {
        line.kind = Kind::Other;
        return line;
    }
    line.kind = Kind::Key;
    line.eqPos = static_cast<std::uint32_t>(eq);
    const std::string_view name = trimBlanks(t.substr(p, eq - p));
    const std::string_view value = trimBlanks(t.substr(eq + 1));
    line.nameBegin = static_cast<std::uint32_t>(name.empty() ? p : name.data() - t.data());
    line.nameLength = static_cast<std::uint32_t>(name.size());
    line.valueBegin = static_cast<std::uint32_t>(value.empty() ? eq + 1 : value.data() - t.data());
    line.valueLength = static_cast<std::uint32_t>(value.size());
    return line;
}

Profile Profile::parse(std::string_view bytes) {
    Profile p;
    p.codePage_ = &ansiCodePage();
    DecodedText d = decode(bytes, *p.codePage_);
    p.encoding_ = d.encoding;
    p.tail_ = std::move(d.tail);
    const std::string_view text = d.text;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t brk = text.find_first_of("\r\n", pos);
        if (brk == std::string_view::npos) {
            p.lines_.push_back(makeLine(std::string(text.substr(pos)), Eol::None));
            break;
        }
        Eol eol = Eol::Lf;
        std::size_t next = brk + 1;
        if (text[brk] == '\r') {
            eol = Eol::Cr;
            if (next < text.size() && text[next] == '\n') {
                eol = Eol::CrLf;
                ++next;
            }
        }
        p.lines_.push_back(makeLine(std::string(text.substr(pos, brk - pos)), eol));
        pos = next;
    }
    p.index();
    return p;
}

void Profile::index() {
    sections_.clear();
    firstSection_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Header) {
            continue;
        }
        if (!sections_.empty()) {
            sections_.back().end = i;
        }
        sections_.push_back(Section{i, lines_.size()});
        firstSection_.emplace(foldName(lines_[i].name()), sections_.size() - 1);
    }
}

std::string Profile::serialize() const {
    std::string text;
    std::size_t total = 0;
    for (const Line& l : lines_) {
        total += l.text.size() + 2;
    }
    text.reserve(total);
    for (const Line& l : lines_) {
        text += l.text;
        text += eolText(l.eol);
    }
    Encoding enc = encoding_;
    return encode(enc, text, tail_, codePage());
}

const Profile::Section* Profile::findSection(std::string_view sect) const {
    const auto it = firstSection_.find(foldName(trimSpaces(sect)));
    return it == firstSection_.end() ? nullptr : &sections_[it->second];
}

std::optional<std::size_t> Profile::findKey(const Section& s, std::string_view key) const {
    key = trimSpaces(key);
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (std::size_t i = s.header + 1; i < s.end; ++i) {
        const Line& l = lines_[i];
        if (l.kind != Kind::Key) {
            continue;
        }
        const std::string_view name = l.name();
        // The keys of a section mostly differ in their first letter: those
        // are ruled out without the full comparison.
        if (!name.empty() && !key.empty()) {
            const auto a = static_cast<unsigned char>(name.front());
            const auto b = static_cast<unsigned char>(key.front());
            if (a < 0x80 && b < 0x80 && lower(a) != lower(b)) {
                continue;
            }
        }
        if (namesEqual(name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> Profile::readKey(std::string_view sect,
                                                 std::string_view key) const {
    const auto n = sectionNumber(sect);
    return n ? readKeyIn(*n, key) : std::nullopt;
}

std::optional<std::size_t> Profile::sectionNumber(std::string_view sect) const {
    const auto it = firstSection_.find(foldName(trimSpaces(sect)));
    if (it == firstSection_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string_view> Profile::readKeyIn(std::size_t section,
                                                   std::string_view key) const {
    if (section >= sections_.size()) {
        return std::nullopt;
    }
    const auto k = findKey(sections_[section], key);
    if (!k) {
        return std::nullopt;
    }
    std::string_view v = lines_[*k].rawValue();
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

std::vector<std::string> Profile::readSection(std::string_view sect) const {
    std::vector<std::string> out;
    const Section* s = findSection(sect);
    if (s == nullptr) {
        return out;
    }
    for (std::size_t i = s->header + 1; i < s->end; ++i) {
        const Line& l = lines_[i];
        if (l.kind == Kind::Key) {
            std::string kv;
            kv.reserve(l.nameLength + 1 + l.valueLength);
            kv.append(l.name()).append(1, '=').append(l.rawValue());
            out.push_back(std::move(kv));
        } else if (l.kind == Kind::Other) {
            out.emplace_back(trimBlanks(l.text));
        }
    }
    return out;
}

void Profile::ensureLineBreakAfter(std::size_t lineIndex) {
    if (lines_[lineIndex].eol == Eol::None) {
        lines_[lineIndex].eol = Eol::CrLf;
    }
}

void Profile::appendSection(std::string_view sect, const std::vector<std::string>& body) {
    if (!lines_.empty()) {
        ensureLineBreakAfter(lines_.size() - 1);
    }
    lines_.push_back(makeLine("[" + std::string(sect) + "]", Eol::CrLf));
    for (const std::string& b : body) {
        lines_.push_back(makeLine(b, Eol::CrLf));
    }
    index();
}

bool Profile::writeKey(std::string_view sect, std::string_view key, std::string_view value) {
    const std::string s = cleanName(sect);
    const std::string k = cleanName(key);
    const std::string v = flattenLineBreaks(forCaller(value));
    if (!sectionNameWritable(s) || !keyNameWritable(k)) {
        return false;
    }
    const Section* found = findSection(s);
    if (found == nullptr) {
        appendSection(s, {k + "=" + v});
        return true;
    }
    const Section sec = *found;
    if (const auto ki = findKey(sec, k)) {
        Line& l = lines_[*ki];
        std::string text = l.text.substr(0, l.eqPos + 1) + v;
        if (text == l.text) {
            return false;
        }
        // The platform writes the line anew with its CR LF, also where the
        // file's last line had no line break.
        l = makeLine(std::move(text), l.eol == Eol::None ? Eol::CrLf : l.eol);
        return true; // a key line stays a key line: the index still holds
    }
    std::size_t after = sec.header;
    for (std::size_t i = sec.header + 1; i < sec.end; ++i) {
        if (lines_[i].kind == Kind::Key || lines_[i].kind == Kind::Other) {
            after = i;
        }
    }
    ensureLineBreakAfter(after);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1),
                  makeLine(k + "=" + v, Eol::CrLf));
    index();
    return true;
}

bool Profile::deleteKey(std::string_view sect, std::string_view key) {
    const Section* found = findSection(cleanName(sect));
    if (found == nullptr) {
        return false;
    }
    const auto ki = findKey(*found, cleanName(key));
    if (!ki) {
        return false;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*ki));
    index();
    return true;
}

bool Profile::deleteSection(std::string_view sect) {
    const Section* found = findSection(cleanName(sect));
    if (found == nullptr) {
        return false;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(found->header),
                 lines_.begin() + static_cast<std::ptrdiff_t>(found->end));
    index();
    return true;
}

bool Profile::writeSection(std::string_view sect, const std::vector<std::string>& sectionLines) {
    const std::string s = cleanName(sect);
    if (!sectionNameWritable(s)) {
        return false;
    }
    std::vector<std::string> body;
    for (const std::string& raw : sectionLines) {
        std::string line = flattenLineBreaks(forCaller(raw));
        const std::string_view t = trimBlanks(line);
        if (t.empty() || t.front() == '[') {
            continue;
        }
        body.push_back(std::move(line));
    }
    const Section* found = findSection(s);
    if (found == nullptr) {
        appendSection(s, body);
        return true;
    }
    const Section sec = *found;
    // Blank lines that end the section keep separating it from the next one.
    std::size_t stop = sec.end;
    while (stop > sec.header + 1 && lines_[stop - 1].kind == Kind::Blank) {
        --stop;
    }
    const std::size_t first = sec.header + 1;
    bool same = stop - first == body.size();
    for (std::size_t i = 0; same && i < body.size(); ++i) {
        same = lines_[first + i].text == body[i];
    }
    if (same) {
        return false;
    }
    if (!body.empty()) {
        ensureLineBreakAfter(sec.header);
    }
    std::vector<Line> fresh;
    fresh.reserve(body.size());
    for (std::string& b : body) {
        fresh.push_back(makeLine(std::move(b), Eol::CrLf));
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                 lines_.begin() + static_cast<std::ptrdiff_t>(stop));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                  std::make_move_iterator(fresh.begin()), std::make_move_iterator(fresh.end()));
    index();
    return true;
}

} // namespace kesk::ini
