#include "foundation/Random.h"

namespace lumo {

namespace {

constexpr std::int32_t kMiddle = 397;
constexpr std::uint32_t kMatrix = 0x9908B0DFu;
constexpr std::uint32_t kUpper = 0x80000000u;
constexpr std::uint32_t kLower = 0x7FFFFFFFu;
constexpr std::uint32_t kDefaultSeed = 5489u;

}  // namespace

CMersenneTwisterRandomNumberGenerator::CMersenneTwisterRandomNumberGenerator(std::uint32_t value) { seed(value); }

void CMersenneTwisterRandomNumberGenerator::seed(std::uint32_t value) {
  state[0] = value;
  for (std::int32_t i = 1; i < kWords; ++i) {
    const std::uint32_t previous = state[i - 1];
    state[i] = 1812433253u * (previous ^ (previous >> 30)) + static_cast<std::uint32_t>(i);
  }
  index = kWords;
}

void CMersenneTwisterRandomNumberGenerator::twist() {
  for (std::int32_t i = 0; i < kWords; ++i) {
    const std::uint32_t y = (state[i] & kUpper) | (state[(i + 1) % kWords] & kLower);
    state[i] = state[(i + kMiddle) % kWords] ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
  }
  index = 0;
}

std::uint32_t CMersenneTwisterRandomNumberGenerator::next() {
  if (index == kUnseeded) seed(kDefaultSeed);
  if (index >= kWords) twist();
  std::uint32_t y = state[index++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace lumo
