// CMersenneTwisterRandomNumberGenerator: the library's pseudo-random numbers
// (MT19937, 32-bit), used for names of unique temporary files and folders.
//
//   lumo::P<lumo::CMersenneTwisterRandomNumberGenerator> random =
//       lumo::make<lumo::CMersenneTwisterRandomNumberGenerator>();
//   std::uint32_t n = random->next();
//
// Not locked: a generator belongs to one owner.
#pragma once

#include <array>
#include <cstdint>

#include "foundation/Object.h"

namespace lumo {

class CMersenneTwisterRandomNumberGenerator : public CObject {
 public:
  // Leaves the generator unseeded; its first number seeds it with 5489, the
  // generator's customary default, so the sequence is the reference one.
  struct NeverSeeded {};

  // Seeded from the time manager's tick count; the platform layer, which
  // owns the time manager, defines this constructor.
  CMersenneTwisterRandomNumberGenerator();
  explicit CMersenneTwisterRandomNumberGenerator(std::uint32_t seed);
  explicit CMersenneTwisterRandomNumberGenerator(NeverSeeded) {}

  // The next number of the sequence.
  std::uint32_t next();

 protected:
  ~CMersenneTwisterRandomNumberGenerator() override = default;

 private:
  static constexpr std::int32_t kWords = 624;
  // The index that says the state has never been seeded.
  static constexpr std::int32_t kUnseeded = kWords + 1;

  void seed(std::uint32_t value);
  void twist();

  std::int32_t index = kUnseeded;
  std::array<std::uint32_t, kWords> state{};
};

}  // namespace lumo
