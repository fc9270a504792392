// The fixture every test that touches the registry, the runtime folder or
// the environment derives from: each test gets hives and a runtime folder of
// its own, and leaves the environment as it found it. A parameterised
// fixture adds ::testing::WithParamInterface<T>.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testing_support {

class IsolatedTest : public ::testing::Test {
 protected:
  // Makes <folder>/registry and <folder>/run and points ORBWEAVE_PREFIX and
  // XDG_RUNTIME_DIR at them, before any member of a derived fixture is built.
  IsolatedTest();
  // Puts back every variable the test set or removed through this fixture.
  ~IsolatedTest() override;

  // Sets or removes a variable for this test only; child processes inherit it.
  void SetEnv(const std::string& name, const std::string& value);
  void UnsetEnv(const std::string& name);

  // The desktop's opener (ShellExecuteW) for this test: an xdg-open in
  // <folder>/bin, alone on PATH, that appends each address it is given to
  // <folder>/opened, one a line, and ends with $OPENER_EXIT (0 when unset).
  // A display is named, as the opener needs one.
  void UseFakeOpener();
  std::string openedFile() const { return folder_ / "opened"; }

  // Scratch space of this test, removed afterwards.
  const TempFolder& folder() const { return folder_; }
  std::string registryFolder() const { return folder_ / "registry"; }
  std::string runtimeFolder() const { return folder_ / "run"; }

 private:
  void Remember(const std::string& name);

  TempFolder folder_;
  // Each changed variable with the value it had first (nullopt: it was unset).
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace testing_support
