#pragma once
// The profile-file engine: an INI file as the platform's profile services see
// it, edited the way they edit it. The file is kept as its lines; a write
// changes, inserts or removes only the lines it must, and every other line is
// written back exactly as it was read (spacing, comments, blank lines, line
// ends, text before the first section, a missing final line break).
//
// Reading rules (those of the platform):
//  - lines end at CR LF, CR or LF;
//  - a line whose first non-blank character is ';' is a comment;
//  - a line whose first non-blank character is '[' is a header; the name
//    runs to the first ']' (or the end of the line) and is trimmed of blanks;
//  - any other line with '=' is a key line: the name before the first '=',
//    the value after it, both trimmed of blanks (space, tab); one matching
//    outer pair of '"' or '\'' is removed from the value when it is read;
//  - names match without regard to case; the first section of a name and the
//    first key of a name in it win; lines before the first header belong to
//    no section;
//  - the section and key names a caller passes lose their spaces at either
//    end, but nothing else: a tab there stays, and such a name finds nothing;
//  - a rewritten line ends in CR LF, also as the file's last line.
//
// Text given to a write must not change the file's structure, so:
//  - CR LF, CR and LF in section names, key names, values and section lines
//    become one blank each;
//  - a name the file could not give back is refused (the write does nothing):
//    a section name holding ']', a key name holding '=' or starting with '['
//    or ';', a name with a tab at either end. A section line that would read
//    as a header or that is blank is left out.

#include "settings/textcodec.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kesk::ini {

class Profile {
  public:
    enum class Kind : std::uint8_t { Blank, Comment, Header, Key, Other };
    enum class Eol : std::uint8_t { None, CrLf, Cr, Lf };

    struct Line {
        std::string text; // internal form, without the line end
        Eol eol = Eol::None;
        Kind kind = Kind::Blank;
        // Header: the section name; Key: the key name.
        std::uint32_t nameBegin = 0;
        std::uint32_t nameLength = 0;
        // Key: the trimmed value, quotes not yet removed; eqPos: the first '='.
        std::uint32_t valueBegin = 0;
        std::uint32_t valueLength = 0;
        std::uint32_t eqPos = 0;

        std::string_view name() const {
            return std::string_view(text).substr(nameBegin, nameLength);
        }
        std::string_view rawValue() const {
            return std::string_view(text).substr(valueBegin, valueLength);
        }
    };

    Profile() = default;
    static Profile parse(std::string_view bytes);

    // The file's bytes; an ANSI file that must now hold a character outside
    // its code page comes out as UTF-8 with byte order mark.
    std::string serialize() const;

    Encoding encoding() const noexcept { return encoding_; }
    // The code page the file was read with; its writes use the same.
    const CodePage& codePage() const noexcept {
        return codePage_ != nullptr ? *codePage_ : ansiCodePage();
    }
    const std::vector<Line>& lines() const noexcept { return lines_; }

    // Reads (internal form). Section and key arguments are trimmed of spaces.
    std::optional<std::string_view> readKey(std::string_view sect, std::string_view key) const;
    // The same read in two steps, for several keys of one section: the
    // section's number (none when there is no such section), then a key in
    // it. A number holds for this Profile only.
    std::optional<std::size_t> sectionNumber(std::string_view sect) const;
    std::optional<std::string_view> readKeyIn(std::size_t section, std::string_view key) const;
    // The key and other lines of the first section of that name: a key line as
    // its name, '=' and its value (blanks around both dropped, quotes kept),
    // any other line trimmed of blanks.
    std::vector<std::string> readSection(std::string_view sect) const;

    // Writes; each returns whether the content changed. Text arguments are UTF-8.
    bool writeKey(std::string_view sect, std::string_view key, std::string_view value);
    bool deleteKey(std::string_view sect, std::string_view key);
    bool deleteSection(std::string_view sect);
    bool writeSection(std::string_view sect, const std::vector<std::string>& sectionLines);

    // Makes a key or section name or a value safe to write (see above).
    static std::string flattenLineBreaks(std::string_view text);

  private:
    struct Section {
        std::size_t header = 0; // index of the header line
        std::size_t end = 0;    // one past its last line
    };

    static Line makeLine(std::string text, Eol eol);
    void index();
    const Section* findSection(std::string_view sect) const;
    std::optional<std::size_t> findKey(const Section& s, std::string_view key) const;
    void ensureLineBreakAfter(std::size_t lineIndex);
    void appendSection(std::string_view sect, const std::vector<std::string>& body);

    Encoding encoding_ = Encoding::Ansi;
    const CodePage* codePage_ = nullptr; // nullptr: a new file, in the code page of its write
    std::string tail_;
    std::vector<Line> lines_;
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::size_t> firstSection_; // folded name -> sections_ index
};

// Blank-trimming as the engine applies it to names and values (space and tab).
std::string_view trimBlanks(std::string_view s) noexcept;

} // namespace kesk::ini
