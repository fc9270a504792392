// What the system object offers beyond the portable interface: library
// versions, the system version tests and special folders.
//
//   if (lumo::GetSystem()->GetWin32System()->IsWinXPOrLater()) ...
#pragma once

#include <cstdint>

#include "platform/ISystem.h"

namespace lumo::win32 {

// Offered every message the system's loop dispatches, the last added first.
class IWin32SystemMessageHandler : public virtual IBase {
 public:
  // True when the message is handled and no further handler should see it.
  virtual bool HandleMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) = 0;
};

class IWin32System : public virtual ISystem {
 public:
  // The library's version, major in the high 16 bits and minor in the low
  // ones; 0 when it does not tell.
  virtual std::uint32_t GetDllVersion(const String& fileName) = 0;
  virtual std::uint32_t GetShell32Version() = 0;
  virtual std::uint32_t GetShlwapiVersion() = 0;
  virtual std::uint32_t GetComctl32Version() = 0;
  virtual bool IsShell32Version(std::uint32_t major, std::uint32_t minor) = 0;
  virtual bool IsShlwapiVersion(std::uint32_t major, std::uint32_t minor) = 0;
  virtual bool IsComctl32Version(std::uint32_t major, std::uint32_t minor) = 0;

  virtual bool IsNT() = 0;
  virtual bool IsWin98OrLater() = 0;
  virtual bool IsWinMEOrLater() = 0;
  virtual bool IsWin2000OrLater() = 0;
  virtual bool IsWinXPOrLater() = 0;
  virtual bool IsVistaOrLater() = 0;
  // The folder of a shell special-folder id (the registry's shell folders).
  virtual P<IURI> GetSpecialFolder(std::int32_t folderId) = 0;
};

}  // namespace lumo::win32
