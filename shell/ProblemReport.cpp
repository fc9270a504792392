// The problem report's texts.
#include "shell/ProblemReport.h"

#include "langpacks/Localize.h"

ProblemReportTexts LocalizeProblemReportTexts() {
  ProblemReportTexts texts;
  texts.taskDescription = Localize(
      u"ProblemReport.TaskDesc.Variant",
      u"Please fill out the form completely and provide a detailed description of the problem.\n"
      u" If possible, please describe the steps that are necessary to reproduce it.\n"
      u"Thank you for your effort!");
  texts.explanation = Localize(u"ProblemReport.ReportExplanation",
                               u"Problem reports are usuallly answered within two business days.");
  texts.title = Localize(u"ProblemReport.DefaultTitle", u"Problem Report %APPNAME%");
  return texts;
}
