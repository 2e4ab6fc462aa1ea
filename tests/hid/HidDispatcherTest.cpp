#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "hid/PumpedHidDispatcher.h"

namespace {

using namespace std::chrono_literals;

TEST(HidDispatcher, ReaderBlocksUntilTheCallRanOnTheUiThread) {
    PumpedHidDispatcher dispatcher;
    std::atomic<bool> returned{false};
    std::thread::id ran_on;
    std::thread reader([&] {
        dispatcher.synchronize([&] { ran_on = std::this_thread::get_id(); });
        returned = true;
    });
    ASSERT_TRUE(dispatcher.wait_for_work(10s));
    EXPECT_FALSE(returned.load());  // still waiting: nothing has run the call
    EXPECT_EQ(dispatcher.run_pending(), 1u);
    reader.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(HidDispatcher, FailureOfTheCallIsCarriedBackToTheReader) {
    PumpedHidDispatcher dispatcher;
    std::exception_ptr error;
    std::thread reader(
        [&] { error = dispatcher.synchronize([] { throw std::runtime_error("handler"); }); });
    ASSERT_EQ(dispatcher.run_next(10s), 1u);
    reader.join();
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
}

TEST(HidDispatcher, UiThreadRunsItsOwnCallAtOnce) {
    PumpedHidDispatcher dispatcher;
    int ran = 0;
    EXPECT_FALSE(dispatcher.synchronize([&] { ++ran; }));
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(dispatcher.run_pending(), 0u);
}

TEST(HidDispatcher, WaitingForAThreadRunsTheCallsItQueued) {
    PumpedHidDispatcher dispatcher;
    std::atomic<bool> finished{false};
    int ran = 0;
    std::thread reader([&] {
        for (int i = 0; i < 3; ++i) dispatcher.synchronize([&] { ++ran; });
        finished = true;
        dispatcher.notify();
    });
    dispatcher.run_until([&] { return finished.load(); });
    reader.join();
    EXPECT_EQ(ran, 3);
}

}  // namespace
