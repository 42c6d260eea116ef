#include "coder/rate_schedules.h"

const RateScheduleEntry kRateSchedules[17] = {
    {999, 5000, rate999_5000}, {700, 4096, rate700_4096}, {512, 3200, rate512_3200},
    {450, 2750, rate450_2750}, {400, 2400, rate400_2400}, {350, 2050, rate350_2050},
    {250, 1400, rate250_1400}, {200, 1050, rate200_1050}, {175, 950, rate175_950},
    {150, 800, rate150_800},   {120, 600, rate120_600},   {100, 460, rate100_460},
    {64, 300, rate64_300},     {45, 200, rate45_200},     {40, 200, rate40_200},
    {28, 128, rate28_128},     {20, 100, rate20_100},
};

const uint16_t* FindRateSchedule(int A, int N) {
  for (const RateScheduleEntry& entry : kRateSchedules)
    if (entry.A == A && entry.N == N) return entry.table;
  return nullptr;
}
