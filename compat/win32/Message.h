// The thread's message queue, as far as the program uses it: the quit
// message that asks the thread's message loop (the engine's window) to end.
//
//   PostQuitMessage(0);                       // the shell, in a callback
//   int code;
//   if (compat::win32::TakeQuitMessage(&code)) CloseWindow();  // the loop
#pragma once

#include "compat/win32/WinTypes.h"

// Posts the quit message with `exitCode` to the calling thread's queue; a
// second post before the loop took the first keeps the latest code.
void WINAPI PostQuitMessage(int exitCode);

namespace compat::win32 {
// True once a quit message waits on the calling thread's queue, and takes it
// (with its exit code into `exitCode` when that is not null).
bool TakeQuitMessage(int* exitCode);
}  // namespace compat::win32
