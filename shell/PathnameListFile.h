// Reads the path-name list files that other programs hand the shell with
// "-audiocd" and "-datacd": UTF-16 text, byte order mark first, one path a line.
//
//   CPathnameListFile list;
//   if (list.Read(u"Z:\\tmp\\burn.lst")) use(list.Path(0));   // zero-terminated
//   else if (list.Error() == CPathnameListFile::kNotAFile) tell the user
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "compat/mfc/CString.h"

class CPathnameListFile {
 public:
  enum ReadError {
    kNone,
    kUnreadable,  // missing, not readable, or shorter than its length
    kNotAFile,    // a folder, device, pipe or socket: never opened for reading
  };

  // False when the file cannot be opened or not be read whole, or is not a
  // regular file; the list then keeps nothing. Only a regular file is read:
  // anything else is refused without waiting on it.
  bool Read(const CString& path);
  ReadError Error() const { return error_; }

  int Count() const { return static_cast<int>(starts_.size()); }
  CString Get(int index) const { return CString(Path(index)); }
  // The path, zero-terminated, valid until the next Read or Clear.
  const char16_t* Path(int index) const { return text_.data() + starts_.at(static_cast<std::size_t>(index)); }
  // Lets go of the paths and their memory.
  void Clear();

 private:
  // Every kept line, each followed by its terminator, and where each starts:
  // one allocation for the whole list rather than one per path.
  std::u16string text_;
  std::vector<std::uint32_t> starts_;
  ReadError error_ = kNone;
};
