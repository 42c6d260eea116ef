// Reusable worker tasks.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>

#include "Threading.h"
#include "test_data.h"

namespace {

TEST(TTask, WaitOnANeverStartedTaskReturnsAtOnce) {
  TTask T;
  EXPECT_EQ(T.Status(), tsReady);
  T.Wait();
  WaitForAll(std::vector<TTask*>{&T});
  EXPECT_EQ(T.Status(), tsReady);
}

TEST(TTask, EveryStartRunsOnceOnTheSameThread) {
  TTask T;
  std::atomic<int> Runs{0};
  std::set<std::thread::id> Threads;
  int Plain = 0;  // written by the task, read here after Wait
  T.Perform([&] {
    Runs++;
    Plain++;
    Threads.insert(std::this_thread::get_id());
  });
  T.Start();
  T.Wait();
  EXPECT_EQ(Runs.load(), 1);
  T.Start();
  T.Wait();
  EXPECT_EQ(Runs.load(), 2);  // started, waited for and started again: twice
  for (int i = 0; i < 200 / SanitizerDivisor; i++) {
    T.Start();
    T.Wait();
    ASSERT_EQ(Plain, 3 + i);
  }
  EXPECT_EQ(Threads.size(), 1u);
  EXPECT_NE(*Threads.begin(), std::this_thread::get_id());
}

// Starts that meet the end of the previous run, back-to-back Starts and Starts
// from several threads at once: each must give exactly one run.
TEST(TTask, ExactlyOneRunPerStartUnderEveryInterleaving) {
  TTask T;
  std::atomic<int> Runs{0};
  std::atomic<int> Spin{0};
  T.Perform([&] {
    for (int k = Spin.load() % 3 * 2000; k > 0; k--) asm volatile("");
    Runs++;
  });
  const int Rounds = 300 / SanitizerDivisor;
  for (int i = 0; i < Rounds; i++) {
    Spin = i;
    T.Start();
    if (i % 2) T.Start();  // the previous run may still be going
    T.Wait();
  }
  EXPECT_EQ(Runs.load(), Rounds + Rounds / 2);

  Runs = 0;
  const int Starters = 4, PerStarter = 60 / SanitizerDivisor;
  std::vector<std::thread> Threads;
  for (int s = 0; s < Starters; s++)
    Threads.emplace_back([&] {
      for (int i = 0; i < PerStarter; i++) {
        T.Start();
        if (i % 3 == 0) T.Wait();
      }
    });
  for (auto& Th : Threads) Th.join();
  T.Wait();
  EXPECT_EQ(Runs.load(), Starters * PerStarter);
}

TEST(TTask, WaitForAllSeesEveryResult) {
  std::vector<std::unique_ptr<TTask>> Tasks;
  std::vector<int64_t> Sums(4, 0);  // plain memory: published by the status change
  std::atomic<int> T1{-1};
  for (int t = 0; t < 4; t++) {
    Tasks.push_back(std::make_unique<TTask>());
    Tasks.back()->Perform([&] {
      const int Me = ++T1;
      for (int k = 1; k <= 100000; k++) Sums[size_t(Me)] += k;
    });
  }
  for (int Round = 1; Round <= 20 / SanitizerDivisor + 2; Round++) {
    T1 = -1;
    for (auto& T : Tasks) T->Start();
    WaitForAll(Tasks);
    for (int64_t S : Sums) ASSERT_EQ(S, int64_t(Round) * 5000050000);
  }
}

TEST(TTask, AnEscapingErrorReachesTheWaiter) {
  TTask Failing, Slow;
  std::atomic<bool> SlowDone{false};
  Failing.Perform([] { throw std::runtime_error("worker failed"); });
  Slow.Perform([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    SlowDone = true;
  });
  Failing.Start();
  Slow.Start();
  EXPECT_THROW(WaitForAll(std::vector<TTask*>{&Failing, &Slow}), std::runtime_error);
  EXPECT_TRUE(SlowDone.load());  // the others were waited for first
  EXPECT_EQ(Failing.Status(), tsPaused);

  // The task stays usable, and the error is reported once.
  int Runs = 0;
  Failing.Perform([&] { Runs++; });
  Failing.Start();
  EXPECT_NO_THROW(Failing.Wait());
  EXPECT_EQ(Runs, 1);
}

TEST(TTask, DestroyLetsAStartedRunFinish) {
  std::atomic<int> Runs{0};
  for (int i = 0; i < 50; i++) {
    TTask T;  // destroyed before its new thread may even have looked
    T.Perform([&] { Runs++; });
    T.Start();
  }
  EXPECT_EQ(Runs.load(), 50);
  std::atomic<bool> Finished{false};
  {
    TTask T;
    T.Perform([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      Finished = true;
    });
    T.Start();
  }
  EXPECT_TRUE(Finished.load());
  TTask NeverStarted;  // destroying it must not hang either
}

}  // namespace
