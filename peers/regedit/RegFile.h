// Registry files (.reg): reading one into the list of changes it asks for,
// applying those changes, and writing a key with its subtree as a file.
//
//   regfile::Document doc = regfile::Parse(regfile::DecodeFile(bytes));
//   regfile::Apply(doc);
//   std::string out = regfile::Export(u"HKEY_CURRENT_USER\\Software\\x", regfile::Format::kRegedit4);
//
// Failures throw regfile::Error with a message for the user (with the line
// number for a bad file).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "compat/win32/Registry.h"

namespace regfile {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// REGEDIT4 is text in the ANSI code page; version 5.00 is UTF-16LE with a
// byte order mark. They differ in how text values given as hex bytes
// (hex(1), hex(2), hex(7)) are encoded: ANSI bytes versus UTF-16LE units.
enum class Format { kRegedit4, kVersion5 };

// One change that a file asks for, in file order.
struct Change {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind;
  HKEY root;
  std::u16string path;  // below the root; the key the values of the section go to
  std::u16string name;  // value name, empty for the default value
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  int line = 0;
};

struct Document {
  Format format;
  std::vector<Change> changes;
};

// A key name with its root: "HKEY_LOCAL_MACHINE\Software\x" or "HKLM\Software\x".
struct KeyName {
  HKEY root = nullptr;
  std::u16string path;
};
// Throws for an unknown root.
KeyName SplitKeyName(std::u16string_view text);

// A file's bytes as text: UTF-16LE after its byte order mark, otherwise the
// ANSI code page (a UTF-8 byte order mark is skipped).
std::u16string DecodeFile(std::string_view bytes);

// Reads the whole file before anything changes, so a bad file changes nothing.
Document Parse(std::u16string_view text);

// Applies the changes in order. Deleting what is not there is no failure.
void Apply(const Document& document);

// The key with its values and subkeys, all levels, as the bytes of a file.
// `lossy` (optional) receives the names of values the format cannot hold
// exactly (REGEDIT4 text without a character of the ANSI code page).
std::string Export(std::u16string_view keyName, Format format,
                   std::vector<std::u16string>* lossy = nullptr);

}  // namespace regfile
