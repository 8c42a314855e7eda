#include "codec/encoder/taming.h"

#include <gtest/gtest.h>

namespace g729a {
namespace {

// One zone above the threshold, all others harmless.
TamingError hot_zone(int zone) {
  TamingError e = {1.0, 1.0, 1.0, 1.0};
  e[zone] = 60001.0;
  return e;
}

struct ZoneCase {
  int t0;
  int fraction;
  int first_zone;
  int last_zone;
};

TEST(TamingTest, TestReachesExactlyTheZonesOfTheDelay) {
  // Zones first..last as integer division: max(0, t1 - 50) / 40 .. (t1 + 8) / 40.
  const ZoneCase cases[] = {{20, 0, 0, 0},  {31, 0, 0, 0},   {32, 0, 0, 1},  {39, 0, 0, 1},
                            {40, 0, 0, 1},  {71, 0, 0, 1},   {72, 0, 0, 2},  {89, 0, 0, 2},
                            {90, 0, 1, 2},  {111, 0, 1, 2},  {112, 0, 1, 3}, {129, 0, 1, 3},
                            {130, 0, 2, 3}, {142, -1, 2, 3}, {143, 0, 2, 3}, {143, 1, 2, 3}};
  for (const ZoneCase& c : cases) {
    for (int zone = 0; zone < 4; ++zone) {
      const bool inside = zone >= c.first_zone && zone <= c.last_zone;
      EXPECT_EQ(taming_test(hot_zone(zone), c.t0, c.fraction), inside ? 1 : 0)
          << "t0 " << c.t0 << " fraction " << c.fraction << " zone " << zone;
    }
  }
}

TEST(TamingTest, FractionPlusOneMovesTheDelayUp) {
  // t1 = 32 only with fraction +1: 32 + 8 = 40 reaches zone 1.
  EXPECT_EQ(taming_test(hot_zone(1), 31, 1), 1);
  EXPECT_EQ(taming_test(hot_zone(1), 31, 0), 0);
  EXPECT_EQ(taming_test(hot_zone(1), 31, -1), 0);
  // t1 = 90 with fraction +1 from 89 drops zone 0.
  EXPECT_EQ(taming_test(hot_zone(0), 89, 1), 0);
  EXPECT_EQ(taming_test(hot_zone(0), 89, 0), 1);
}

TEST(TamingTest, ThresholdIsStrict) {
  TamingError e = {60000.0, 60000.0, 60000.0, 60000.0};
  EXPECT_EQ(taming_test(e, 60, 0), 0);
  e[0] = 60000.000000001;
  EXPECT_EQ(taming_test(e, 60, 0), 1);
}

TEST(TamingTest, InitialErrorsNeverTame) {
  const TamingError e = {1.0, 1.0, 1.0, 1.0};
  for (int t0 = 20; t0 <= 143; ++t0) {
    for (int f = -1; f <= 1; ++f) EXPECT_EQ(taming_test(e, t0, f), 0);
  }
}

TEST(TamingTest, ShortDelayUpdateFeedsBackTwiceOnZoneZero) {
  // T0 = 39: e1 = 1 + gp e[0], e2 = 1 + gp e1; the worst of the two.
  TamingError e = {4.0, 500.0, 500.0, 500.0};
  taming_update(e, 0.5, 39);
  EXPECT_EQ(e[0], 3.0);  // e1 = 3, e2 = 2.5
  EXPECT_EQ(e[1], 4.0);
  EXPECT_EQ(e[2], 500.0);
  EXPECT_EQ(e[3], 500.0);

  TamingError g = {1.0, 500.0, 500.0, 500.0};
  taming_update(g, 1.25, 20);
  EXPECT_EQ(g[0], 1 + 1.25 * (1 + 1.25 * 1.0));  // e2 = 3.8125 beats e1 = 2.25
}

TEST(TamingTest, LongDelayUpdateUsesTheZonesOfTheDelay) {
  struct Case {
    int t0;
    int first;
    int last;
  };
  // 40: zone 0 only; 79: 0..1; 80: 1 only; 119: 1..2; 143: 2..3.
  const Case cases[] = {{40, 0, 0}, {79, 0, 1}, {80, 1, 1}, {119, 1, 2}, {120, 2, 2}, {143, 2, 3}};
  for (const Case& c : cases) {
    for (int zone = 0; zone < 4; ++zone) {
      TamingError e = {2.0, 2.0, 2.0, 2.0};
      e[zone] = 100.0;
      taming_update(e, 0.5, c.t0);
      const bool inside = zone >= c.first && zone <= c.last;
      EXPECT_EQ(e[0], inside ? 51.0 : 2.0) << "t0 " << c.t0 << " zone " << zone;
    }
  }
}

TEST(TamingTest, UpdateShiftsTheZones) {
  TamingError e = {1.0, 2.0, 3.0, 4.0};
  taming_update(e, 0.0, 100);
  EXPECT_EQ(e[0], 1.0);  // 1 + 0 * anything
  EXPECT_EQ(e[1], 1.0);
  EXPECT_EQ(e[2], 2.0);
  EXPECT_EQ(e[3], 3.0);
}

}  // namespace
}  // namespace g729a
