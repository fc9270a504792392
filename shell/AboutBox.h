// The about box's text, as the small markup document the engine renders:
// "about" elements, each with one "p" of text, "b", "br/", "&copy;", "&amp;".
#pragma once

#include "compat/mfc/CString.h"

// The shell's document with "%DOCUMENTATION%" and "%GRAPHICS%" filled;
// "%APPNAME%" and "%APPVER%" stay for the engine.
CString BuildAboutMarkup();
// Fills the two placeholders of any about document.
CString FillAboutPlaceholders(CString markup);
