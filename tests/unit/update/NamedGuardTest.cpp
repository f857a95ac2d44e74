#include "x11/NamedGuard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

using x11window::NamedGuard;

std::string uniqueName() {
    return "KavriPalomine-unit-" + std::to_string(::getpid());
}

TEST(NamedGuard, OneHolderAtATimeAndReleasedOnDestruction) {
    const std::string name = uniqueName();
    {
        NamedGuard first(name);
        ASSERT_EQ(first.acquire(), NamedGuard::Result::Acquired);
        NamedGuard second(name);
        EXPECT_EQ(second.acquire(), NamedGuard::Result::HeldElsewhere);
        EXPECT_FALSE(second.held());
    }
    NamedGuard again(name);
    EXPECT_EQ(again.acquire(), NamedGuard::Result::Acquired);
}

TEST(NamedGuard, HolderKilledLeavesNoStaleGuard) {
    const std::string name = uniqueName() + "-crash";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        NamedGuard held(name);
        const char ok = held.acquire() == NamedGuard::Result::Acquired ? '1' : '0';
        (void)::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    NamedGuard probe(name);
    EXPECT_EQ(probe.acquire(), NamedGuard::Result::HeldElsewhere);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(probe.acquire(), NamedGuard::Result::Acquired);
    ::close(ready[0]);
    ::close(ready[1]);
}

} // namespace
