// Writes the display texts of the program's three autoplay handlers, in the
// current language, so the system's disc-inserted prompt shows them translated.
#pragma once

#include "compat/mfc/CString.h"

// The handler keys below the system's autoplay handlers key are named "KVN",
// the display name with blanks as "_", and the action.
CString AutoplayHandlerKey(const CString& displayName, const CString& action);

// Runs only on the NT family from version 5.1 on; keys that cannot be written
// (no rights to the machine hive) are skipped without a word.
void RegisterAutoplayHandlers(const CString& displayName);
