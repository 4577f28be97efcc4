#include "dialogue/storage.h"

#include <gtest/gtest.h>

#include <utility>

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
