// The main of every test program. A program that stops before its tests are
// done (an exit() deep inside the code under test) and a run whose filter
// matched no test both end with a failing exit code.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// GoogleTest creates this file when its tests start and removes it when they
// have finished: still there at exit, the program stopped early. Children
// forked by a test (not the owner) exit without this check.
std::string g_markerPath;
pid_t g_owner = 0;

void FailIfStoppedEarly() {
  if (getpid() != g_owner || access(g_markerPath.c_str(), F_OK) != 0) return;
  unlink(g_markerPath.c_str());
  std::fputs("\n[  FAILED  ] the test program exited before its tests finished\n", stderr);
  std::fflush(nullptr);
  _exit(1);
}

// Once GoogleTest has created the file, the programs the tests start need not see its name.
class ForgetMarkerName : public ::testing::EmptyTestEventListener {
  void OnTestProgramStart(const ::testing::UnitTest&) override { unsetenv("TEST_PREMATURE_EXIT_FILE"); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const char* tmp = std::getenv("TMPDIR");
  g_owner = getpid();
  g_markerPath = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/orbweave-test-running-" +
                 std::to_string(g_owner);
  setenv("TEST_PREMATURE_EXIT_FILE", g_markerPath.c_str(), 1);
  ::testing::UnitTest::GetInstance()->listeners().Append(new ForgetMarkerName);
  std::atexit(FailIfStoppedEarly);

  const int result = RUN_ALL_TESTS();
  if (result == 0 && ::testing::UnitTest::GetInstance()->test_to_run_count() == 0 &&
      !GTEST_FLAG_GET(list_tests)) {
    std::fputs("[  FAILED  ] no test matched the filter; a test that does not run cannot pass\n", stderr);
    return 1;
  }
  return result;
}
