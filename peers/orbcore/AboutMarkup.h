// The about box markup turned into paragraphs of plain and bold runs.
//
//   <about><p><b>%APPNAME%,version %APPVER%</b><br/>&copy; ...</p></about>
//
// Each "about" element is one paragraph; "b" makes its text bold, "br/"
// breaks the line; &copy;, &amp; and the other XML entities are resolved.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orbcore {

struct AboutRun {
  std::string text;  // UTF-8; empty for a line break
  bool bold = false;
  bool lineBreak = false;

  bool operator==(const AboutRun&) const = default;
};

using AboutParagraph = std::vector<AboutRun>;

// White space runs collapse to one blank, as in a browser. %APPNAME% and
// %APPVER% are filled with the given texts.
std::vector<AboutParagraph> ParseAboutMarkup(std::string_view markup, std::string_view appName,
                                             std::string_view appVersion);

}  // namespace orbcore
