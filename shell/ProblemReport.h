// What the engine's problem report form needs from the shell: its texts, the
// report server's address and how the form is sent.
#pragma once

#include "compat/mfc/CString.h"

struct ProblemReportTexts {
  CString title;
  CString taskDescription;
  CString explanation;
};

inline constexpr const char16_t* kReportUrl =
    u"http://report.korvane.example/report/index2.py/sendreport";
inline constexpr const char16_t* kReportContentType = u"application/x-www-form-urlencoded";
inline constexpr const char16_t* kSupportEmail = u"support@korvane.example";

// The localized texts; the title keeps "%APPNAME%" for the engine to fill.
ProblemReportTexts LocalizeProblemReportTexts();
