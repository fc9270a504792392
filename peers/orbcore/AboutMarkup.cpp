// A forgiving reader for the about box markup: unknown elements are passed
// through as their content, unknown entities as written.
#include "peers/orbcore/AboutMarkup.h"

#include <cstdint>

#include "compat/win32/StringConv.h"

namespace orbcore {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The character an entity stands for ("copy", "#169", "#xA9"), or false.
bool ResolveEntity(std::string_view name, std::string& out) {
  struct Named {
    std::string_view name;
    std::uint32_t code;
  };
  static constexpr Named kNamed[] = {{"amp", '&'},  {"lt", '<'},      {"gt", '>'},     {"quot", '"'},
                                     {"apos", '\''}, {"copy", 0xA9}, {"reg", 0xAE}, {"nbsp", 0xA0}};
  for (const Named& n : kNamed) {
    if (n.name == name) {
      compat::win32::AppendUtf8(out, n.code);
      return true;
    }
  }
  if (name.size() < 2 || name[0] != '#') return false;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 6) return false;
  std::uint32_t code = 0;
  for (char c : digits) {
    std::uint32_t d;
    if (c >= '0' && c <= '9') d = static_cast<std::uint32_t>(c - '0');
    else if (hex && c >= 'a' && c <= 'f') d = static_cast<std::uint32_t>(c - 'a' + 10);
    else if (hex && c >= 'A' && c <= 'F') d = static_cast<std::uint32_t>(c - 'A' + 10);
    else return false;
    code = code * (hex ? 16 : 10) + d;
  }
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  compat::win32::AppendUtf8(out, code);
  return true;
}

class MarkupReader {
 public:
  std::vector<AboutParagraph> Read(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
      if (s[i] == '<') {
        const std::size_t end = s.find('>', i);
        if (end == std::string_view::npos) break;  // a cut-off tag ends the document
        Tag(s.substr(i + 1, end - i - 1));
        i = end + 1;
      } else if (s[i] == '&') {
        const std::size_t end = s.find(';', i);
        std::string resolved;
        if (end != std::string_view::npos && end - i <= 10 && ResolveEntity(s.substr(i + 1, end - i - 1), resolved)) {
          Text(resolved, false);
          i = end + 1;
        } else {
          Text("&", false);
          ++i;
        }
      } else {
        const std::size_t end = s.find_first_of("<&", i);
        Text(s.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i), true);
        i = end == std::string_view::npos ? s.size() : end;
      }
    }
    EndParagraph();
    return std::move(paragraphs_);
  }

 private:
  void Tag(std::string_view tag) {
    const bool closing = !tag.empty() && tag[0] == '/';
    if (closing) tag.remove_prefix(1);
    const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
    const std::string_view name = tag.substr(0, nameEnd);
    if (name == "about") {
      EndParagraph();
    } else if (name == "b") {
      bold_ = !closing;
    } else if (name == "br") {
      current_.push_back({"", false, true});
      pendingBlank_ = false;
    }
  }

  // Markup text: white space collapses; text from entities is kept as is.
  void Text(std::string_view text, bool collapse) {
    for (char c : text) {
      const bool blank = collapse && (c == ' ' || c == '\t' || c == '\r' || c == '\n');
      if (blank) {
        pendingBlank_ = !current_.empty() && !current_.back().lineBreak;
        continue;
      }
      if (current_.empty() || current_.back().lineBreak || current_.back().bold != bold_) {
        current_.push_back({"", bold_, false});
      }
      if (pendingBlank_) current_.back().text += ' ';
      pendingBlank_ = false;
      current_.back().text += c;
    }
  }

  void EndParagraph() {
    while (!current_.empty() && current_.back().lineBreak) current_.pop_back();
    if (!current_.empty()) paragraphs_.push_back(std::move(current_));
    current_.clear();
    pendingBlank_ = false;
  }

  std::vector<AboutParagraph> paragraphs_;
  AboutParagraph current_;
  bool bold_ = false;
  bool pendingBlank_ = false;
};

}  // namespace

std::vector<AboutParagraph> ParseAboutMarkup(std::string_view markup, std::string_view appName,
                                             std::string_view appVersion) {
  std::vector<AboutParagraph> paragraphs = MarkupReader().Read(markup);
  for (AboutParagraph& paragraph : paragraphs) {
    for (AboutRun& run : paragraph) {
      ReplaceAll(run.text, "%APPNAME%", appName);
      ReplaceAll(run.text, "%APPVER%", appVersion);
    }
  }
  return paragraphs;
}

}  // namespace orbcore
