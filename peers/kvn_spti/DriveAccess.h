// The drive-access library's exports, looked up by name: InitWmiDrives by the
// program at its start, ScanWmiDrives by the engine when it needs the drives.
//
//   auto init = reinterpret_cast<decltype(&InitWmiDrives)>(GetProcAddress(module, "InitWmiDrives"));
//   init(u"SOFTWARE\\korvane\\Korvane Orbweave 9\\drives");
#pragma once

#include <cstdint>

#include "compat/win32/WinTypes.h"

#define KVN_SPTI_API extern "C" __attribute__((visibility("default")))

// Takes the key the drives are recorded under and scans nothing, so a start
// pays for no drive access. Returns 0, or -1 for a null or empty key.
KVN_SPTI_API std::int32_t WINAPI InitWmiDrives(const char16_t* registryKeyText);

// Records the machine's optical drives below HKEY_CURRENT_USER\<registryKeyText>:
// a "Count" value (REG_DWORD) and one subkey per drive, named "0", "1", ...
// in device order, holding "Device" (the device file) and, when the drive
// reports them, "Vendor" and "Model". Drives of an earlier call are
// forgotten. Returns the number of drives, or -1 when nothing could be
// recorded. libburn is loaded on the first call.
KVN_SPTI_API std::int32_t WINAPI ScanWmiDrives(const char16_t* registryKeyText);
