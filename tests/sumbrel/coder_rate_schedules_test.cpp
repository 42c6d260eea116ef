// The adaptation weights are part of the file format: any change to one of them
// makes every compressed file undecodable.

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "coder/rate_schedules.h"

namespace {

TEST(RateSchedules, KnownEntries) {
  const uint16_t* r = rate28_128;
  EXPECT_EQ(r[0], 127);
  EXPECT_EQ(r[1], 32768);
  EXPECT_EQ(r[2], 16912);
  EXPECT_EQ(r[3], 11650);
  EXPECT_EQ(r[4], 8886);
  EXPECT_EQ(r[5], 7281);
  EXPECT_EQ(r[127], 1245);
  EXPECT_EQ(rate999_5000[4999], 34);
  EXPECT_EQ(rate20_100[99], 1741);
}

TEST(RateSchedules, EverySchedulesShape) {
  const std::pair<int, int> pairs[] = {{999, 5000}, {700, 4096}, {512, 3200}, {450, 2750}, {400, 2400},
                                       {350, 2050}, {250, 1400}, {200, 1050}, {175, 950},  {150, 800},
                                       {120, 600},  {100, 460},  {64, 300},   {45, 200},   {40, 200},
                                       {28, 128},   {20, 100}};
  std::set<const uint16_t*> tables;
  int index = 0;
  for (auto [A, N] : pairs) {
    SCOPED_TRACE(testing::Message() << "rate (" << A << ", " << N << ")");
    EXPECT_EQ(kRateSchedules[index].A, A);
    EXPECT_EQ(kRateSchedules[index].N, N);
    const uint16_t* r = FindRateSchedule(A, N);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r, kRateSchedules[index].table);
    tables.insert(r);
    EXPECT_EQ(r[0], N - 1);
    EXPECT_EQ(r[1], 32768);
    for (int i = 2; i < N; ++i) {
      ASSERT_LE(r[i], r[i - 1]) << "entry " << i;
      // Early on roughly 32768 / i, never below it by much.
      if (i < 5) {
        ASSERT_NEAR(r[i], 32768 / i, 32768 / i / 4) << "entry " << i;
      }
    }
    // The floor sits above 32768 / A, and the schedule has reached it.
    EXPECT_GT(r[N - 1], 32768 / A);
    EXPECT_LT(r[N - 1], 2 * 32768 / A);
    ++index;
  }
  EXPECT_EQ(tables.size(), 17u);
  EXPECT_EQ(FindRateSchedule(28, 129), nullptr);
}

}  // namespace
