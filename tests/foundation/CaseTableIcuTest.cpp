// Every code point of the case table against ICU's simple mappings, when both are of one Unicode version.

#include <gtest/gtest.h>
#include <unicode/uchar.h>

#include <string>

#include "foundation/CaseTable.h"
#include "foundation/CaseTableInternal.h"

namespace lumo {
namespace {

TEST(CaseTable, AgreesWithIcuOnEveryCodePoint) {
  // ICU names its version "15.0", the database "15.0.0".
  const std::string ours = casetable::CompiledCaseTable().unicodeVersion;
  if (ours.rfind(std::string(U_UNICODE_VERSION) + ".", 0) != 0) {
    GTEST_SKIP() << "the table is of Unicode " << ours << ", ICU of " << U_UNICODE_VERSION;
  }
  int differences = 0;
  for (CodePoint c = 0; c <= 0x10FFFF && differences < 10; ++c) {
    const auto icu = static_cast<UChar32>(c);
    const bool same = ToLowerCase(c) == static_cast<CodePoint>(u_tolower(icu)) &&
                      ToUpperCase(c) == static_cast<CodePoint>(u_toupper(icu)) &&
                      ToTitleCase(c) == static_cast<CodePoint>(u_totitle(icu));
    if (!same) {
      ++differences;
      ADD_FAILURE() << "U+" << std::hex << c << " maps otherwise than in ICU";
    }
  }
}

}  // namespace
}  // namespace lumo
