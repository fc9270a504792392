// The quit message: one slot per thread, as each thread has its own queue.
#include "compat/win32/Message.h"

#include <optional>

namespace {
thread_local std::optional<int> quitCode;
}  // namespace

void WINAPI PostQuitMessage(int exitCode) { quitCode = exitCode; }

namespace compat::win32 {
bool TakeQuitMessage(int* exitCode) {
  if (!quitCode) return false;
  if (exitCode != nullptr) *exitCode = *quitCode;
  quitCode.reset();
  return true;
}
}  // namespace compat::win32
