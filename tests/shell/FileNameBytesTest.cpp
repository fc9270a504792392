// The real program, with no locale, handed a list file whose name is not
// UTF-8: the name reaches the file it names, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/IsolatedTest.h"
#include "tests/support/Json.h"
#include "tests/support/TestSupport.h"

namespace {

class FileNameBytesTest : public testing_support::IsolatedTest {};

TEST_F(FileNameBytesTest, ListFileNamedInLatinOneIsReadWithNoLocale) {
  const testing_support::TempFolder& folder = this->folder();
  const std::string photos = folder / "photos";
  std::filesystem::create_directory(photos);
  const std::string list = folder / "liste caf\xE9.txt";
  std::u16string text = u"Z:" + std::u16string(photos.begin(), photos.end()) + u"\r\n";
  std::replace(text.begin(), text.end(), u'/', u'\\');
  testing_support::WriteFile(list, testing_support::Utf16Bytes(text, false, true));

  testing_support::ProgramRun run;
  run.program = testing_support::BuildBin() + "/orbweave";
  run.args = {"-datacd", list};
  run.env["ORBCORE_DUMP"] = folder / "dump.json";
  run.env["ORBCORE_SCRIPT"] = "build,idle,result:success";
  run.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY", "LC_ALL", "LC_CTYPE", "LANG", "LANGUAGE"};
  const testing_support::ProcessResult result = testing_support::Run(run);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const Json dump = Json::ParseFile(folder / "dump.json");
  const Json& input = dump["record"]["60"];
  ASSERT_EQ(input["8"].Number(), 1);
  EXPECT_TRUE(input["12"][0]["4"].String().ends_with("\\photos\\*.*")) << input["12"][0]["4"].String();
  // The program removes the list it was given once read: the very file.
  EXPECT_FALSE(testing_support::FileExists(list));
}

}  // namespace
