#include "core/thread_sync.h"

#include <gtest/gtest.h>

#include <deque>
#include <thread>
#include <vector>

// Hand-overs between threads through the lock and condition: nothing lost,
// nothing taken twice, no wake missed (a missed one hangs the test).
TEST(ThreadSync, ProducersAndConsumersHandOverEveryItemOnce)
{
    TLock lock;
    TCondition more, room;
    std::deque<int> queue;
    constexpr int PerProducer = 3000, Producers = 2, Consumers = 3, Room = 4;
    std::vector<int> seen(PerProducer * Producers, 0);
    int taken = 0;
    std::vector<std::thread> threads;
    for (int p = 0; p < Producers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < PerProducer; ++i) {
                std::unique_lock<TLock> guard(lock);
                room.wait(guard, [&] { return queue.size() < Room; });
                queue.push_back(p * PerProducer + i);
                more.notify_one();
            }
        });
    for (int c = 0; c < Consumers; ++c)
        threads.emplace_back([&] {
            for (;;) {
                std::unique_lock<TLock> guard(lock);
                more.wait(guard, [&] { return !queue.empty() || taken == PerProducer * Producers; });
                if (queue.empty()) return;
                ++seen[queue.front()];
                queue.pop_front();
                if (++taken == PerProducer * Producers) more.notify_all();
                room.notify_all();
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(taken, PerProducer * Producers);
    for (int count : seen) ASSERT_EQ(count, 1);
}
