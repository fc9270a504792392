// Splits the program's command line into tokens the way the shell has always
// read it: blanks separate tokens, double quotes keep blanks inside a token.
//
//   CCommandLine line(u" -open \"Z:\\My Projects\\a.prj\" ");
//   line.Count();     // 2
//   line.Token(1);    // Z:\My Projects\a.prj
//   line.Token(7);    // empty: past the last token
#pragma once

#include <vector>

#include "compat/mfc/CString.h"

class CCommandLine {
 public:
  explicit CCommandLine(const CString& commandLine);

  int Count() const { return static_cast<int>(tokens_.size()); }
  // The empty string for an index outside the tokens.
  CString Token(int index) const;

 private:
  std::vector<CString> tokens_;
};
