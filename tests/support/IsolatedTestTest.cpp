// The per-test environment: what a fixture changes is gone afterwards.
#include "tests/support/IsolatedTest.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::optional<std::string> Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

// A fixture object made by hand, so the test sees before, during and after.
struct Fixture : testing_support::IsolatedTest {
  void TestBody() override {}
  using IsolatedTest::SetEnv;
  using IsolatedTest::UnsetEnv;
  using IsolatedTest::registryFolder;
  using IsolatedTest::runtimeFolder;
};

TEST(IsolatedTest, GivesFoldersOfItsOwnAndRestoresEveryVariable) {
  setenv("ORBWEAVE_PREFIX", "/outer/registry", 1);
  unsetenv("XDG_RUNTIME_DIR");
  setenv("ISOLATED_SET", "outer", 1);
  setenv("ISOLATED_UNSET", "outer", 1);
  unsetenv("ISOLATED_NEW");
  std::string runtime;
  {
    Fixture first;
    Fixture second;
    EXPECT_NE(first.registryFolder(), second.registryFolder());
    EXPECT_EQ(Env("ORBWEAVE_PREFIX"), second.registryFolder());
    EXPECT_EQ(Env("XDG_RUNTIME_DIR"), second.runtimeFolder());
    runtime = second.runtimeFolder();
    struct stat st;
    ASSERT_EQ(stat(runtime.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & (S_IFMT | 0777), S_IFDIR | 0700u);

    // Changed twice: the first value is the one put back.
    second.SetEnv("ISOLATED_SET", "inner");
    second.SetEnv("ISOLATED_SET", "again");
    second.UnsetEnv("ISOLATED_UNSET");
    second.SetEnv("ISOLATED_NEW", "inner");
    EXPECT_EQ(Env("ISOLATED_SET"), "again");
    EXPECT_EQ(Env("ISOLATED_UNSET"), std::nullopt);
  }
  EXPECT_EQ(Env("ORBWEAVE_PREFIX"), "/outer/registry");
  EXPECT_EQ(Env("XDG_RUNTIME_DIR"), std::nullopt);
  EXPECT_EQ(Env("ISOLATED_SET"), "outer");
  EXPECT_EQ(Env("ISOLATED_UNSET"), "outer");
  EXPECT_EQ(Env("ISOLATED_NEW"), std::nullopt);
  struct stat st;
  EXPECT_NE(stat(runtime.c_str(), &st), 0);  // the scratch folder is gone
}

}  // namespace
