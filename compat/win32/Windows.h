// Everything compat offers of the Win32 API, for code that wants it all.
#pragma once

#include "compat/win32/Error.h"
#include "compat/win32/File.h"
#include "compat/win32/Locale.h"
#include "compat/win32/Gdi.h"
#include "compat/win32/Menu.h"
#include "compat/win32/Message.h"
#include "compat/win32/Module.h"
#include "compat/win32/Process.h"
#include "compat/win32/Registry.h"
#include "compat/win32/Resource.h"
#include "compat/win32/StringConv.h"
#include "compat/win32/Sync.h"
#include "compat/win32/Thread.h"
#include "compat/win32/Time.h"
#include "compat/win32/Version.h"
#include "compat/win32/WinTypes.h"
