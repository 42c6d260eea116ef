// The record table.
#include <gtest/gtest.h>

#include "Info.h"
#include "test_data.h"

namespace {

std::vector<std::vector<uint32_t>> Rows(const TInfo& I) {
  std::vector<std::vector<uint32_t>> Out;
  for (int32_t r = 0; r < I.Count(); r++) {
    Out.emplace_back();
    for (int32_t p = 0; p < I.Parameters(); p++) Out.back().push_back(I.Get(r, p));
  }
  return Out;
}

TEST(TInfo, AddInsertGetAndRowsPastTheEnd) {
  TInfo I(7);
  for (uint32_t r = 0; r < 1000; r++) {
    I.Add();
    for (int32_t p = 0; p < 7; p++)
      if (p != 6) I.Insert(p, r * 10 + uint32_t(p));
  }
  ASSERT_EQ(I.Count(), 1000);
  EXPECT_EQ(I.Get(999, 5), 9995u);
  EXPECT_EQ(I.Get(123, 6), 0u);  // Add clears the row
  for (int32_t p = 0; p < 7; p++) {
    EXPECT_EQ(I.Get(1000, p), 0u);
    EXPECT_EQ(I.Get(-1, p), 0u);
  }
  I.Update(5, 3, 0xFFFFFFFFu);
  EXPECT_EQ(I.Get(5, 3), 0xFFFFFFFFu);
  EXPECT_THROW(I.Update(1000, 0, 1), std::out_of_range);
  EXPECT_THROW(I.Update(0, 7, 1), std::out_of_range);
}

TEST(TInfo, RemoveRowsAndAddAgain) {
  TInfo I(4);
  for (uint32_t r = 0; r < 5; r++) {
    I.Add();
    I.Insert(0, r);
  }
  I.Remove(4);  // the last row: only the count changes
  EXPECT_EQ(I.Count(), 4);
  EXPECT_EQ(I.Get(4, 0), 0u);
  I.Remove(1);
  EXPECT_EQ(Rows(I), (std::vector<std::vector<uint32_t>>{{0, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}}));
  // A row added after removals is the new last row.
  I.Add();
  I.Insert(0, 77);
  EXPECT_EQ(I.Count(), 4);
  EXPECT_EQ(I.Get(3, 0), 77u);
  EXPECT_EQ(I.Get(2, 0), 3u);
  I.Reset();
  EXPECT_EQ(I.Count(), 0);
  I.Add();
  EXPECT_EQ(I.Get(0, 0), 0u);
  I.Remove();
  I.Remove();
  EXPECT_EQ(I.Count(), 0);
}

TEST(TInfo, RemoveWhereMatchesRemovingOneByOne) {
  std::mt19937 Rng(8);
  for (int Round = 0; Round < 50; Round++) {
    TInfo A(3), B(3);
    const int Count = int(Rng() % 200);
    for (int r = 0; r < Count; r++) {
      const uint32_t Mark = Rng() % 3 == 0;
      for (TInfo* T : {&A, &B}) {
        T->Add();
        T->Insert(0, uint32_t(r));
        T->Insert(2, Mark);
      }
    }
    for (int32_t r = A.Count() - 1; r >= 0; r--)
      if (A.Get(r, 2) == 1) A.Remove(r);
    B.RemoveWhere(2, 1);
    ASSERT_EQ(Rows(A), Rows(B));
  }
}

}  // namespace
