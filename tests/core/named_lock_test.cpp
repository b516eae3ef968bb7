#include "core/named_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace winorvex {
namespace {

TEST(CEGalMutex, SameNameIsOneLockAcrossObjectsAndThreads) {
    CEGalMutex mine("NamedLockTest.Shared");
    CEGalMutex other("NamedLockTest.Shared");
    CEGalMutex unrelated("NamedLockTest.Unrelated");
    ASSERT_TRUE(mine.Lock(0));

    std::atomic<int> otherResult{-1};
    std::atomic<int> unrelatedResult{-1};
    std::thread t([&] {
        otherResult = other.Lock(0) ? 1 : 0;
        unrelatedResult = unrelated.Lock(0) ? 1 : 0;
        if (unrelatedResult == 1) unrelated.Unlock();
    });
    t.join();
    EXPECT_EQ(otherResult, 0);
    EXPECT_EQ(unrelatedResult, 1);
    EXPECT_TRUE(mine.Unlock());
}

TEST(CEGalMutex, WaiterGetsTheLockWhenReleasedFromAnotherThread) {
    CEGalMutex holder("NamedLockTest.Handover");
    CEGalMutex waiter("NamedLockTest.Handover");
    ASSERT_TRUE(holder.Lock(0));

    std::atomic<bool> started{false};
    std::atomic<int> result{-1};
    std::thread t([&] {
        started = true;
        result = waiter.Lock(60000) ? 1 : 0;
        if (result == 1) waiter.Unlock();
    });
    ASSERT_TRUE(test::WaitFor([&] { return started.load(); }));
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(holder.Unlock());
    t.join();
    EXPECT_EQ(result, 1);
}

TEST(CEGalMutex, TimesOutWhileHeldElsewhere) {
    CEGalMutex holder("NamedLockTest.Timeout");
    ASSERT_TRUE(holder.Lock(0));
    std::atomic<int> result{-1};
    std::thread t([&] {
        CEGalMutex waiter("NamedLockTest.Timeout");
        result = waiter.Lock(30) ? 1 : 0;
    });
    t.join();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(holder.Unlock());
}

TEST(CEGalMutex, OwningThreadMayTakeItAgainAndOnlyItMayRelease) {
    CEGalMutex lock("NamedLockTest.Nested");
    ASSERT_TRUE(lock.Lock(0));
    ASSERT_TRUE(lock.Lock(0));

    std::atomic<int> foreignUnlock{-1};
    std::thread([&] { foreignUnlock = lock.Unlock() ? 1 : 0; }).join();
    EXPECT_EQ(foreignUnlock, 0);

    EXPECT_TRUE(lock.Unlock());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(lock.Unlock()) << "more releases than holds";

    CEGalMutex never("NamedLockTest.Never");
    EXPECT_FALSE(never.Unlock());
}

TEST(CEGalMutex, ObjectGoingAwayGivesBackItsHolds) {
    CEGalMutex survivor("NamedLockTest.Scope");
    {
        CEGalMutex scoped("NamedLockTest.Scope");
        ASSERT_TRUE(scoped.Lock(0));
    }
    std::atomic<int> result{-1};
    std::thread([&] { result = survivor.Lock(0) ? 1 : 0; }).join();
    EXPECT_EQ(result, 1);
}

TEST(CEGalMutex, ExcludesManyThreadsSharingOneObject) {
    CResourceMutex shared("NamedLockTest.Counter");
    EXPECT_EQ(shared.Name(), "NamedLockTest.Counter");
    int inside = 0;
    int maxInside = 0;
    long total = 0;
    std::vector<std::thread> threads;
    // Few rounds: every contended take pauses 20 ms while holding the lock.
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i) {
                ASSERT_TRUE(shared.Lock(-1));
                maxInside = std::max(maxInside, ++inside);
                ++total;
                --inside;
                ASSERT_TRUE(shared.Unlock());
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(maxInside, 1);
    EXPECT_EQ(total, 30);
}

}  // namespace
}  // namespace winorvex
