#include <gtest/gtest.h>

#include "codec/simd/simd.h"

namespace {

using g729a::ScopedSimdPath;
using g729a::SimdPath;

TEST(ScopedSimdPath, NestedSettingsRestoreInReverseOrder) {
  const SimdPath outer = g729a::simd_path();
  {
    ScopedSimdPath scalar(SimdPath::Scalar);
    EXPECT_EQ(scalar.active(), SimdPath::Scalar);
    EXPECT_EQ(g729a::simd_path(), SimdPath::Scalar);
    {
      ScopedSimdPath widest(SimdPath::Avx2);
      EXPECT_EQ(g729a::simd_path(), widest.active());
      EXPECT_EQ(widest.active(), g729a::simd_best_available());
    }
    EXPECT_EQ(g729a::simd_path(), SimdPath::Scalar);
  }
  EXPECT_EQ(g729a::simd_path(), outer);
}

TEST(ScopedSimdPath, NeverExceedsWhatTheMachineOffers) {
  const SimdPath best = g729a::simd_best_available();
  for (SimdPath wanted : {SimdPath::Scalar, SimdPath::Sse2, SimdPath::Avx2}) {
    ScopedSimdPath setting(wanted);
    EXPECT_EQ(setting.active(), wanted < best ? wanted : best) << g729a::simd_path_name(wanted);
    EXPECT_EQ(g729a::simd_path(), setting.active());
  }
}

}  // namespace
