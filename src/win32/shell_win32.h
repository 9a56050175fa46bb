#pragma once
// The platform shell behind shellOpenFile: ShellExecuteW.

#include "support/mdShellEx.h"

namespace kesk::win {

class Win32ShellExecutor final : public ShellExecutor {
  public:
    // Texts are converted to UTF-16 here; an empty operation, parameter or
    // directory text is handed on as "none". Returns ShellExecuteW's result.
    std::intptr_t execute(OwnerHandle owner, const std::string& operation, const std::string& file,
                          const std::string& parameters, const std::string& directory,
                          std::int32_t showCommand) override;
};

} // namespace kesk::win
