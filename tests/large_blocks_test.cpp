#include "base/large_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "base/platform.h"

namespace trelvo {
namespace {

constexpr std::size_t kBytes = static_cast<std::size_t>(platform::kLargeBlockBytes) + 12345;

TEST(LargeBlocks, GivesBackItsOwnBlocksOnlyZeroFilledEachTime) {
  auto blocks = std::make_unique<LargeBlocks>();
  for (int round = 0; round < 2; ++round) {
    auto* bytes = static_cast<unsigned char*>(blocks->take(kBytes));
    ASSERT_NE(bytes, nullptr);
    for (std::size_t k = 0; k < kBytes; ++k) ASSERT_EQ(bytes[k], 0) << "byte " << k;
    std::fill(bytes, bytes + kBytes, 0xff);
    void* foreign = std::malloc(64);
    EXPECT_FALSE(blocks->give(foreign));
    EXPECT_FALSE(blocks->give(bytes + 64));
    EXPECT_FALSE(blocks->give(nullptr));
    std::free(foreign);
    EXPECT_TRUE(blocks->give(bytes));
    EXPECT_FALSE(blocks->give(bytes));
  }
}

// A request no machine could grant is refused without a slot, as the C
// library refuses it; so is the program's operator new.
TEST(LargeBlocks, AnImpossibleRequestIsRefused) {
  auto blocks = std::make_unique<LargeBlocks>();
  for (std::size_t bytes : {SIZE_MAX, SIZE_MAX / 2, static_cast<std::size_t>(INT64_MAX) - 4095}) {
    EXPECT_EQ(blocks->take(bytes), nullptr) << bytes;
#ifdef TRELVO_OWN_OPERATOR_NEW  // a sanitizer's own stops the program instead
    void* volatile granted = nullptr;
    EXPECT_THROW(granted = ::operator new(bytes), std::bad_alloc) << bytes;
    ::operator delete(granted);
#endif
  }
  void* block = blocks->take(kBytes);
  EXPECT_NE(block, nullptr);
  EXPECT_TRUE(blocks->give(block));
}

// A full table takes no more; a slot given back is taken again.
TEST(LargeBlocks, AFullTableRefusesUntilASlotIsFree) {
  auto blocks = std::make_unique<LargeBlocks>();
  std::vector<void*> taken;
  for (int k = 0; k < LargeBlocks::kSlots; ++k) {
    taken.push_back(blocks->take(kBytes));
    ASSERT_NE(taken.back(), nullptr) << "slot " << k;
  }
  EXPECT_EQ(blocks->take(kBytes), nullptr);
  EXPECT_TRUE(blocks->give(taken[7]));
  taken[7] = blocks->take(kBytes);
  EXPECT_NE(taken[7], nullptr);
  for (void* block : taken) EXPECT_TRUE(blocks->give(block));
}

// Two threads taking and giving back at once never share a block and never
// lose one, also when the system hands one thread the address of a block
// the other has just given back.
TEST(LargeBlocks, TwoThreadsAtOnce) {
  auto blocks = std::make_unique<LargeBlocks>();
  auto work = [&](unsigned char mark) {
    for (int round = 0; round < 400; ++round) {
      std::vector<unsigned char*> mine;
      for (int k = 0; k < 3; ++k) {
        auto* block = static_cast<unsigned char*>(blocks->take(kBytes));
        ASSERT_NE(block, nullptr);
        block[0] = mark;
        block[kBytes - 1] = mark;
        mine.push_back(block);
      }
      for (unsigned char* block : mine) {
        EXPECT_EQ(block[0], mark);
        EXPECT_EQ(block[kBytes - 1], mark);
        EXPECT_TRUE(blocks->give(block));
      }
    }
  };
  std::thread other(work, 1);
  work(2);
  other.join();
  std::vector<void*> all;
  for (int k = 0; k < LargeBlocks::kSlots; ++k) {
    all.push_back(blocks->take(kBytes));
    EXPECT_NE(all.back(), nullptr) << "slot " << k << " was lost";
  }
  for (void* block : all) blocks->give(block);
}

// Large and small requests of the program's operator new, kept apart when
// given back: containers of either size, grown, copied and released.
TEST(LargeBlocks, OperatorNewServesLargeAndSmallRequests) {
  const std::size_t large = static_cast<std::size_t>(platform::kLargeBlockBytes) / sizeof(double);
  for (std::size_t count : {std::size_t{10}, large - 1, large, 3 * large + 7}) {
    std::vector<double> values(count, 1.5);
    values.push_back(2.5);
    std::vector<double> copy = values;
    EXPECT_EQ(copy.front(), 1.5);
    EXPECT_EQ(copy.back(), 2.5);
    auto array = std::make_unique<float[]>(count);
    EXPECT_EQ(array[count - 1], 0.0f);
  }
}

}  // namespace
}  // namespace trelvo
