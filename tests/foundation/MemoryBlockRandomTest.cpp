// The growable byte buffer's exact growth and truncation, and the MT19937 reference sequence.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "foundation/Exception.h"
#include "foundation/MemoryBlock.h"
#include "foundation/Random.h"

namespace lumo {
namespace {

std::string Bytes(const IMemoryBlock& block) {
  return std::string(reinterpret_cast<const char*>(block.getData()), static_cast<std::size_t>(block.getSize()));
}

TEST(MemoryBlock, GrowsExactlyAndTruncatesToItsCapacity) {
  const P<IMemoryBlock> block = make<CMemoryBlock>();
  EXPECT_EQ(block->getData(), nullptr);
  block->assign("abcdef", 6);
  // One step after another on the same block: capacity, size, bytes in use.
  struct Step {
    const char* what;
    void (*apply)(IMemoryBlock&);
    std::int32_t capacity;
    std::int32_t size;
    const char* bytes;
  };
  const Step steps[] = {
      {"assign", [](IMemoryBlock&) {}, 6, 6, "abcdef"},
      {"smaller size keeps the room", [](IMemoryBlock& b) { b.setSize(2); }, 6, 2, "ab"},
      {"reserve of less does nothing", [](IMemoryBlock& b) { b.reserve(5); }, 6, 2, "ab"},
      {"size within the room, bytes not cleared", [](IMemoryBlock& b) { b.setSize(6); }, 6, 6, "abcdef"},
      {"reserve of more is exact", [](IMemoryBlock& b) { b.reserve(9); }, 9, 6, "abcdef"},
      {"larger size is exact", [](IMemoryBlock& b) { b.setSize(11); }, 11, 11, nullptr},
      {"assign within the room", [](IMemoryBlock& b) { b.assign("xyz", 3); }, 11, 3, "xyz"},
      {"capacity below the size", [](IMemoryBlock& b) { b.setCapacity(2); }, 2, 2, "xy"},
      {"assign from itself", [](IMemoryBlock& b) { b.assign(b.getData() + 1, 1); }, 2, 1, "y"},
      {"assign of nothing", [](IMemoryBlock& b) { b.assign(nullptr, 0); }, 2, 0, ""},
      {"capacity 0", [](IMemoryBlock& b) { b.setCapacity(0); }, 0, 0, ""},
      {"assign into no room", [](IMemoryBlock& b) { b.assign("hello", 5); }, 5, 5, "hello"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    step.apply(*block);
    EXPECT_EQ(block->getCapacity(), step.capacity);
    EXPECT_EQ(block->getSize(), step.size);
    if (step.bytes) {
      EXPECT_EQ(Bytes(*block), step.bytes);
    }
    EXPECT_EQ(block->getData() == nullptr, step.capacity == 0);
  }
  for (void (*refused)(IMemoryBlock&) : {+[](IMemoryBlock& b) { b.setCapacity(-1); },
                                         +[](IMemoryBlock& b) { b.setSize(-1); },
                                         +[](IMemoryBlock& b) { b.assign("x", -1); }}) {
    EXPECT_THROW(refused(*block), CInvalidArgError);
    EXPECT_EQ(Bytes(*block), "hello");
  }
}

using Generator = CMersenneTwisterRandomNumberGenerator;

TEST(MersenneTwister, FollowsTheReferenceSequence) {
  // Never seeded: the first number seeds with 5489.
  const P<Generator> unseeded = make<Generator>(Generator::NeverSeeded{});
  EXPECT_EQ(unseeded->next(), 3499211612u);
  for (const std::uint32_t seed : {0u, 1u, 5489u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    const P<Generator> ours = make<Generator>(seed);
    std::mt19937 reference(seed);
    for (int n = 0; n < 2000; ++n) ASSERT_EQ(ours->next(), reference()) << "seed " << seed << ", number " << n;
  }
}

}  // namespace
}  // namespace lumo
