// langpack: compiles a translator's .po catalog into a language pack the
// program reads, and a pack back into a .po catalog.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "tools/langpack/PackFile.h"
#include "tools/langpack/PoFile.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: langpack compile [--format 1|2] [--defaults en.po] in.po out.kvnLang\n"
    "       langpack decompile in.kvnLang out.po\n"
    "\n"
    "compile    writes the translated entries of in.po as a language pack; format 2\n"
    "           (the default) carries the language tag, format 1 only the language\n"
    "           name. With --defaults, each translation must use the placeholders\n"
    "           (%NAME%) of its key's text in that English catalog.\n"
    "decompile  writes a pack of either format as a .po catalog.\n";

// The command line did not make sense: the usage text is shown.
struct Usage {};

std::string ReadText(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) throw langpack::Error(path.string() + " is not a readable file");
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw langpack::Error("cannot read " + path.string());
  return text;
}

// Refuses an output that is one of the inputs (the same device and inode,
// whatever names lead there), before anything is read or written.
void RefuseOverwritingInput(const fs::path& output, const std::vector<fs::path>& inputs) {
  for (const fs::path& input : inputs) {
    std::error_code error;
    if (fs::equivalent(input, output, error))
      throw langpack::Error(output.string() + " is the same file as the input " + input.string() + ": nothing written");
  }
}

langpack::Catalog ReadCatalog(const fs::path& path) { return langpack::ReadPo(ReadText(path), path.string()); }

void Compile(const std::vector<std::string>& args) {
  int format = 2;
  std::optional<fs::path> defaults;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const bool hasValue = i + 1 < args.size();
    if (args[i] == "--format" && hasValue && (args[i + 1] == "1" || args[i + 1] == "2")) {
      format = args[++i] == "1" ? 1 : 2;
    } else if (args[i] == "--defaults" && hasValue) {
      defaults = args[++i];
    } else if (args[i].starts_with("--")) {
      throw Usage{};
    } else {
      files.push_back(args[i]);
    }
  }
  if (files.size() != 2) throw Usage{};
  std::vector<fs::path> inputs = {files[0]};
  if (defaults) inputs.push_back(*defaults);
  RefuseOverwritingInput(files[1], inputs);
  const langpack::Catalog catalog = ReadCatalog(files[0]);
  if (defaults) langpack::CheckPlaceholders(catalog, ReadCatalog(*defaults), files[0]);
  langpack::WritePack(catalog, format, files[1]);
}

void Decompile(const std::vector<std::string>& args) {
  if (args.size() != 2 || args[0].starts_with("--") || args[1].starts_with("--")) throw Usage{};
  RefuseOverwritingInput(args[1], {args[0]});
  const std::string po = langpack::WritePo(langpack::ReadPack(args[0]));
  langpack::ReplaceFile(args[1], [&](const fs::path& temporary, bool& created) {
    langpack::WriteNewFile(temporary, po, created);
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file size limit a write fails, and the half-written file is
  // removed, instead of the signal ending the program with it left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::vector<std::string> args(argv + std::min(argc, 2), argv + argc);
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "compile") {
      Compile(args);
    } else if (command == "decompile") {
      Decompile(args);
    } else {
      throw Usage{};
    }
  } catch (const Usage&) {
    std::fputs(kUsage, stderr);
    return 2;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "langpack: %s\n", failure.what());
    return 1;
  }
  return 0;
}
