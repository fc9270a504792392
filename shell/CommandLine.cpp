// The command-line tokenizer.
#include "shell/CommandLine.h"

namespace {

// The nearer of a blank and a double quote at or after `from`; -1 for none.
int FindDelimiter(const CString& line, int from, bool insideQuotes) {
  const int quote = line.Find(u'"', from);
  if (insideQuotes) return quote;
  const int blank = line.Find(u' ', from);
  if (quote < 0) return blank;
  if (blank < 0) return quote;
  return quote < blank ? quote : blank;
}

CString StripOneQuote(CString token) {
  if (!token.IsEmpty() && token[0] == u'"') token = token.Mid(1);
  if (!token.IsEmpty() && token[token.GetLength() - 1] == u'"') token = token.Left(token.GetLength() - 1);
  return token;
}

}  // namespace

CCommandLine::CCommandLine(const CString& commandLine) {
  CString line = commandLine;
  line.Trim();
  const int length = line.GetLength();
  bool insideQuotes = false;
  int start = 0;
  while (start < length) {
    int end = FindDelimiter(line, start, insideQuotes);
    if (end < 0) end = length;
    CString token = StripOneQuote(line.Mid(start, end - start));
    if (!token.IsEmpty()) tokens_.push_back(token);
    // A quote opens a quoted stretch, and the next quote closes it.
    if (end < length && line[end] == u'"') insideQuotes = !insideQuotes;
    start = end + 1;
  }
}

CString CCommandLine::Token(int index) const {
  if (index < 0 || index >= Count()) return CString();
  return tokens_[static_cast<std::size_t>(index)];
}
