// Packs as written on disk, and the compiler's care with the files it is pointed at.
#include "tools/langpack/PackFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using langpack::Catalog;
using testing_support::ReadFile;
using testing_support::TempFolder;

Catalog Tiny() { return {"de", "D", "P", "", "", {{"k", "v"}}}; }

// The two formats of one tiny pack, byte for byte.
TEST(PackFileTest, TinyPackBytesInBothFormats) {
  const std::string format1 =
      "LANGPU16" + std::string{1, 0, 0, 0, 1, 0, 0, 0, 24, 0, 0, 0,    // version, table layout, header size
                               4, 0, 0, 0, 'P', 0, 0, 0, 0, 0, 0, 0,   // the project; no revision date
                               4, 0, 0, 0, 'D', 0, 0, 0, 0, 0, 0, 0,   // the language name; no comment
                               1, 0, 0, 0, 28, 0, 0, 0,                // entry count, entry size
                               4, 0, 0, 0, 'k', 0, 0, 0,               // key
                               4, 0, 0, 0, 'v', 0, 0, 0,               // text
                               0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};    // two absent strings; flags: stored
  const std::string format2 =
      "URESFILE" + std::string{'\x82', 0, 0, 0, 0, 0, 0, 0} +
      "lang" + std::string{22, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'd', 0, 'e', 0, 0, 0,  // tag
                           2, 0, 0, 0, 'D', 0, 0, 0, 0, 0, 0, 0} +  // language name; a further string, absent
      "apid" + std::string{12, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 'P', 0, 0, 0, 0, 0, 0, 0} +
      "cmnt" + std::string{4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0} +
      "STMP" + std::string{44, 0, 0, 0, 0, 0, 0, 0} +
      "data" + std::string{32, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,  // entry count, an unused value
                           2, 0, 0, 0, 'k', 0, 0, 0, 2, 0, 0, 0, 'v', 0, 0, 0,  // key, text
                           0, 0, 0, 0, 0, 0, 0, 0};  // two absent strings
  TempFolder folder;
  for (const auto& [format, expected] : {std::pair{1, format1}, std::pair{2, format2}}) {
    const std::string path = folder / ("tiny" + std::to_string(format));
    langpack::WritePack(Tiny(), format, path);
    EXPECT_EQ(ReadFile(path), expected) << "format " << format;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 2);
}

// A target that is no regular file is never written through; a refused write leaves no file behind.
TEST(PackFileTest, TargetsThatAreNoRegularFileAreRefused) {
  TempFolder folder;
  const std::string kept = folder / "kept";
  testing_support::WriteFile(kept, "old");
  fs::create_directory(folder / "dir");
  fs::create_symlink(kept, folder / "link");
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
  for (const char* name : {"dir", "link", "fifo"})
    EXPECT_THROW(langpack::WritePack(Tiny(), 2, folder / name), langpack::Error) << name;
  EXPECT_TRUE(fs::is_directory(folder / "dir"));
  EXPECT_TRUE(fs::is_symlink(folder / "link"));
  // A write cut short (here at the file size limit) is refused: the old file stays, no temporary is left.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_IGN);
  const rlimit small{8, old.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  for (const int format : {1, 2}) EXPECT_THROW(langpack::WritePack(Tiny(), format, kept), langpack::Error) << format;
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(ReadFile(kept), "old");
  EXPECT_THROW(langpack::WritePack(Tiny(), 3, kept), langpack::Error);
  EXPECT_THROW(langpack::WritePack({"", "D", "P", "", "", {{"k", "v"}}}, 2, kept), langpack::Error);
  EXPECT_THROW(langpack::WritePack(Tiny(), 2, folder / "no/such/folder/x"), langpack::Error);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 4);
  // A regular file is replaced as a whole.
  langpack::WritePack(Tiny(), 1, kept);
  EXPECT_EQ(ReadFile(kept), langpack::Format1Bytes(Tiny()));
}

// The command line: usage, exit status 1 and nothing written for bad input, and a round trip.
TEST(PackFileTest, CommandLine) {
  TempFolder folder;
  const std::string header = "# Translator\n#\nmsgid \"\"\nmsgstr \"Language: de\\nContent-Type: text/plain\\n\"\n\n";
  testing_support::WriteFile(folder / "en.po", header + "msgid \"k\"\nmsgstr \"Copy %DISC%\"\n");
  testing_support::WriteFile(folder / "de.po", header + "msgid \"k\"\nmsgstr \"%DISK% kopieren\"\n");
  const std::string out = folder / "out";
  const auto langpack = [](std::vector<std::string> args) {
    return testing_support::Run({testing_support::BuildBin() + "/langpack", std::move(args), {}, {}});
  };
  const std::tuple<std::vector<std::string>, int, const char*> cases[] = {
      {{}, 2, "usage: langpack compile"},
      {{"compile", "--format", "3", folder / "de.po", out}, 2, "usage:"},
      {{"decompile", out}, 2, "usage:"},
      {{"compile", "--defaults", folder / "en.po", folder / "de.po", out}, 1,
       "k: the translation has %DISK%, the default %DISC%"},
      {{"compile", folder / "missing.po", out}, 1, "missing.po is not a readable file"},
      {{"decompile", folder / "en.po", out}, 1, "en.po is not a language pack"},
      {{"decompile", folder / "missing", out}, 1, "missing is not a file"},
      {{"compile", folder / "de.po", folder / "de.po"}, 1, "de.po is the same file as the input"},
      {{"compile", "--defaults", folder / "en.po", folder / "de.po", folder / "en.po"}, 1, "same file"},
      {{"compile", folder / "de.po", folder / "hardlink.po"}, 1, "same file"},
      {{"decompile", folder / "de.po", folder / "hardlink.po"}, 1, "same file"},
  };
  fs::create_hard_link(folder / "de.po", folder / "hardlink.po");
  const std::string catalog = ReadFile(folder / "de.po");
  for (const auto& [args, exitCode, told] : cases) {
    const auto result = langpack(args);
    EXPECT_EQ(result.exitCode, exitCode) << result.err;
    EXPECT_NE(result.err.find(told), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists(out));
  }
  EXPECT_EQ(ReadFile(folder / "de.po"), catalog);
  std::vector<std::string> packs;
  for (const std::string format : {"1", "2", ""}) {
    std::vector<std::string> args = {"compile", folder / "de.po", out};
    if (!format.empty()) args.insert(args.end(), {"--format", format});
    ASSERT_EQ(langpack(args).exitCode, 0);
    packs.push_back(ReadFile(out));
    ASSERT_EQ(langpack({"decompile", out, folder / "back.po"}).exitCode, 0);
    args[1] = folder / "back.po";
    args[2] = folder / "again";
    ASSERT_EQ(langpack(args).exitCode, 0);
    EXPECT_EQ(ReadFile(folder / "again"), packs.back()) << "format " << format;
  }
  EXPECT_EQ(packs[2], packs[1]);  // the second format unless another is asked for

  // Past the file size limit of its process the compiler fails: the old pack
  // stays and no temporary is left.
  std::string many = header;
  for (int i = 0; i < 400; ++i) many += "msgid \"k" + std::to_string(i) + "\"\nmsgstr \"text\"\n\n";
  testing_support::WriteFile(folder / "many.po", many);
  const std::string program = testing_support::BuildBin() + "/langpack";
  for (const std::string format : {"1", "2"}) {
    const std::vector<std::string> args = {"-c", "ulimit -f 4 && exec \"$0\" \"$@\"", program, "compile",
                                           "--format", format, folder / "many.po", out};
    const auto result = testing_support::Run({"/bin/sh", args, {}, {}});
    EXPECT_EQ(result.exitCode, 1) << "format " << format << ": " << result.err;
    EXPECT_EQ(ReadFile(out), packs[2]);
    for (const auto& entry : fs::directory_iterator(folder.path()))
      EXPECT_FALSE(entry.path().string().ends_with(".tmp")) << entry.path();
  }
}

}  // namespace
