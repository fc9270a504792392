// The engine's readers of text it is handed, and the writer of its dump.
//
// fuzz_orbcore_script: split and parse a command script. Steps are trimmed
// and non-empty; a step that parses reads back the same way.
// fuzz_about_markup: the about box markup never crashes, and no run holds a
// control character other than what the markup wrote.
// fuzz_json_writer: any bytes as a string value serialize to JSON text that
// is valid UTF-8, quoted, with no raw control character.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "peers/orbcore/AboutMarkup.h"
#include "peers/orbcore/Json.h"
#include "peers/orbcore/Script.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
  }
}

// Well-formed UTF-8 (no surrogates, nothing above U+10FFFF, shortest forms).
[[maybe_unused]] bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                       : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > s.size()) return false;
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto byte = static_cast<unsigned char>(s[i + k]);
      if ((byte & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (byte & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
#if defined(FUZZ_ORBCORE_SCRIPT)
  for (const std::string& step : orbcore::SplitScript(text)) {
    Check(!step.empty() && step.find(',') == std::string::npos, "empty step or a comma in one");
    const std::string_view blanks = " \t\r\n";
    Check(blanks.find(step.front()) == blanks.npos && blanks.find(step.back()) == blanks.npos, "untrimmed step");
    const auto parsed = orbcore::ParseStep(step);
    if (parsed) Check(orbcore::ParseStep(std::string(step))->kind == parsed->kind, "a step read twice differs");
  }
#elif defined(FUZZ_ABOUT_MARKUP)
  for (const orbcore::AboutParagraph& paragraph : orbcore::ParseAboutMarkup(text, "Orbweave", "9.12")) {
    for (const orbcore::AboutRun& run : paragraph) {
      Check(!run.lineBreak || run.text.empty(), "a line break with text");
    }
  }
#else
  const std::string json = orbcore::JsonValue(std::string(text)).Serialize();
  Check(json.size() >= 2 && json.front() == '"' && json.back() == '"', "a string is not quoted");
  Check(IsUtf8(json), "the JSON text is not UTF-8");
  for (const char c : json) Check(static_cast<unsigned char>(c) >= 0x20, "a raw control character");
  // Inside the quotes, every quote is escaped.
  for (std::size_t i = 1; i + 1 < json.size(); ++i) {
    if (json[i] == '\\') {
      ++i;
    } else {
      Check(json[i] != '"', "an unescaped quote");
    }
  }
#endif
  return 0;
}
