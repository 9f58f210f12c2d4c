// The manager's thread-safe list: its duplicates policy, removal by identity,
// items released under the lock, and adds from several threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "Tembro.Audio.FMOD.ThreadList.h"

using namespace Tembro::Audio::FMOD;

TEST(ThreadListTest, TheListsOwnAddFollowsTheDuplicatesPolicyAndTheLockedAddAppends) {
  struct TCase {
    TTembroDuplicates Policy;
    std::int32_t CountAfterTwoAdds;
    bool Throws;
  };
  for (const TCase& Case : {TCase{TTembroDuplicates::Ignore, 1, false}, TCase{TTembroDuplicates::Accept, 2, false},
                            TCase{TTembroDuplicates::Error, 1, true}}) {
    SCOPED_TRACE(static_cast<int>(Case.Policy));
    TTembroThreadList<std::shared_ptr<int>> List;
    List.SetDuplicates(Case.Policy);
    const auto Item = std::make_shared<int>(7);
    List.Add(Item);
    if (Case.Throws)
      EXPECT_THROW(List.Add(Item), std::invalid_argument);
    else
      List.Add(Item);
    EXPECT_EQ(List.Count(), Case.CountAfterTwoAdds);
    List.LockList().Add(Item);  // the inner list's append never tests
    EXPECT_EQ(List.Count(), Case.CountAfterTwoAdds + 1);
  }
  EXPECT_EQ(TTembroThreadList<int>().Duplicates(), TTembroDuplicates::Ignore);
}

TEST(ThreadListTest, RemoveTakesOnlyTheFirstEqualItemAndClearReleasesEverything) {
  TTembroThreadList<std::shared_ptr<int>> List;
  List.SetDuplicates(TTembroDuplicates::Accept);
  const auto A = std::make_shared<int>(1), B = std::make_shared<int>(1);
  List.Add(A);
  List.Add(B);
  List.Add(A);
  EXPECT_FALSE(List.Remove(std::make_shared<int>(1)));  // equal value, other object
  EXPECT_TRUE(List.Remove(A));
  {
    auto Locked = List.LockList();
    ASSERT_EQ(Locked.Count(), 2);
    EXPECT_EQ(Locked[0], B);
    EXPECT_EQ(Locked[1], A);
  }
  EXPECT_EQ(A.use_count(), 2);
  List.Clear();
  EXPECT_EQ(List.Count(), 0);
  EXPECT_EQ(A.use_count(), 1);
  EXPECT_EQ(B.use_count(), 1);
}

// An item that, while it is destroyed, lets another thread try to get into
// the list.
struct TProbe {
  TTembroThreadList<std::shared_ptr<TProbe>>* List;
  std::future<std::int32_t>* Attempt;
  bool* OtherThreadGotIn;
  ~TProbe() {
    *Attempt = std::async(std::launch::async, [AList = List] { return AList->Count(); });
    *OtherThreadGotIn = Attempt->wait_for(std::chrono::milliseconds(100)) == std::future_status::ready;
  }
};

TEST(ThreadListTest, ClearReleasesTheItemsWhileTheLockIsHeld) {
  TTembroThreadList<std::shared_ptr<TProbe>> List;
  std::future<std::int32_t> Attempt;
  bool OtherThreadGotIn = true;
  auto Probe = std::make_shared<TProbe>(TProbe{&List, &Attempt, &OtherThreadGotIn});
  List.Add(Probe);
  Probe.reset();
  List.Clear();
  EXPECT_FALSE(OtherThreadGotIn);
  EXPECT_EQ(Attempt.get(), 0);  // once the lock was free it got in, and found the list empty
}

TEST(ThreadListTest, ConcurrentAddsAreNeitherLostNorDoubled) {
  TTembroThreadList<std::shared_ptr<int>> List;
  const auto Shared = std::make_shared<int>(0);
  std::vector<std::thread> Threads;
  for (int T = 0; T < 4; ++T)
    Threads.emplace_back([&] {
      for (int I = 0; I < 500; ++I) {
        List.Add(std::make_shared<int>(I));
        List.Add(Shared);  // listed once, however many threads try
      }
    });
  for (std::thread& Thread : Threads) Thread.join();
  EXPECT_EQ(List.Count(), 4 * 500 + 1);
}
