// Reading, applying and writing registry files. Files name roots in full or
// short (HKCU, HKLM, HKCR, HKU), without case; this writes them in full.
#include "peers/regedit/RegFile.h"

#include <algorithm>
#include <memory>
#include <string>

#include "compat/win32/Error.h"
#include "compat/win32/StringConv.h"

namespace regfile {

namespace {

constexpr std::u16string_view kRegedit4Header = u"REGEDIT4";
constexpr std::u16string_view kVersion5Header = u"Windows Registry Editor Version 5.00";

struct RootName {
  std::u16string_view full;
  std::u16string_view brief;
  LONG id;  // the predefined handle's value
};
constexpr RootName kRoots[] = {
    {u"HKEY_CLASSES_ROOT", u"HKCR", static_cast<LONG>(0x80000000)},
    {u"HKEY_CURRENT_USER", u"HKCU", static_cast<LONG>(0x80000001)},
    {u"HKEY_LOCAL_MACHINE", u"HKLM", static_cast<LONG>(0x80000002)},
    {u"HKEY_USERS", u"HKU", static_cast<LONG>(0x80000003)},
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

bool SameAscii(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](char16_t x, char16_t y) { return AsciiUpper(x) == AsciiUpper(y); });
}

bool StartsWithAscii(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && SameAscii(text.substr(0, prefix.size()), prefix);
}

std::string Narrow(std::u16string_view text) { return compat::win32::Utf16ToAnsi(text); }

// The system's text for a registry failure, without its line end.
std::string SystemMessage(LONG code) {
  char16_t text[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(code), 0, text, 512, nullptr);
  if (length == 0) return "error " + std::to_string(code);
  std::u16string_view message(text, length);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n'))
    message.remove_suffix(1);
  return Narrow(message);
}

[[noreturn]] void Fail(int line, const std::string& message) {
  throw Error("line " + std::to_string(line) + ": " + message);
}

[[noreturn]] void FailRegistry(const std::string& what, std::u16string_view key, LONG code) {
  throw Error(what + " " + Narrow(key) + ": " + SystemMessage(code));
}

[[noreturn]] void FailRegistry(int line, const std::string& what, std::u16string_view key, LONG code) {
  Fail(line, what + " " + Narrow(key) + ": " + SystemMessage(code));
}

std::vector<BYTE> Utf16Bytes(std::u16string_view text) {
  std::vector<BYTE> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<BYTE>(unit & 0xFF));
    bytes.push_back(static_cast<BYTE>(unit >> 8));
  }
  return bytes;
}

std::u16string Utf16Text(const std::vector<BYTE>& bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  return text;
}

bool IsTextType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Whether the ANSI code page holds the text exactly.
bool FitsAnsi(std::u16string_view text) {
  return compat::win32::AnsiToUtf16(compat::win32::Utf16ToAnsi(text)) == text;
}

// ---------------------------------------------------------------------------
// Reading

struct Line {
  int number;
  std::u16string text;
};

// Whether a physical line goes on in the next one: it ends in a backslash that
// is not inside a quoted string. A line only goes on outside quotes, so the
// next physical line starts outside them too and is looked at on its own:
// joining stays linear however many lines a value spans.
bool Continues(std::u16string_view text) {
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (quoted && text[i] == u'\\') ++i;
    else if (text[i] == u'"') quoted = !quoted;
  }
  return !quoted && !text.empty() && text.back() == u'\\';
}

// Physical lines joined at their continuations, trimmed, numbered by the line
// they start on.
std::vector<Line> LogicalLines(std::u16string_view text) {
  std::vector<Line> lines;
  bool continuing = false;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find_first_of(u"\r\n");
    std::u16string_view physical = Trim(text.substr(0, end));
    ++number;
    if (end == std::u16string_view::npos) text = {};
    else text.remove_prefix(end + (text.substr(end, 2) == u"\r\n" ? 2 : 1));

    if (continuing) lines.back().text.append(physical);
    else lines.push_back({number, std::u16string(physical)});
    std::u16string& current = lines.back().text;
    // An empty physical line leaves the joined line as it was: outside quotes.
    continuing = !current.empty() && current[0] != u';' && current[0] != u'[' &&
                 (physical.empty() ? current.back() == u'\\' : Continues(physical));
    if (continuing) current.pop_back();
  }
  return lines;
}

// A quoted string starting at `*pos`, with \\ and \" unescaped; a backslash
// before any other character stands for itself.
std::u16string ReadQuoted(std::u16string_view text, size_t* pos, int line) {
  std::u16string value;
  for (size_t i = *pos + 1; i < text.size(); ++i) {
    if (text[i] == u'"') {
      *pos = i + 1;
      return value;
    }
    if (text[i] == u'\\' && i + 1 < text.size() && (text[i + 1] == u'\\' || text[i + 1] == u'"')) ++i;
    value += text[i];
  }
  Fail(line, "a quoted string has no closing quotation mark");
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A number of 1 to `maxDigits` hexadecimal digits.
bool ParseHex(std::u16string_view text, size_t maxDigits, DWORD* value) {
  if (text.empty() || text.size() > maxDigits) return false;
  *value = 0;
  for (char16_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    *value = (*value << 4) | static_cast<DWORD>(digit);
  }
  return true;
}

// "01,02, ff" into bytes; an empty list is no bytes. Like Windows' tool this
// takes a byte of one digit ("1" for 01).
std::vector<BYTE> ParseBytes(std::u16string_view text, int line) {
  std::vector<BYTE> bytes;
  text = Trim(text);
  if (!text.empty() && text.back() == u',') text.remove_suffix(1);
  while (!text.empty()) {
    const size_t comma = text.find(u',');
    DWORD byte = 0;
    if (!ParseHex(Trim(text.substr(0, comma)), 2, &byte))
      Fail(line, "hex data must be bytes of one or two hexadecimal digits separated by commas");
    bytes.push_back(static_cast<BYTE>(byte));
    text = comma == std::u16string_view::npos ? std::u16string_view() : text.substr(comma + 1);
  }
  return bytes;
}

// The data after "name"=: sets the change's type and bytes, or marks a deletion.
void ParseData(std::u16string_view data, Format format, int line, Change* change) {
  if (data == u"-") {
    change->kind = Change::Kind::kDeleteValue;
    return;
  }
  if (!data.empty() && data[0] == u'"') {
    size_t pos = 0;
    const std::u16string text = ReadQuoted(data, &pos, line);
    if (!Trim(data.substr(pos)).empty()) Fail(line, "unexpected text after a string value");
    change->type = REG_SZ;
    change->data = Utf16Bytes(std::u16string(text) + u'\0');
    return;
  }
  if (StartsWithAscii(data, u"dword:")) {
    DWORD value = 0;
    if (!ParseHex(Trim(data.substr(6)), 8, &value))
      Fail(line, "dword: needs one to eight hexadecimal digits");
    change->type = REG_DWORD;
    change->data = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                    static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return;
  }
  if (StartsWithAscii(data, u"hex:")) {
    change->type = REG_BINARY;
    change->data = ParseBytes(data.substr(4), line);
    return;
  }
  if (StartsWithAscii(data, u"hex(")) {
    const size_t close = data.find(u"):");
    if (close == std::u16string_view::npos || !ParseHex(data.substr(4, close - 4), 8, &change->type))
      Fail(line, "hex(type): needs the type as hexadecimal digits");
    change->data = ParseBytes(data.substr(close + 2), line);
    // REGEDIT4 gives text values as bytes of the ANSI code page.
    if (format == Format::kRegedit4 && IsTextType(change->type)) {
      const std::string ansi(change->data.begin(), change->data.end());
      change->data = Utf16Bytes(compat::win32::AnsiToUtf16(ansi));
    }
    return;
  }
  Fail(line, "unknown value data (expected \"text\", dword:, hex:, hex(type): or -)");
}

constexpr std::u16string_view kNul(u"\0", 1);

// A key path as Windows takes it: names between backslashes (one trailing
// backslash allowed), none empty or too long, not too many levels.
void CheckKeyPath(std::u16string_view path, int line) {
  if (path.find(kNul) != std::u16string_view::npos) Fail(line, "a key name must not hold a NUL character");
  if (!path.empty() && path.back() == u'\\') path.remove_suffix(1);
  size_t depth = 0;
  while (!path.empty()) {
    const size_t slash = path.find(u'\\');
    const size_t length = std::min(slash, path.size());
    if (length == 0) Fail(line, "a key name must not be empty");
    if (length > kMaxKeyNameLength)
      Fail(line, "a key name is longer than " + std::to_string(kMaxKeyNameLength) + " characters");
    if (++depth > kMaxKeyDepth)
      Fail(line, "the key is more than " + std::to_string(kMaxKeyDepth) + " levels deep");
    path.remove_prefix(slash == std::u16string_view::npos ? path.size() : slash + 1);
  }
}

void CheckValueName(std::u16string_view name, int line) {
  if (name.find(kNul) != std::u16string_view::npos) Fail(line, "a value name must not hold a NUL character");
  if (name.size() > kMaxValueNameLength)
    Fail(line, "a value name is longer than " + std::to_string(kMaxValueNameLength) + " characters");
}

}  // namespace

KeyName SplitKeyName(std::u16string_view text) {
  const size_t slash = text.find(u'\\');
  const std::u16string_view root = text.substr(0, slash);
  for (const RootName& entry : kRoots) {
    if (!SameAscii(root, entry.full) && !SameAscii(root, entry.brief)) continue;
    KeyName name{reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(entry.id)), {}};
    if (slash != std::u16string_view::npos) name.path = text.substr(slash + 1);
    return name;
  }
  throw Error("unknown root key \"" + Narrow(root) + "\"");
}

std::u16string DecodeFile(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
      text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                      static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
    return text;
  }
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return compat::win32::Utf8ToUtf16(bytes.substr(3));
  return compat::win32::AnsiToUtf16(bytes);
}

Document Parse(std::u16string_view text) {
  const std::vector<Line> lines = LogicalLines(text);
  auto line = std::find_if(lines.begin(), lines.end(), [](const Line& l) { return !l.text.empty(); });
  Document document{Format::kRegedit4, {}};
  if (line != lines.end() && line->text == kVersion5Header) document.format = Format::kVersion5;
  else if (line == lines.end() || line->text != kRegedit4Header)
    Fail(line == lines.end() ? 1 : line->number,
         "not a registry file: it must begin with REGEDIT4 or Windows Registry Editor Version 5.00");

  // The key that value lines go to; none before the first key and after a deletion.
  bool inSection = false;
  HKEY sectionRoot = nullptr;
  std::u16string sectionPath;
  for (++line; line != lines.end(); ++line) {
    const std::u16string_view content = line->text;
    if (content.empty() || content[0] == u';') continue;
    Change change{Change::Kind::kCreateKey, nullptr, {}, {}, REG_NONE, {}, line->number};

    if (content[0] == u'[') {
      const size_t close = content.rfind(u']');
      if (close == std::u16string_view::npos || !Trim(content.substr(close + 1)).empty())
        Fail(line->number, "a key line must end with ]");
      std::u16string_view name = content.substr(1, close - 1);
      if (!name.empty() && name[0] == u'-') {
        change.kind = Change::Kind::kDeleteKey;
        name.remove_prefix(1);
      }
      KeyName key;
      try {
        key = SplitKeyName(name);
      } catch (const Error& error) {
        Fail(line->number, error.what());
      }
      if (change.kind == Change::Kind::kDeleteKey && key.path.empty())
        Fail(line->number, "a root key cannot be deleted");
      CheckKeyPath(key.path, line->number);
      change.root = sectionRoot = key.root;
      change.path = sectionPath = key.path;
      inSection = change.kind == Change::Kind::kCreateKey;
      document.changes.push_back(std::move(change));
      continue;
    }

    size_t pos = 1;
    if (content[0] == u'"') {
      pos = 0;
      change.name = ReadQuoted(content, &pos, line->number);
      CheckValueName(change.name, line->number);
    } else if (content[0] != u'@') {
      Fail(line->number, "expected a key in brackets, a value name in quotation marks, or @");
    }
    const std::u16string_view rest = Trim(content.substr(pos));
    if (rest.empty() || rest[0] != u'=') Fail(line->number, "expected = after the value name");
    if (!inSection) Fail(line->number, "a value must follow the key it belongs to");
    change.kind = Change::Kind::kSetValue;
    change.root = sectionRoot;
    change.path = sectionPath;
    ParseData(Trim(rest.substr(1)), document.format, line->number, &change);
    document.changes.push_back(std::move(change));
  }
  return document;
}

namespace {

using compat::win32::ScopedKey;

std::u16string FullName(HKEY root, std::u16string_view path) {
  for (const RootName& entry : kRoots) {
    if (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(entry.id)) != root) continue;
    std::u16string name(entry.full);
    if (!path.empty()) name.append(u"\\").append(path);
    return name;
  }
  return std::u16string(path);
}

// ---------------------------------------------------------------------------
// Writing

struct NamedValue {
  std::u16string name;
  DWORD type;
  std::vector<BYTE> data;
};

std::vector<std::u16string> SubKeyNames(HKEY key, std::u16string_view keyName) {
  std::vector<std::u16string> names;
  std::u16string buffer(256, u'\0');
  for (DWORD index = 0;;) {
    DWORD size = static_cast<DWORD>(buffer.size());
    const LONG status = RegEnumKeyExW(key, index, buffer.data(), &size, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return names;
    if (status == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS) FailRegistry("cannot list the subkeys of", keyName, status);
    names.emplace_back(buffer.data(), size);
    ++index;
  }
}

std::vector<NamedValue> Values(HKEY key, std::u16string_view keyName) {
  std::vector<NamedValue> values;
  std::u16string name(256, u'\0');
  std::vector<BYTE> data(1024);
  for (DWORD index = 0;;) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = REG_NONE;
    const LONG status =
        RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) return values;
    if (status == ERROR_MORE_DATA) {
      // Either the name or the data did not fit; the data size is the one needed.
      name.resize(name.size() * 2);
      data.resize(std::max<size_t>(data.size(), dataSize));
      continue;
    }
    if (status != ERROR_SUCCESS) FailRegistry("cannot list the values of", keyName, status);
    values.push_back({std::u16string(name.data(), nameSize), type,
                      std::vector<BYTE>(data.begin(), data.begin() + dataSize)});
    ++index;
  }
}

std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"\"";
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') quoted += u'\\';
    quoted += c;
  }
  return quoted + u'"';
}

bool HoldsLineBreak(std::u16string_view text) {
  return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// A subkey name that a key line can hold and that opens the subkey itself:
// an empty name would open the key again, a backslash another key.
bool IsWritableKeyName(std::u16string_view name) {
  return !name.empty() && name.find_first_of(u"\\\r\n") == std::u16string_view::npos;
}

class Writer {
 public:
  Writer(Format format, std::vector<Loss>* losses) : format_(format), losses_(losses) {
    Line(format == Format::kRegedit4 ? kRegedit4Header : kVersion5Header);
  }

  // A section: a blank line, then the key in brackets, "-" before it for a deletion.
  void Key(std::u16string_view name, bool deleted) {
    key_ = name;
    Line(u"");
    if (!FitsFormat(name)) Lose(Loss::Kind::kInexactKey, u"");
    Line((deleted ? u"[-" : u"[") + key_ + u"]");
  }

  void Value(const NamedValue& value) {
    if (HoldsLineBreak(value.name)) return Lose(Loss::Kind::kOmittedValue, value.name);
    if (!FitsFormat(value.name)) Lose(Loss::Kind::kInexactValue, value.name);
    const std::u16string head = (value.name.empty() ? u"@" : Quoted(value.name)) + u"=";
    if (value.type == REG_SZ && IsPlainString(value.data)) {
      const std::u16string text = Utf16Text(value.data);
      Line(head + Quoted(std::u16string_view(text).substr(0, text.size() - 1)));
    } else if (value.type == REG_DWORD && value.data.size() == 4) {
      static constexpr char16_t kHex[] = u"0123456789abcdef";
      std::u16string digits(8, u'0');
      const DWORD number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                           static_cast<DWORD>(value.data[3]) << 24;
      for (int i = 0; i < 8; ++i) digits[7 - i] = kHex[(number >> (4 * i)) & 0xF];
      Line(head + u"dword:" + digits);
    } else if (value.type == REG_BINARY) {
      Hex(head + u"hex:", value.data);
    } else if (format_ == Format::kRegedit4 && IsTextType(value.type)) {
      // REGEDIT4 holds text as ANSI bytes; an odd last byte has no place there.
      const std::u16string text = Utf16Text(value.data);
      if (value.data.size() % 2 != 0 || !FitsAnsi(text)) Lose(Loss::Kind::kInexactValue, value.name);
      const std::string ansi = compat::win32::Utf16ToAnsi(text);
      Hex(head + TypeTag(value.type), std::vector<BYTE>(ansi.begin(), ansi.end()));
    } else {
      Hex(head + TypeTag(value.type), value.data);
    }
  }

  void DeletedValue(std::u16string_view name) {
    if (HoldsLineBreak(name)) return Lose(Loss::Kind::kOmittedValue, name);
    if (!FitsFormat(name)) Lose(Loss::Kind::kInexactValue, name);
    Line((name.empty() ? u"@" : Quoted(name)) + u"=-");
  }

  // A subkey of `key` left out with its subtree.
  void OmittedKey(std::u16string_view key, std::u16string_view name) {
    if (losses_ != nullptr)
      losses_->push_back({Loss::Kind::kOmittedKey, std::u16string(key), std::u16string(name)});
  }

  // The file ends with a blank line after its last section.
  std::string Bytes() {
    Line(u"");
    if (format_ == Format::kRegedit4) return compat::win32::Utf16ToAnsi(text_);
    const std::vector<BYTE> bytes = Utf16Bytes(text_);
    return std::string("\xFF\xFE") + std::string(bytes.begin(), bytes.end());
  }

 private:
  void Line(std::u16string_view text) { text_.append(text).append(u"\r\n"); }

  void Lose(Loss::Kind kind, std::u16string_view name) {
    if (losses_ != nullptr) losses_->push_back({kind, key_, std::u16string(name)});
  }

  static std::u16string TypeTag(DWORD type) {
    std::u16string digits;
    do {
      digits.insert(digits.begin(), u"0123456789abcdef"[type & 0xF]);
      type >>= 4;
    } while (type != 0);
    return u"hex(" + digits + u"):";
  }

  // Text the format holds exactly: REGEDIT4 only what the ANSI code page has.
  bool FitsFormat(std::u16string_view text) const {
    return format_ == Format::kVersion5 || FitsAnsi(text);
  }

  // A string that reads back the same from "...": one terminator at the end,
  // no other zero, no line break, and nothing the format cannot hold.
  bool IsPlainString(const std::vector<BYTE>& data) const {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    const std::u16string text = Utf16Text(data);
    const std::u16string_view body = std::u16string_view(text).substr(0, text.size() - 1);
    return text.back() == 0 && body.find(kNul) == std::u16string_view::npos && !HoldsLineBreak(body) &&
           FitsFormat(body);
  }

  // Bytes as two hexadecimal digits each. A line holds as many as fit in 78
  // columns with their commas; the backslash that continues it is column 79.
  void Hex(std::u16string line, const std::vector<BYTE>& data) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
      if (line.size() + 3 > 78) {
        Line(line + u"\\");
        line = u"  ";
      }
      line += kHex[data[i] >> 4];
      line += kHex[data[i] & 0xF];
      if (i + 1 < data.size()) line += u',';
    }
    Line(line);
  }

  Format format_;
  std::vector<Loss>* losses_;
  std::u16string key_;  // the current section's full name
  std::u16string text_;
};

// One key of the walk: its handle and the subkeys still to visit.
struct Level {
  ScopedKey key;
  std::vector<std::u16string> subKeys;
  size_t next = 0;
  size_t nameLength = 0;  // of the key's full name
};

}  // namespace

void Apply(const Document& document) {
  // One transaction per hive for the whole file: a failure part-way (which
  // throws) leaves the registry as it was, and a long file commits each hive
  // once, not at every value.
  compat::win32::RegistryWriteBatch batch;
  ScopedKey current;
  for (const Change& change : document.changes) {
    const std::u16string name = FullName(change.root, change.path);
    LONG status = ERROR_SUCCESS;
    switch (change.kind) {
      case Change::Kind::kCreateKey:
        status = RegCreateKeyExW(change.root, change.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, nullptr, current.Receive(), nullptr);
        if (status != ERROR_SUCCESS) FailRegistry(change.line, "cannot create", name, status);
        break;
      case Change::Kind::kDeleteKey:
        current.Reset();
        status = RegDeleteTreeW(change.root, change.path.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
          FailRegistry(change.line, "cannot delete", name, status);
        break;
      case Change::Kind::kSetValue:
        status = RegSetValueExW(current.Get(), change.name.c_str(), 0, change.type, change.data.data(),
                                static_cast<DWORD>(change.data.size()));
        if (status != ERROR_SUCCESS) FailRegistry(change.line, "cannot set a value of", name, status);
        break;
      case Change::Kind::kDeleteValue:
        status = RegDeleteValueW(current.Get(), change.name.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
          FailRegistry(change.line, "cannot delete a value of", name, status);
        break;
    }
  }
  if (const LONG status = batch.Commit(); status != ERROR_SUCCESS)
    throw Error("cannot keep the changes: " + SystemMessage(status));
}

std::string Write(const Document& document, std::vector<Loss>* losses) {
  Writer out(document.format, losses);
  for (const Change& change : document.changes) {
    switch (change.kind) {
      case Change::Kind::kCreateKey:
      case Change::Kind::kDeleteKey:
        out.Key(FullName(change.root, change.path), change.kind == Change::Kind::kDeleteKey);
        break;
      case Change::Kind::kSetValue:
        out.Value({change.name, change.type, change.data});
        break;
      case Change::Kind::kDeleteValue:
        out.DeletedValue(change.name);
        break;
    }
  }
  return out.Bytes();
}

std::string Export(std::u16string_view keyName, Format format, std::vector<Loss>* losses) {
  const KeyName key = SplitKeyName(keyName);
  std::u16string name = FullName(key.root, key.path);
  Writer out(format, losses);
  // Depth first, values before subkeys, with a stack of open keys instead of
  // recursion: a hive may hold keys deeper than any call stack.
  std::vector<std::unique_ptr<Level>> levels;
  auto visit = [&](HKEY parent, const std::u16string& subKey) {
    auto level = std::make_unique<Level>();
    const LONG status = RegOpenKeyExW(parent, subKey.c_str(), 0, KEY_READ, level->key.Receive());
    if (levels.empty() && status == ERROR_FILE_NOT_FOUND) throw Error("no such key: " + Narrow(name));
    if (status != ERROR_SUCCESS) FailRegistry("cannot open", name, status);
    out.Key(name, false);
    for (const NamedValue& value : Values(level->key.Get(), name)) out.Value(value);
    level->subKeys = SubKeyNames(level->key.Get(), name);
    level->nameLength = name.size();
    levels.push_back(std::move(level));
  };
  visit(key.root, key.path);
  while (!levels.empty()) {
    Level& top = *levels.back();
    name.resize(top.nameLength);
    if (top.next == top.subKeys.size()) {
      levels.pop_back();
      continue;
    }
    const std::u16string& subKey = top.subKeys[top.next++];
    if (!IsWritableKeyName(subKey)) {
      out.OmittedKey(name, subKey);
      continue;
    }
    name.append(u"\\").append(subKey);
    visit(top.key.Get(), subKey);
  }
  return out.Bytes();
}

}  // namespace regfile
