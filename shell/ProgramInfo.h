// What the program says about itself when asked with "--help" or "--version".
#pragma once

#include <cstdio>

// The product's full version, as the engine and the about box show it.
inline constexpr char16_t kFullVersionText[] = u"9.12.0.194 (2210)";

// When the first argument is "--help" or "--version", writes the usage or the
// version to `out` and answers true: the program then ends with code 0 and
// does nothing else. Any other command line answers false and writes nothing.
bool AnswerInformationRequest(int argc, char** argv, std::FILE* out);
