#pragma once
// Adaptation weights for adaptive bits. A schedule (A, N) holds N - 1 in entry 0
// (the highest update count an adaptive bit may reach with it) and, in entries
// 1 .. N - 1, the weight in units of 2^-15 that the update with that count uses:
// 32768 at first, then roughly 32768 / i, levelling off a little above 32768 / A.
//
// The tables are computed by the compiler, so they exist before any code of the
// process runs and no initialiser of another file can see them half-built.

#include <array>
#include <cstdint>

namespace rate_detail {

template <int A, int N>
constexpr std::array<uint16_t, N> BuildRateSchedule() {
  static_assert(A > 1 && N > 1);
  std::array<uint16_t, N> table{};
  table[0] = uint16_t(N - 1);
  const uint32_t a = 65536u - 65536u / uint32_t(A);
  uint32_t d = 0;
  for (int i = 1; i < N; ++i) {
    // d settles near 16 * 65536 / (65536 - a), about 16 * A, so d * a fits in 32 bits.
    d = (d * a) / 65536u + 16u;
    table[i] = uint16_t(524288u / d);
  }
  return table;
}

template <int A, int N>
inline constexpr std::array<uint16_t, N> kTable = BuildRateSchedule<A, N>();

}  // namespace rate_detail

// The seventeen schedules, named rateA_N after their parameter pair.
inline constexpr const uint16_t* rate999_5000 = rate_detail::kTable<999, 5000>.data();
inline constexpr const uint16_t* rate700_4096 = rate_detail::kTable<700, 4096>.data();
inline constexpr const uint16_t* rate512_3200 = rate_detail::kTable<512, 3200>.data();
inline constexpr const uint16_t* rate450_2750 = rate_detail::kTable<450, 2750>.data();
inline constexpr const uint16_t* rate400_2400 = rate_detail::kTable<400, 2400>.data();
inline constexpr const uint16_t* rate350_2050 = rate_detail::kTable<350, 2050>.data();
inline constexpr const uint16_t* rate250_1400 = rate_detail::kTable<250, 1400>.data();
inline constexpr const uint16_t* rate200_1050 = rate_detail::kTable<200, 1050>.data();
inline constexpr const uint16_t* rate175_950 = rate_detail::kTable<175, 950>.data();
inline constexpr const uint16_t* rate150_800 = rate_detail::kTable<150, 800>.data();
inline constexpr const uint16_t* rate120_600 = rate_detail::kTable<120, 600>.data();
inline constexpr const uint16_t* rate100_460 = rate_detail::kTable<100, 460>.data();
inline constexpr const uint16_t* rate64_300 = rate_detail::kTable<64, 300>.data();
inline constexpr const uint16_t* rate45_200 = rate_detail::kTable<45, 200>.data();
inline constexpr const uint16_t* rate40_200 = rate_detail::kTable<40, 200>.data();
inline constexpr const uint16_t* rate28_128 = rate_detail::kTable<28, 128>.data();
inline constexpr const uint16_t* rate20_100 = rate_detail::kTable<20, 100>.data();

struct RateScheduleEntry {
  int A;
  int N;
  const uint16_t* table;
};

// All schedules in the order of their pairs, for code that picks one by its pair
// at run time (diagnostics, tests); the models name theirs directly.
extern const RateScheduleEntry kRateSchedules[17];

// The schedule with the pair (A, N), or nullptr when there is none.
const uint16_t* FindRateSchedule(int A, int N);
