#pragma once
// The platform shell behind shellOpenFile: ShellExecuteW.

#include "support/mdShellEx.h"

namespace kesk::win {

class Win32ShellExecutor final : public ShellExecutor {
  public:
    // A success value: the request went to a thread of its own.
    static constexpr std::intptr_t kHandedOn = 42;

    // Texts are converted to UTF-16 here; an empty operation, parameter or
    // directory text is handed on as "none". Returns ShellExecuteW's result; a request with
    // the verb "runas" is carried out on a thread of its own and gives kHandedOn at once.
    std::intptr_t execute(OwnerHandle owner, const std::string& operation, const std::string& file,
                          const std::string& parameters, const std::string& directory,
                          std::int32_t showCommand) override;
};

} // namespace kesk::win
