// The per-test environment: its folders, and the variables it changed.
#include "tests/support/IsolatedTest.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace testing_support {

IsolatedTest::IsolatedTest() {
  // Both exist, as an installed program's and a session's do.
  for (const std::string& dir : {registryFolder(), runtimeFolder()}) mkdir(dir.c_str(), 0700);
  SetEnv("ORBWEAVE_PREFIX", registryFolder());
  SetEnv("XDG_RUNTIME_DIR", runtimeFolder());
}

IsolatedTest::~IsolatedTest() {
  for (const auto& [name, value] : saved_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
}

void IsolatedTest::Remember(const std::string& name) {
  const bool known =
      std::ranges::any_of(saved_, [&](const auto& entry) { return entry.first == name; });
  if (known) return;
  const char* value = std::getenv(name.c_str());
  saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
}

void IsolatedTest::SetEnv(const std::string& name, const std::string& value) {
  Remember(name);
  setenv(name.c_str(), value.c_str(), 1);
}

void IsolatedTest::UseFakeOpener() {
  std::filesystem::create_directory(folder_ / "bin");
  const std::string opener = folder_ / "bin/xdg-open";
  WriteFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$OPENED\"\nexit ${OPENER_EXIT:-0}\n");
  std::filesystem::permissions(opener, std::filesystem::perms::owner_all);
  SetEnv("PATH", folder_ / "bin");
  SetEnv("OPENED", openedFile());
  SetEnv("DISPLAY", ":99");
  UnsetEnv("WAYLAND_DISPLAY");
}

void IsolatedTest::UnsetEnv(const std::string& name) {
  Remember(name);
  unsetenv(name.c_str());
}

}  // namespace testing_support
