// The application managers' one error: a numeric code and an optional value,
// without text. The start-up shows a message for code 9 only.
#pragma once

#include <cstdint>
#include <exception>

namespace lapp {

class CAppmanError : public std::exception {
 public:
  enum Code : std::int32_t {
    kNotAdministrator = 9,
    kNotStarted = 10,
    kStillStarted = 11,
    kAlreadyStarted = 12,
    kBadRootName = 13,
    kArchiveMissing = 17,
  };

  explicit CAppmanError(std::int32_t code, std::int32_t additional = 0)
      : code_(code), additional_(additional) {}

  std::int32_t code() const noexcept { return code_; }
  std::int32_t additional() const noexcept { return additional_; }

 private:
  std::int32_t code_;
  std::int32_t additional_;
};

}  // namespace lapp
