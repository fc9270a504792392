// How the engine reads the texts of the launch record: UTF-16 on the NT
// family, the ANSI code page otherwise, as the shell wrote them.
#pragma once

#include <optional>
#include <string>

#include "peers/orbcore/IgnisLaunch.h"

namespace orbcore {

enum class TextForm { Wide, Ansi };

// Asks the (emulated) Windows version: platform 2, the NT family, means wide.
TextForm DetectTextForm();
// "wide" or "ansi", as the dump names them.
const char* TextFormName(TextForm form);

// A record text as UTF-8; nothing for a null pointer.
std::optional<std::string> DecodeText(IgnisText text, TextForm form);
// A field that is UTF-16 whatever the platform.
std::optional<std::string> DecodeWide(const char16_t* text);

}  // namespace orbcore
