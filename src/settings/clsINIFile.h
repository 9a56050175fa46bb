#pragma once
// The one way the program reads and writes INI files (the catalogue and the
// skin). Texts are UTF-8 inside the program; the file keeps its own encoding.
// Every call sees the file as it is on disk at that moment.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kesk {
namespace ini {
class Profile;
}

class clsINIFile {
  public:
    // Initialize: the executable's directory, "\", the application title, ".ini".
    clsINIFile();

    void setFilename(const std::string& sFilePath);
    const std::string& filename() const noexcept { return path_; }

    void setValue(const std::string& Sect, const std::string& Key, const std::string& value);
    std::string getString(const std::string& Sect, const std::string& Key);
    // getString into `value`, reusing its memory: a build reads thousands of values.
    // Whether the key is there at all (an empty value is there).
    bool readString(std::string_view Sect, std::string_view Key, std::string& value);
    std::int32_t getLongFromHex(const std::string& Sect, const std::string& Key);
    // Throws RuntimeError(Overflow) for a value outside the signed 32-bit range.
    std::int32_t getInteger(const std::string& Sect, const std::string& Key);
    void setArray(const std::string& Sect, const std::vector<std::string>& xArray);
    void getArray(const std::string& Sect, std::vector<std::string>& xArray);
    void deleteKey(const std::string& Sect, const std::string& Key);
    void deleteSection(const std::string& Sect);
    // Throws RuntimeError(FileNotFound) for a missing or unreadable file (after
    // resetting xArray to one empty element) and RuntimeError(Overflow) past
    // 32,767 headers.
    void getSectionList(std::vector<std::string>& xArray);

    // Writes do not throw: one that cannot be done leaves the file as it was
    // and is counted here, so that whoever asked for it can tell the user.
    std::uint32_t failedWrites() const noexcept { return failedWrites_; }

  private:
    std::int32_t hexToLong(std::string_view text);
    template <class F> void write(bool createMissing, F&& edit) noexcept;

    std::string path_;
    // The section last read from, in the parse it was found in: a build reads
    // six keys of every section one after another.
    std::shared_ptr<const ini::Profile> lastProfile_;
    std::string lastSect_;
    std::optional<std::size_t> lastSection_;
    bool sectionKnown_ = false;      // lastSection_ belongs to lastSect_ in lastProfile_
    std::uint64_t lastSnapshot_ = 0; // the snapshot lastProfile_ was read under (0: none)
    std::uint32_t failedWrites_ = 0;
};

} // namespace kesk
