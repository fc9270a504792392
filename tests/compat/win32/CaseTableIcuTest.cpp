// Every code point of the case table against ICU's simple mappings, when both are of one Unicode version.

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <string>

#include "compat/win32/CaseRules.h"
#include "compat/win32/CaseTableInternal.h"

namespace compat::win32 {
namespace {

using CodePoint = std::uint32_t;

TEST(CaseTable, AgreesWithIcuOnEveryCodePoint) {
  // ICU names its version "15.0", the database "15.0.0".
  const std::string ours = casetable::CompiledCaseTable().unicodeVersion;
  if (ours.rfind(std::string(U_UNICODE_VERSION) + ".", 0) != 0) {
    GTEST_SKIP() << "the table is of Unicode " << ours << ", ICU of " << U_UNICODE_VERSION;
  }
  int differences = 0;
  for (CodePoint c = 0; c <= 0x10FFFF && differences < 10; ++c) {
    const auto icu = static_cast<UChar32>(c);
    const bool same = LowerCaseOf(c) == static_cast<CodePoint>(u_tolower(icu)) &&
                      UpperCaseOf(c) == static_cast<CodePoint>(u_toupper(icu)) &&
                      TitleCaseOf(c) == static_cast<CodePoint>(u_totitle(icu));
    if (!same) {
      ++differences;
      ADD_FAILURE() << "U+" << std::hex << c << " maps otherwise than in ICU";
    }
  }
}

}  // namespace
}  // namespace compat::win32
