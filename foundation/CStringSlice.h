// CStringSlice: a string that is a range of another string's bytes. It copies
// nothing and keeps the string it was cut from alive.
//
//   lumo::String word = line->slice(0, 4);  // line's bytes stay while word lives
#pragma once

#include <cstdint>

#include "foundation/CString.h"

namespace lumo {

class CStringSlice : public CString {
 public:
  // `bytes` and `chars` measure the range at `data` inside `parent`'s text.
  // A slice is never taken as terminated, even when it reaches the end.
  CStringSlice(PC<IBase> parent, const std::uint8_t* data, std::int32_t bytes, std::int32_t chars,
               P<ICharEncoding> encoding)
      : CString(data, bytes, chars, false, std::move(encoding), StringMode::kBorrow), parent(std::move(parent)) {}

 protected:
  ~CStringSlice() override = default;

 private:
  const PC<IBase> parent;
};

}  // namespace lumo
