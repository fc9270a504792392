// The data-store tool: listing, extracting with names that would leave the
// folder refused, verifying a whole and a damaged store.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <wx/zipstrm.h>

#include "compat/win32/Path.h"
#include "settings/lapp/CryptedFileStream.h"
#include "tests/support/IsolatedTest.h"
#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

class DataStoreToolTest : public testing_support::IsolatedTest {
 protected:
  void SetUp() override {
    SetEnv("TMPDIR", folder().path());
    lapp::CCryptedOutputFileStream file(store_);
    wxZipOutputStream zip(file, -1, wxConvUTF8);
    zip.PutNextEntry("@@portable@@_description.xml");
    zip.Write("<appmanager version=\"1\"/>", 25);
    zip.PutNextEntry("home/ann/notes.txt");
    zip.Write("notes", 5);
    zip.PutNextEntry("../escape.txt");
    zip.Write("out", 3);
    zip.Close();
  }

  testing_support::ProcessResult Tool(std::vector<std::string> args) {
    testing_support::ProgramRun run;
    run.program = testing_support::BuildBin() + "/datastore";
    run.args = std::move(args);
    return testing_support::Run(run);
  }

  const std::string store_ = folder() / "data.db";
};

TEST_F(DataStoreToolTest, ListsExtractsAndVerifies) {
  const testing_support::ProcessResult listed = Tool({"list", store_});
  EXPECT_EQ(listed.exitCode, 0);
  EXPECT_NE(listed.out.find("5  home/ann/notes.txt"), std::string::npos) << listed.out;

  const std::string out = folder() / "out/inner";
  const testing_support::ProcessResult extracted = Tool({"extract", store_, out});
  EXPECT_EQ(extracted.exitCode, 1);  // one name refused
  EXPECT_NE(extracted.err.find("refused: ../escape.txt"), std::string::npos) << extracted.err;
  std::ifstream notes(out + "/home/ann/notes.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(notes), {}), "notes");
  EXPECT_FALSE(fs::exists(folder() / "out/escape.txt"));

  EXPECT_EQ(Tool({"verify", store_}).out, "ok\n");
  // A flipped bit in the notes' compressed data fails its checksum; the
  // data follows the name and the extra field of the entry's local header.
  std::string bytes;
  {
    std::ifstream in(store_, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  std::string plain = bytes;
  lapp::CryptTransform(reinterpret_cast<unsigned char*>(plain.data()), static_cast<std::ptrdiff_t>(plain.size()), 0);
  const std::size_t name = plain.find("home/ann/notes.txt");
  ASSERT_NE(name, std::string::npos);
  const std::size_t extra = static_cast<unsigned char>(plain[name - 2]) | static_cast<unsigned char>(plain[name - 1]) << 8;
  const std::size_t at = name + 18 + extra;
  bytes[at] = static_cast<char>(bytes[at] ^ 0x01);
  std::ofstream(store_, std::ios::binary) << bytes;
  EXPECT_EQ(Tool({"verify", store_}).exitCode, 1);
  EXPECT_EQ(Tool({"list", (folder() / "missing.db")}).exitCode, 1);
}

}  // namespace
