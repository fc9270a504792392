// The drive-access library's one export, as the shell looks it up by name.
//
//   auto init = reinterpret_cast<decltype(&InitWmiDrives)>(GetProcAddress(module, "InitWmiDrives"));
//   init(u"SOFTWARE\\korvane\\Korvane Orbweave 9\\drives");
#pragma once

#include <cstdint>

#include "compat/win32/WinTypes.h"

#define KVN_SPTI_API extern "C" __attribute__((visibility("default")))

// Records the machine's optical drives below HKEY_CURRENT_USER\<registryKeyText>:
// a "Count" value (REG_DWORD) and one subkey per drive, named "0", "1", ...
// in device order, holding "Device" (the device file) and, when the drive
// reports them, "Vendor" and "Model". Drives of an earlier call are
// forgotten. Returns the number of drives, or -1 when nothing could be
// recorded.
KVN_SPTI_API std::int32_t WINAPI InitWmiDrives(const char16_t* registryKeyText);
