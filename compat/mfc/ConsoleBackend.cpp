// The console backend.
#include "compat/mfc/ConsoleBackend.h"

#include <langinfo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "compat/mfc/MessageStyle.h"
#include "compat/mfc/WinApp.h"
#include "compat/win32/StringConv.h"

namespace compat::mfc {
namespace {

std::u16string_view KindLabel(MessageKind kind) {
  switch (kind) {
    case MessageKind::kError:
      return u"error: ";
    case MessageKind::kQuestion:
      return u"question: ";
    case MessageKind::kWarning:
      return u"warning: ";
    case MessageKind::kInformation:
      return u"information: ";
    case MessageKind::kPlain:
      break;
  }
  return u"";
}

// The bytes of a message for the terminal: the locale's own code page when
// it names one, else UTF-8. A locale that names none (C, POSIX), or one this
// machine has not installed, leaves the process in plain C, whose ASCII
// could show few of the texts; terminals and logs read UTF-8 then.
std::string TerminalBytes(std::u16string_view text) {
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) return compat::win32::Utf16ToUtf8(text);
  return compat::win32::Utf16ToAnsi(text);
}

}  // namespace

std::u16string ProgramName() {
  const CWinApp* app = AfxGetApp();
  if (app != nullptr && app->m_pszExeName != nullptr && *app->m_pszExeName != 0) {
    return app->m_pszExeName;
  }
  return compat::win32::AnsiToUtf16(program_invocation_short_name);
}

int ConsoleBackend::MessageBox(LPCWSTR text, LPCWSTR /*caption*/, UINT type) {
  std::u16string block = ProgramName() + u": ";
  block += KindLabel(KindOf(type));
  // Line breaks of any convention start an indented line; trailing ones
  // (texts from FormatMessageW end in "\r\n") leave no empty lines behind.
  std::u16string_view rest = text != nullptr ? std::u16string_view(text) : std::u16string_view();
  while (!rest.empty() && (rest.back() == u'\n' || rest.back() == u'\r')) rest.remove_suffix(1);
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == u'\r' || rest[i] == u'\n') {
      if (rest[i] == u'\r' && i + 1 < rest.size() && rest[i + 1] == u'\n') ++i;
      block += u"\n  ";
    } else {
      block += rest[i];
    }
  }
  block += u'\n';
  const std::string bytes = TerminalBytes(block);
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
  return DefaultAnswer(type);
}

}  // namespace compat::mfc
