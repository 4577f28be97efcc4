#include "base/storage.h"

#include <gtest/gtest.h>

#include <utility>

#include "base/platform.h"

namespace trelvo {
namespace {

TEST(Storage, IsZeroFilledAndCountedWhileHeld) {
  const int64_t before = heldStorage();
  {
    Storage<float> values(1000);
    EXPECT_EQ(heldStorage(), before + 4000);
    for (int64_t k = 0; k < values.size(); ++k) ASSERT_EQ(values[k], 0.0f);
    Storage<float> moved = std::move(values);
    EXPECT_EQ(heldStorage(), before + 4000);
    moved = Storage<float>(10);
    EXPECT_EQ(heldStorage(), before + 40);
  }
  EXPECT_EQ(heldStorage(), before);
}

// Blocks around the size from which they are mapped on large pages, of
// lengths that are no multiple of a page, with a last partial large page
// just short of half a page and just past it: zero-filled to their last
// element, also where a block just given back and written all over stood.
TEST(Storage, LargeBlocksAreZeroFilledEveryTime) {
  const int64_t before = heldStorage();
  const int64_t large = platform::kLargeBlockBytes / 4;  // floats
  const int64_t largePage = int64_t{2} << 20;
  for (int64_t count : {large - 1, large, large + 1, (3 * largePage + largePage / 2) / 4 - 1,
                        (3 * largePage + largePage / 2) / 4 + 1, int64_t{4'000'003}}) {
    for (int round = 0; round < 2; ++round) {
      Storage<float> values(count);
      EXPECT_EQ(heldStorage(), before + 4 * count);
      for (int64_t k = 0; k < count; ++k)
        ASSERT_EQ(values[k], 0.0f) << count << " floats, element " << k;
      for (int64_t k = 0; k < count; ++k) values[k] = 1.0f;
    }
  }
  EXPECT_EQ(heldStorage(), before);
}

TEST(Storage, MoreThanTheMachineHoldsIsRefusedAndNothingIsCounted) {
  const int64_t before = heldStorage();
  const int64_t tooMany = storageCeiling() / 4 + 1;
  EXPECT_THROW(Storage<float>{tooMany}, std::bad_alloc);
  EXPECT_THROW(Storage<float>{-1}, std::bad_alloc);
  EXPECT_THROW(Storage<float>{INT64_MAX}, std::bad_alloc);
  EXPECT_EQ(heldStorage(), before);
}

TEST(Storage, TheCeilingCoversAllStorageHeldAtOnce) {
  const int64_t before = heldStorage();
  const int64_t fill = storageCeiling() - before - 64;
  ASSERT_TRUE(reserveStorage(fill));  // as if most of the memory were held
  EXPECT_THROW(Storage<float>{17}, std::bad_alloc);
  Storage<float> fits(16);
  EXPECT_EQ(heldStorage(), storageCeiling());
  releaseStorage(fill);
}

}  // namespace
}  // namespace trelvo
