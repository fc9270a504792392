// A test program whose only case ends the process half-way with exit code 0,
// as a stray single-instance check would: the harness must report a failure.
#include <gtest/gtest.h>

#include <cstdlib>

TEST(ExitsEarly, StopsTheProgramWithSuccess) {
  std::exit(0);
}
