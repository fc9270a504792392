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

#include <cstddef>
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

// Windows' limits on names and depth, which import holds files to: a file
// that Windows would refuse is refused here too.
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr size_t kMaxKeyDepth = 512;  // levels below the root

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

// Applies the changes in order, all or (when one fails, which throws) none
// of them. Deleting what is not there is no failure.
void Apply(const Document& document);

// What a written file does not hold exactly. A name with a line break has no
// place in a file of lines, and neither has a subkey whose name is empty or
// holds a backslash (possible only in a damaged hive): such values and keys
// (with their subtrees) are left out. REGEDIT4 writes text the ANSI code page
// lacks, and text values of odd length, as well as it can.
struct Loss {
  enum class Kind { kInexactValue, kInexactKey, kOmittedValue, kOmittedKey };
  Kind kind;
  std::u16string key;   // the key's full name; for a value or subkey, of the key it is in
  std::u16string name;  // the value's or the subkey's name; empty for kInexactKey
  bool operator==(const Loss&) const = default;
};

// The changes as the bytes of a file in the document's format: key
// creations and deletions as sections, values and value deletions in them.
std::string Write(const Document& document, std::vector<Loss>* losses = nullptr);

// The key with its values and subkeys, all levels, as the bytes of a file.
// The tree is walked without recursion, so any depth the hive holds exports.
std::string Export(std::u16string_view keyName, Format format, std::vector<Loss>* losses = nullptr);

}  // namespace regfile
