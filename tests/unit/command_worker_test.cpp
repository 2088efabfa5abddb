// The busy guard: one worker at a time, released on every way out, joined on destruction.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

#include "app/command_worker.h"

using namespace tarnel;

TEST(CommandWorker, SecondCommandIsRefusedWhileOneRuns) {
    std::atomic<bool> busy{false};
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    int runs = 0;
    {
        CommandWorker worker(busy);
        ASSERT_TRUE(worker.start([&] {
            std::unique_lock lock(m);
            ++runs;
            cv.wait(lock, [&] { return release; });
        }));
        EXPECT_TRUE(busy.load()) << "claimed before the worker runs";
        EXPECT_FALSE(worker.start([&] { ++runs; }));
        EXPECT_FALSE(worker.run([&] { ++runs; }));
        {
            std::lock_guard lock(m);
            release = true;
        }
        cv.notify_all();
        worker.wait();
        EXPECT_FALSE(busy.load());
        EXPECT_TRUE(worker.start([&] { ++runs; }));
    }  // destruction joins the second worker
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(busy.load());
}

TEST(CommandWorker, GuardIsReleasedWhenTheBodyThrows) {
    std::atomic<bool> busy{false};
    CommandWorker worker(busy);
    EXPECT_THROW(worker.run([] { throw std::runtime_error("line cut"); }), std::runtime_error);
    EXPECT_FALSE(busy.load());
    int runs = 0;
    EXPECT_TRUE(worker.run([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
}
