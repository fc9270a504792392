// Message boxes. Where they appear depends on the framework's backend: a real
// dialog when a display is there (wxWidgets), the text on standard error
// without one, or a record that tests read.
#pragma once

#include <string>
#include <vector>

#include "compat/win32/WinTypes.h"

#define MB_OK 0x00000000
#define MB_OKCANCEL 0x00000001
#define MB_YESNOCANCEL 0x00000003
#define MB_YESNO 0x00000004
#define MB_ICONERROR 0x00000010
#define MB_ICONSTOP MB_ICONERROR
#define MB_ICONQUESTION 0x00000020
#define MB_ICONWARNING 0x00000030
#define MB_ICONINFORMATION 0x00000040
#define MB_DEFBUTTON1 0x00000000
#define MB_DEFBUTTON2 0x00000100
#define MB_DEFBUTTON3 0x00000200
#define MB_TYPEMASK 0x0000000F
#define MB_ICONMASK 0x000000F0
#define MB_DEFMASK 0x00000F00
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

// Shows `text` with the application's name as the caption and returns the
// button chosen (IDOK, IDCANCEL, IDYES, IDNO). Without a display the text goes
// to standard error and the default button answers. The help id is accepted
// for the framework's signature; there is no help to open here.
int AfxMessageBox(LPCWSTR text, UINT type = MB_OK, UINT helpId = 0);
