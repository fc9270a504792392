// The contract between the framework and its wxWidgets module: the module's
// file and the one function it exports.
#pragma once

#include "compat/mfc/Backend.h"
#include "compat/win32/WinTypes.h"

namespace compat::mfc {

// Found beside the program as libcompat_mfc_wx.so, like any library it loads.
inline constexpr LPCWSTR kWxModuleName = u"compat_mfc_wx.dll";
inline constexpr const char* kWxBackendFactory = "compat_mfc_CreateWxBackend";

// Returns the module's backend, which lives until the process ends, and
// arranges that the program's later wxEntryStart builds a GUI application;
// null when the display named in the environment does not answer.
using WxBackendFactory = Backend* (*)();

}  // namespace compat::mfc
