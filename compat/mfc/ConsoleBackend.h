// The console backend: message boxes become lines on standard error.
#pragma once

#include <string>

#include "compat/mfc/Backend.h"

namespace compat::mfc {

// "orbweave: error: Could not load orbcore.dll". Lines after the first are
// indented, so that each message stands as one block; the default button
// answers.
class ConsoleBackend final : public Backend {
 public:
  int MessageBox(LPCWSTR text, LPCWSTR caption, UINT type) override;
  bool HasDisplay() const override { return false; }
  bool MakesPopups() const override { return false; }
};

// The program's name as messages show it: the application's executable name,
// else the name the process was started under.
std::u16string ProgramName();

}  // namespace compat::mfc
