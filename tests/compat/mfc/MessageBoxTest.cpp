#include "compat/mfc/MessageBox.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <tuple>

#include "compat/mfc/Backend.h"
#include "compat/mfc/WinApp.h"
#include "tests/support/IsolatedTest.h"

namespace {

using compat::mfc::RecordedMessages;

class MessageBoxTest : public testing_support::IsolatedTest {};

TEST_F(MessageBoxTest, WithoutDisplayTheConsoleWritesOneBlockPerMessageAndAnswersTheDefaultButton) {
  UnsetEnv("DISPLAY");
  UnsetEnv("WAYLAND_DISPLAY");
  EXPECT_STREQ(compat::mfc::ChooseBackend(), "console");
  SetEnv("WAYLAND_DISPLAY", "");  // set but empty names no display either
  EXPECT_STREQ(compat::mfc::ChooseBackend(), "console");
  CWinApp app(u"Korvane Orbweave 9");
  app.m_pszExeName = u"orbweave";
  compat::mfc::UseConsoleBackend();
  const std::tuple<const char16_t*, UINT, std::string, int> rows[] = {
      {u"Could not load orbcore.dll", MB_ICONERROR, "orbweave: error: Could not load orbcore.dll\n", IDOK},
      {u"Done.", MB_OK | MB_ICONINFORMATION, "orbweave: information: Done.\n", IDOK},
      {u"Careful", MB_OKCANCEL | MB_ICONWARNING, "orbweave: warning: Careful\n", IDOK},
      {u"Sure?", MB_YESNO | MB_ICONQUESTION, "orbweave: question: Sure?\n", IDYES},
      {u"Sure?", MB_YESNO | MB_DEFBUTTON2, "orbweave: Sure?\n", IDNO},
      {u"Save?", MB_YESNOCANCEL | MB_DEFBUTTON3, "orbweave: Save?\n", IDCANCEL},
      {u"Odd", MB_OK | MB_DEFBUTTON3, "orbweave: Odd\n", IDOK},  // no third button: the first answers
      {u"first\r\nsecond\nthird\r\n", MB_ICONERROR, "orbweave: error: first\n  second\n  third\n", IDOK},
      {u"\u00E9t\u00E9 \u65E5\u672C", MB_OK, "orbweave: \xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\n", IDOK},
      {nullptr, MB_ICONERROR, "orbweave: error: \n", IDOK},
  };
  SetEnv("LC_ALL", "C.UTF-8");
  std::setlocale(LC_ALL, "");
  for (const auto& [text, type, written, answer] : rows) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(AfxMessageBox(text, type), answer) << written;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), written);
  }
  std::setlocale(LC_ALL, "C");
}

// Plain C, whether the locale names no code page or names one this machine
// lacks (de_DE.UTF-8 here), still writes UTF-8 rather than Latin-1 with "?"
// for the quotes; a UTF-8 locale writes UTF-8 anyway.
TEST_F(MessageBoxTest, TheConsoleWritesUtf8WhenTheLocaleGivesNoCodePage) {
  CWinApp app(u"Korvane Orbweave 9");
  app.m_pszExeName = u"orbweave";
  compat::mfc::UseConsoleBackend();
  for (const char* locale : {"C", "POSIX", "de_DE.UTF-8", "xx_XX.ISO-8859-1", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    SetEnv("LC_ALL", locale);
    std::setlocale(LC_ALL, "");
    testing::internal::CaptureStderr();
    AfxMessageBox(u"\u201EGr\u00FC\u00DFe\u201C", MB_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "orbweave: \xE2\x80\x9EGr\xC3\xBC\xC3\x9F" "e\xE2\x80\x9C\n");
  }
  std::setlocale(LC_ALL, "C");
}

TEST_F(MessageBoxTest, RecordingKeepsTextAndFlags) {
  compat::mfc::UseRecordingBackend();
  EXPECT_EQ(AfxMessageBox(u"Administrative rights needed.", MB_ICONERROR), IDOK);
  EXPECT_EQ(AfxMessageBox(u"Sure?", MB_YESNO | MB_DEFBUTTON2), IDNO);
  ASSERT_EQ(RecordedMessages().size(), 2u);
  EXPECT_EQ(RecordedMessages()[0].text, u"Administrative rights needed.");
  EXPECT_EQ(RecordedMessages()[1].type, static_cast<UINT>(MB_YESNO | MB_DEFBUTTON2));
  compat::mfc::ClearRecordedMessages();
  EXPECT_TRUE(RecordedMessages().empty());
  AfxMessageBox(u"again");
  compat::mfc::UseRecordingBackend();  // starting again starts empty
  EXPECT_TRUE(RecordedMessages().empty());
  compat::mfc::UseConsoleBackend();
}

}  // namespace
