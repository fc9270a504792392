// Reads the path-name list files that other programs hand the shell with
// "-audiocd" and "-datacd": UTF-16 text, byte order mark first, one path a line.
#pragma once

#include <vector>

#include "compat/mfc/CString.h"

class CPathnameListFile {
 public:
  // False when the file cannot be opened or not be read whole; the list then
  // keeps nothing.
  bool Read(const CString& path);
  int Count() const { return static_cast<int>(paths_.size()); }
  CString Get(int index) const { return paths_.at(static_cast<std::size_t>(index)); }

 private:
  std::vector<CString> paths_;
};
