#include <gtest/gtest.h>

#include <csignal>
#include <thread>

#include "common/process.h"

namespace tarn {
namespace {

// A waiter on one thread and a terminate on another, racing against the child's own end: the
// waiter always returns and gets either the child's own status or the signal that ended it.
TEST(ChildProcessRace, TerminateRacingTheEndOfTheChild) {
  for (int round = 0; round < 20; ++round) {
    ChildProcess child = ChildProcess::start({"sh", "-c", "exit 4"});
    ASSERT_TRUE(child.started());
    int status = -1;
    std::thread waiter([&] { status = child.wait(); });
    std::thread stopper([&] { child.terminate(); });
    stopper.join();
    waiter.join();
    EXPECT_TRUE(status == 4 || status == 128 + SIGTERM || status == 128 + SIGKILL) << status;
    child.terminate();  // after the reap: nothing
  }
}

}  // namespace
}  // namespace tarn
