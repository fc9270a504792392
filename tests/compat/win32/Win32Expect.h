// Checks of a Win32 call's result together with the last-error code it left.
#pragma once

#include <gtest/gtest.h>

#include "compat/win32/Error.h"

// Clears the code, makes the call, and checks the result and the code.
#define EXPECT_WIN32(call, result, error)                 \
  do {                                                    \
    SetLastError(0xdeadbeef);                             \
    EXPECT_EQ((call), (result));                          \
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(error)); \
  } while (0)
