// The command-line tokenizer.
#include "shell/CommandLine.h"

#include <string>

CCommandLine::CCommandLine(const CString& commandLine) {
  CString line = commandLine;
  line.Trim();
  // One pass: a double quote always ends the stretch before it and opens or
  // closes a quoted stretch; a blank ends a stretch only outside quotes.
  // Quotes are delimiters, so no token ever holds one, and empty stretches
  // are no tokens.
  std::u16string token;
  bool insideQuotes = false;
  for (const char16_t c : line.str()) {
    const bool quote = c == u'"';
    if (!quote && (insideQuotes || c != u' ')) {
      token += c;
      continue;
    }
    if (!token.empty()) tokens_.emplace_back(token);
    token.clear();
    if (quote) insideQuotes = !insideQuotes;
  }
  if (!token.empty()) tokens_.emplace_back(token);
}

CString CCommandLine::Token(int index) const {
  if (index < 0 || index >= Count()) return CString();
  return tokens_[static_cast<std::size_t>(index)];
}
