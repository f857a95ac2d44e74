#include "Process.h"
#include "ManualResetEvent.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

osplat::ProcessOptions run(std::vector<std::string> argv, int idleLimitMs = 3000) {
    osplat::ProcessOptions o;
    o.argv = std::move(argv);
    o.idleLimitMs = idleLimitMs;
    return o;
}

TEST(Process, PassesArgumentsVerbatimWithoutAShell) {
    const auto r = osplat::runProcess(
        run({"/usr/bin/printf", "%s|", "a b", "it's \"q\"", "$HOME;rm -rf x", "*"}));
    EXPECT_TRUE(r.succeeded());
    EXPECT_EQ(r.output, "a b|it's \"q\"|$HOME;rm -rf x|*|");
}

TEST(Process, HandsBackExitStatusAndCapturesStandardError) {
    const auto r = osplat::runProcess(run({"/bin/sh", "-c", "echo oops >&2; exit 3"}));
    EXPECT_TRUE(r.started);
    EXPECT_FALSE(r.ended);
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.output, "oops\n");
    EXPECT_FALSE(r.succeeded());
}

TEST(Process, MissingProgramIsNotStarted) {
    TempDir dir;
    const auto r = osplat::runProcess(run({dir.file("adb_help")}));
    EXPECT_FALSE(r.started);
    EXPECT_FALSE(r.succeeded());
}

TEST(Process, StandardInputIsEmpty) {
    const auto r = osplat::runProcess(run({"/bin/cat"}, 2000));
    EXPECT_TRUE(r.succeeded()); // cat ends at once instead of waiting for a terminal
}

TEST(Process, UsesGivenEnvironmentAndWorkingFolder) {
    TempDir dir;
    auto o = run({"/bin/sh", "-c", "echo \"$KESTROVA_X\"; pwd"});
    o.environment = std::vector<std::string>{"KESTROVA_X=in env", "PATH=/usr/bin:/bin"};
    o.workingFolder = dir.path();
    const auto r = osplat::runProcess(o);
    EXPECT_EQ(r.output, "in env\n" + dir.path() + "\n");
}

TEST(Process, IdleChildIsEndedAndReaped) {
    const auto start = Clock::now();
    const auto r = osplat::runProcess(run({"/bin/sleep", "30"}, 300));
    const auto took = Clock::now() - start;
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 3s);
    // Nothing is left to reap: the child was waited for.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

TEST(Process, ChildIgnoringTermIsKilled) {
    auto o = run({"/bin/sh", "-c", "trap '' TERM; while :; do sleep 0.05; done"}, 200);
    o.termGraceMs = 200;
    const auto r = osplat::runProcess(o);
    EXPECT_TRUE(r.ended);
    EXPECT_EQ(r.signal, SIGKILL);
}

TEST(Process, ProgressKeepsAChildAliveUntilItStops) {
    // Progress for the first 600 ms, then none: the child outlives the 250 ms limit while it
    // progresses and is ended once it stalls.
    const auto start = Clock::now();
    auto o = run({"/bin/sleep", "30"}, 250);
    o.progressed = [start] { return Clock::now() - start < 600ms; };
    const auto r = osplat::runProcess(o);
    const auto took = Clock::now() - start;
    EXPECT_TRUE(r.ended);
    EXPECT_GE(took, 800ms);
    EXPECT_LT(took, 5s);
}

TEST(Process, CancelEndsTheChildAtOnce) {
    std::atomic<int> cancel{0};
    auto o = run({"/bin/sleep", "30"}, 0);
    o.cancel = &cancel;
    std::thread t([&] {
        std::this_thread::sleep_for(100ms);
        cancel = 1;
    });
    const auto start = Clock::now();
    const auto r = osplat::runProcess(o);
    t.join();
    EXPECT_TRUE(r.cancelled);
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST(ManualResetEvent, StaysSetUntilResetAndReleasesEveryWaiter) {
    osplat::ManualResetEvent e;
    EXPECT_FALSE(e.waitFor(10ms));
    std::atomic<int> released{0};
    std::thread a([&] { e.wait(), ++released; });
    std::thread b([&] { e.wait(), ++released; });
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(released, 0);
    e.set();
    a.join();
    b.join();
    EXPECT_EQ(released, 2);
    EXPECT_TRUE(e.waitFor(0ms)); // still set
    e.reset();
    EXPECT_FALSE(e.isSet());
}

} // namespace
