#pragma once
// A shell that starts nothing and keeps every call it was asked for, in full.

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "support/mdShellEx.h"

namespace kesk::test {

struct Launch {
    OwnerHandle owner = 0;
    std::string operation, file, parameters, directory;
    std::int32_t show = -1;
    bool operator==(const Launch&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Launch& l) {
    return os << "{" << l.file << " | " << l.parameters << " | " << l.directory << " | "
              << l.operation << " | " << l.show << " | " << l.owner << "}";
}

class RecordingShell : public ShellExecutor {
  public:
    std::vector<Launch> launches;
    std::intptr_t result = 42;
    std::intptr_t execute(OwnerHandle owner, const std::string& operation, const std::string& file,
                          const std::string& parameters, const std::string& directory,
                          std::int32_t showCommand) override {
        launches.push_back({owner, operation, file, parameters, directory, showCommand});
        return result;
    }
};

} // namespace kesk::test
