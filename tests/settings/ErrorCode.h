// The managers' tests: the code of the manager error an action throws.
#pragma once

#include <functional>

#include "settings/lapp/AppmanError.h"

namespace settings_tests {

// The code of the manager error `action` throws; 0 when it throws none.
inline int ErrorCode(const std::function<void()>& action) {
  try {
    action();
  } catch (const lapp::CAppmanError& error) {
    return error.code();
  }
  return 0;
}

}  // namespace settings_tests
