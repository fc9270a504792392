// Language pack files written from a catalog, in either of the two formats
// the program reads, and read back into a catalog.
//
//   langpack::WritePack(langpack::ReadPo(text, "de.po"), 2, "lang/Orbweave_de.kvnLang");
//   langpack::Catalog back = langpack::ReadPack("lang/Orbweave_de.kvnLang");
//
// Format 1 is written as a "LANGPU16" file, version 1, table layout 1: UTF-16
// texts, every entry with its size and the flags word 1. It carries no
// language tag, so the program finds it only by its language name. Format 2
// is the "URESFILE" chunk file, which carries the tag.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "tools/langpack/PoFile.h"

namespace langpack {

// The bytes of a format 1 pack.
std::string Format1Bytes(const Catalog& catalog);

// Writes `catalog` as a pack of `format` (1 or 2) at `target`; format 2
// needs the catalog's language tag.
void WritePack(const Catalog& catalog, int format, const std::filesystem::path& target);

// Reads a pack of either format, with its whole string table in file order.
Catalog ReadPack(const std::filesystem::path& path);

// Replaces `target` with what `write` puts into a new file beside it: the
// target changes only when that file is complete, and a target that is not a
// regular file (a folder, a device, a link) is refused before anything is
// written. `write` creates the file it is given exclusively and sets
// `created` as soon as it has, so a failure removes only what it made.
void ReplaceFile(const std::filesystem::path& target,
                 const std::function<void(const std::filesystem::path& temporary, bool& created)>& write);

// Creates `path` exclusively and writes `bytes` into it.
void WriteNewFile(const std::filesystem::path& path, const std::string& bytes, bool& created);

}  // namespace langpack
