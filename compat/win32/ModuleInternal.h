// What compat's other API areas need to know about modules. Internal to compat.
#pragma once

#include <string>

#include "compat/win32/WinTypes.h"

namespace compat::win32 {

// The address of `name` when `module` itself defines it (not one of the
// libraries it depends on, as a module's exports on Windows are its own);
// null for a missing name or a handle that is not a loaded module.
void* ModuleOwnSymbol(HMODULE module, const char* name);

// The POSIX path of the running program and the folder that holds it.
const std::string& ProgramPath();
std::string ProgramFolder();

}  // namespace compat::win32
