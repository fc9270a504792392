// The engine's texts from the language pack the shell chose: both pack
// formats the program ships ("LANGPU16" tables and "URESFILE" chunk files),
// read for the keys that start with "Orbcore.".
#pragma once

#include <string>

#include "peers/orbcore/EngineTexts.h"

namespace orbcore {

// Adds the pack's engine texts to `texts`; false when the file is no pack
// of either format (the English defaults then stand).
bool LoadPackTexts(const std::string& packPath, EngineTexts& texts);

}  // namespace orbcore
