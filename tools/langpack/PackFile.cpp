// Writing packs. Both formats store UTF-16 little-endian texts with their
// terminating zero unit; an empty text is stored as absent (count 0), which
// the readers take for an empty string.
#include "tools/langpack/PackFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <system_error>

#include "chunkfile/ChunkFile.h"
#include "chunkfile/FileStream.h"
#include "compat/win32/StringConv.h"

namespace fs = std::filesystem;

namespace langpack {

namespace {

void Put32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((value >> shift) & 0xFF);
}

// The UTF-16 units of a text and its terminator, little-endian.
std::string Utf16Bytes(const std::string& text) {
  std::string out;
  for (const char16_t unit : compat::win32::Utf8ToUtf16(text)) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  out.append(2, '\0');
  return out;
}

// Format 1 counts a string in bytes, format 2 in UTF-16 units.
enum class Count { kBytes, kUnits };

void PutString(std::string& out, const std::string& text, Count count) {
  if (text.empty()) return Put32(out, 0);
  const std::string bytes = Utf16Bytes(text);
  Put32(out, static_cast<std::uint32_t>(count == Count::kBytes ? bytes.size() : bytes.size() / 2));
  out += bytes;
}

std::string Strings(std::initializer_list<std::string> texts) {
  std::string out;
  for (const std::string& text : texts) PutString(out, text, Count::kUnits);
  return out;
}

constexpr std::uint32_t kEntryStored = 1;

// The string table of format 2: the entry count, then per entry an unused
// value (0), the key, the text and two unused strings.
std::string Format2Table(const Catalog& catalog) {
  std::string out;
  Put32(out, static_cast<std::uint32_t>(catalog.messages.size()));
  for (const Message& message : catalog.messages) {
    Put32(out, 0);
    out += Strings({message.key, message.text, "", ""});
  }
  return out;
}

void Append(chf::CChunkIterator& sequence, const char (&id)[5], const std::string& data) {
  chf::AppendChunk(sequence, chf::ChunkId(id), data.data(), static_cast<std::uint32_t>(data.size()));
}

void WriteFormat2(const Catalog& catalog, const fs::path& path, bool& created) {
  try {
    chf::CreateChunkFile(path, "URESFILE");
  } catch (const std::invalid_argument&) {
    throw Error("cannot create " + path.string());
  } catch (...) {
    // Made, but its header could not be written.
    created = true;
    throw;
  }
  created = true;
  chf::TRef<chf::CBaseStream> file;
  chf::TRef<chf::CChunkFile> root;
  chf::TRef<chf::CChunkIterator> table;
  try {
    file = chf::OpenReadWriteFileStream(path);
    root = chf::TRef<chf::CChunkFile>::adopt(chf::OpenChunkFile(file.get()));
    Append(*root, "lang", Strings({catalog.language, catalog.languageName, ""}));
    Append(*root, "apid", Strings({catalog.project, catalog.revision}));
    Append(*root, "cmnt", Strings({catalog.comment}));
    Append(*root, "STMP", "");
    root->Rewind();
    while (root->Next() && root->GetChunkId() != chf::ChunkId("STMP")) {
    }
    table = chf::TRef<chf::CChunkIterator>::adopt(root->OpenChunkIterator());
    Append(*table, "data", Format2Table(catalog));
    // Each release writes its chunk's grown size back, innermost first.
    table.reset();
    root.reset();
  } catch (...) {
    // The file is thrown away: a size that cannot be written back while the
    // references go must not end the program from a destructor.
    const auto drop = [](auto& reference) {
      try {
        reference.reset();
      } catch (...) {
      }
    };
    drop(table);
    drop(root);
    throw;
  }
}

}  // namespace

std::string Format1Bytes(const Catalog& catalog) {
  std::string header;
  for (const std::string* text : {&catalog.project, &catalog.revision, &catalog.languageName, &catalog.comment})
    PutString(header, *text, Count::kBytes);
  std::string out = "LANGPU16";
  Put32(out, 1);  // version
  Put32(out, 1);  // table layout: entries with their size and flags
  Put32(out, static_cast<std::uint32_t>(header.size()));
  out += header;
  Put32(out, static_cast<std::uint32_t>(catalog.messages.size()));
  for (const Message& message : catalog.messages) {
    std::string entry;
    PutString(entry, message.key, Count::kBytes);
    PutString(entry, message.text, Count::kBytes);
    Put32(entry, 0);  // two unused strings, absent
    Put32(entry, 0);
    Put32(entry, kEntryStored);
    Put32(out, static_cast<std::uint32_t>(entry.size()));
    out += entry;
  }
  return out;
}

void WriteNewFile(const fs::path& path, const std::string& bytes, bool& created) {
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  if (!file) throw Error("cannot create " + path.string() + ": " + std::strerror(errno));
  created = true;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (std::fclose(file) != 0 || !written) throw Error("cannot write " + path.string());
}

void WritePack(const Catalog& catalog, int format, const fs::path& target) {
  if (format != 1 && format != 2) throw Error("there are pack formats 1 and 2, not " + std::to_string(format));
  if (format == 2 && catalog.language.empty()) {
    throw Error("the catalog's header names no Language, which a format 2 pack needs");
  }
  ReplaceFile(target, [&](const fs::path& temporary, bool& created) {
    if (format == 1) return WriteNewFile(temporary, Format1Bytes(catalog), created);
    WriteFormat2(catalog, temporary, created);
  });
}

void ReplaceFile(const fs::path& target, const std::function<void(const fs::path&, bool&)>& write) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(target, error);
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    throw Error(target.string() + " is there and is not a regular file: nothing written");
  }
  const fs::path temporary = target.string() + "." + std::to_string(getpid()) + ".tmp";
  bool created = false;
  try {
    write(temporary, created);
    fs::rename(temporary, target);
  } catch (const std::exception& failure) {
    if (created) fs::remove(temporary, error);
    if (dynamic_cast<const Error*>(&failure)) throw;
    throw Error("cannot write " + target.string() + ": " + failure.what());
  }
}

}  // namespace langpack
