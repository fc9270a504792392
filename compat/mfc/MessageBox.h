// Message boxes. Where they appear depends on the framework's backend: a real
// dialog when a display is there (wxWidgets), the text on standard error
// without one, or a record that tests read.
#pragma once

#include <string>
#include <vector>

#include "compat/win32/WinTypes.h"

#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_YESNO 0x00000004
#define MB_ICONERROR 0x00000010
#define MB_ICONSTOP MB_ICONERROR
#define MB_ICONQUESTION 0x00000020
#define MB_ICONWARNING 0x00000030
#define MB_ICONINFORMATION 0x00000040
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
