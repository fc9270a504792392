// The .po reader is a line-by-line state machine over entries: comments and
// flags, then msgid, then msgstr, each with continuation strings.
#include "tools/langpack/PoFile.h"

#include <algorithm>
#include <map>
#include <optional>

#include "compat/win32/Utf8.h"

namespace langpack {

namespace {

constexpr const char* kZeroRefused = "a zero character cannot be part of a text";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool IsUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t at = 0, used = 0; at < text.size(); at += used) {
    if (compat::win32::DecodeUtf8(bytes + at, text.size() - at, used) == compat::win32::kNotUtf8) return false;
  }
  return true;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class PoReader {
 public:
  PoReader(std::string_view input, const std::string& name) : input_(input), name_(name) {}

  Catalog Read() {
    std::size_t start = 0;
    while (start < input_.size()) {
      const std::size_t end = std::min(input_.find('\n', start), input_.size());
      ++line_;
      ReadLine(input_.substr(start, end - start));
      start = end + 1;
    }
    Finish();
    if (!sawHeader_) Fail(0, "no header entry (msgid \"\")");
    return std::move(catalog_);
  }

 private:
  enum class Target { kNone, kKey, kText };

  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw Error(name_ + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what);
  }

  void ReadLine(std::string_view raw) {
    if (!IsUtf8(raw)) Fail(line_, "the text is not UTF-8");
    // A pack's texts end at a zero unit, so a zero byte would cut the text.
    if (raw.find('\0') != std::string_view::npos) Fail(line_, kZeroRefused);
    const std::string_view line = Trimmed(raw);
    if (line.empty()) return Finish();
    if (line.starts_with("#")) {
      if (HasText()) Finish();
      if (line.starts_with("#~")) return;  // obsolete: kept by translators, never compiled
      if (line.starts_with("#,")) {
        if (line.find("fuzzy") != std::string_view::npos) fuzzy_ = true;
      } else if (line == "#" || line.starts_with("# ")) {
        comments_.emplace_back(line.size() > 2 ? line.substr(2) : std::string_view());
      }
      return;
    }
    if (line.starts_with("msgctxt")) Fail(line_, "message contexts (msgctxt) are not supported");
    if (line.starts_with("msgid_plural") || line.starts_with("msgstr[")) {
      Fail(line_, "plural forms are not supported: a pack maps one key to one text");
    }
    if (Keyword(line, "msgid")) {
      if (HasText()) Finish();
      if (key_) Fail(line_, "msgid follows a msgid without its msgstr");
      keyLine_ = line_;
      key_ = String(line.substr(5));
      target_ = Target::kKey;
    } else if (Keyword(line, "msgstr")) {
      if (!key_) Fail(line_, "msgstr without a msgid");
      if (text_) Fail(line_, "a second msgstr for one msgid");
      text_ = String(line.substr(6));
      target_ = Target::kText;
    } else if (line.front() == '"') {
      if (target_ == Target::kNone) Fail(line_, "a string that belongs to no msgid or msgstr");
      (target_ == Target::kKey ? *key_ : *text_) += String(line);
    } else {
      Fail(line_, "unexpected text \"" + std::string(line.substr(0, 20)) + "\"");
    }
  }

  static bool Keyword(std::string_view line, std::string_view word) {
    return line.starts_with(word) && line.size() > word.size() && IsSpace(line[word.size()]);
  }

  bool HasText() const { return text_.has_value(); }

  // One C string literal, alone on the rest of the line.
  std::string String(std::string_view rest) const {
    rest = Trimmed(rest);
    if (rest.empty() || rest.front() != '"') Fail(line_, "a string in double quotes is expected");
    std::string out;
    // Plain runs up to the next quote or backslash are taken whole.
    for (std::size_t at = 1;;) {
      const std::size_t stop = rest.find_first_of("\"\\", at);
      if (stop == std::string_view::npos) Fail(line_, "the string has no closing quote");
      out.append(rest.substr(at, stop - at));
      at = stop + 1;
      if (rest[stop] == '"') {
        if (at != rest.size()) Fail(line_, "text after the closing quote");
        return out;
      }
      if (at == rest.size()) Fail(line_, "the string has no closing quote");
      out += Escape(rest, at);
    }
  }

  // The character of the escape sequence whose letter is at `at`.
  char Escape(std::string_view rest, std::size_t& at) const {
    static constexpr std::string_view kFrom = "ntr\"\\'?abfv";
    static constexpr std::string_view kTo = "\n\t\r\"\\'?\a\b\f\v";
    const char c = rest[at++];
    if (const std::size_t i = kFrom.find(c); i != std::string_view::npos) return kTo[i];
    int value = 0;
    int digits = 0;
    if (c >= '0' && c <= '7') {
      for (--at; digits < 3 && at < rest.size() && rest[at] >= '0' && rest[at] <= '7'; ++digits)
        value = value * 8 + (rest[at++] - '0');
    } else if (c == 'x') {
      for (int v; digits < 2 && at < rest.size() && (v = HexValue(rest[at])) >= 0; ++digits, ++at)
        value = value * 16 + v;
    }
    if (digits == 0 || value > 0xFF) Fail(line_, std::string("unknown escape sequence \\") + c);
    if (value == 0) Fail(line_, kZeroRefused);
    return static_cast<char>(value);
  }

  // Ends the entry read so far and keeps it when it counts.
  void Finish() {
    if (key_ && !text_) Fail(keyLine_, "msgid without a msgstr");
    if (key_) Keep();
    key_.reset();
    text_.reset();
    target_ = Target::kNone;
    fuzzy_ = false;
    comments_.clear();
  }

  void Keep() {
    if (!IsUtf8(*key_) || !IsUtf8(*text_)) Fail(keyLine_, "an escape sequence makes the text other than UTF-8");
    if (key_->empty()) return ReadHeader();
    if (fuzzy_ || text_->empty()) return;  // not (yet) a translation: the default shows
    if (const auto [first, added] = firstLine_.emplace(*key_, keyLine_); !added) {
      Fail(keyLine_, "msgid \"" + *key_ + "\" is there twice (first at line " + std::to_string(first->second) + ")");
    }
    catalog_.messages.push_back({*key_, *text_});
  }

  void ReadHeader() {
    if (sawHeader_) Fail(keyLine_, "a second header entry");
    sawHeader_ = true;
    for (std::size_t i = 0; i < comments_.size(); ++i) catalog_.comment += (i ? "\n" : "") + comments_[i];
    std::string_view fields = *text_;
    while (!fields.empty()) {
      const std::size_t end = std::min(fields.find('\n'), fields.size());
      const std::string_view field = fields.substr(0, end);
      fields.remove_prefix(std::min(end + 1, fields.size()));
      const std::size_t colon = field.find(':');
      if (colon == std::string_view::npos) continue;
      const std::string_view name = Trimmed(field.substr(0, colon));
      const std::string value(Trimmed(field.substr(colon + 1)));
      if (name == "Language") catalog_.language = value;
      if (name == "Project-Id-Version") catalog_.project = value;
      if (name == "PO-Revision-Date") catalog_.revision = value;
      if (name == "Language-Team") catalog_.languageName = Trimmed(value.substr(0, value.find('<')));
      if (name == "Content-Type") CheckCharset(value);
    }
  }

  void CheckCharset(std::string value) const {
    std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t at = value.find("charset=");
    if (at == std::string::npos) return;
    const std::string charset(Trimmed(value.substr(at + 8)));
    if (charset != "utf-8" && charset != "us-ascii" && charset != "ascii") {
      Fail(keyLine_, "the charset is " + charset + "; only UTF-8 is read");
    }
  }

  std::string_view input_;
  const std::string& name_;
  int line_ = 0;
  Catalog catalog_;
  bool sawHeader_ = false;
  std::map<std::string, int> firstLine_;

  // The entry being read.
  std::optional<std::string> key_;
  std::optional<std::string> text_;
  int keyLine_ = 0;
  Target target_ = Target::kNone;
  bool fuzzy_ = false;
  std::vector<std::string> comments_;
};

// A text as one or more quoted strings, one line of the text each.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    switch (c) {
      case '\n': out += "\\n\"\n\""; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          // Three octal digits, the first always 0 below 0x20.
          out += "\\0";
          out += static_cast<char>('0' + ((c >> 3) & 7));
          out += static_cast<char>('0' + (c & 7));
        } else {
          out += c;
        }
    }
  }
  out += '"';
  // A text of several lines starts on a line of its own, as gettext's tools write it.
  if (out.ends_with("\n\"\"")) out.resize(out.size() - 3);
  if (out.find('\n') != std::string::npos) out = "\"\"\n" + out;
  return out;
}

std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

Catalog ReadPo(std::string_view text, const std::string& name) { return PoReader(text, name).Read(); }

std::string WritePo(const Catalog& catalog) {
  std::string out;
  // Every line of the comment, the empty ones as a bare "#", the last too.
  const std::string_view comment = catalog.comment;
  for (std::size_t start = 0, end = 0; !comment.empty() && end != std::string_view::npos; start = end + 1) {
    end = comment.find('\n', start);
    const std::string_view line = comment.substr(start, end - start);
    out += line.empty() ? "#\n" : "# " + std::string(line) + "\n";
  }
  std::string header;
  const auto field = [&](const char* name, const std::string& value) {
    header += std::string(name) + ": " + OneLine(value) + "\n";
  };
  field("Project-Id-Version", catalog.project);
  field("PO-Revision-Date", catalog.revision);
  field("Language-Team", catalog.languageName);
  field("Language", catalog.language);
  field("MIME-Version", "1.0");
  field("Content-Type", "text/plain; charset=UTF-8");
  field("Content-Transfer-Encoding", "8bit");
  out += "msgid \"\"\nmsgstr " + Quoted(header) + "\n";
  for (const Message& message : catalog.messages) {
    out += "\nmsgid " + Quoted(message.key) + "\nmsgstr " + Quoted(message.text) + "\n";
  }
  return out;
}

std::vector<std::string> Placeholders(std::string_view text) {
  std::vector<std::string> found;
  for (std::size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at)) {
    std::size_t end = at + 1;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    if (end > at + 1 && end < text.size() && text[end] == '%') {
      found.emplace_back(text.substr(at, end + 1 - at));
      at = end + 1;
    } else {
      at = end == at + 1 ? at + 1 : end;
    }
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  return found;
}

void CheckPlaceholders(const Catalog& translation, const Catalog& defaults, const std::string& name) {
  std::map<std::string_view, std::string_view> english;
  for (const Message& message : defaults.messages) english.emplace(message.key, message.text);
  const auto list = [](const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& n : names) out += (out.empty() ? "" : " ") + n;
    return out.empty() ? std::string("none") : out;
  };
  std::string wrong;
  for (const Message& message : translation.messages) {
    const auto found = english.find(message.key);
    if (found == english.end()) continue;
    const auto wanted = Placeholders(found->second);
    const auto used = Placeholders(message.text);
    if (used != wanted) {
      wrong += "\n  " + message.key + ": the translation has " + list(used) + ", the default " + list(wanted);
    }
  }
  if (!wrong.empty()) throw Error(name + ": placeholders differ from the default:" + wrong);
}

}  // namespace langpack
