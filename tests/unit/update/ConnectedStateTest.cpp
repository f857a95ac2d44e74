#include "net/Internet.h"

#include <gtest/gtest.h>

namespace {

using net::InterfaceInfo;

struct StateCase {
    const char* name;
    std::vector<InterfaceInfo> interfaces;
    bool hostIsLoopback;
    bool connected;
};

class ConnectedStateTest : public ::testing::TestWithParam<StateCase> {};

TEST_P(ConnectedStateTest, Decides) {
    const StateCase& c = GetParam();
    const net::ConnectedState s = net::connectedStateFrom(c.interfaces, c.hostIsLoopback, false);
    EXPECT_EQ(s.connected, c.connected);
    EXPECT_EQ((s.flags & net::kConnectionOffline) != 0, !c.connected);
}

const InterfaceInfo lo{"lo", true, true};
const InterfaceInfo ethUp{"eth0", true, false};
const InterfaceInfo ethDown{"eth0", false, false};

INSTANTIATE_TEST_SUITE_P(
    Interfaces, ConnectedStateTest,
    ::testing::Values(StateCase{"OutsideLinkUp", {lo, ethUp}, false, true},
                      StateCase{"OnlyLoopbackRemoteHost", {lo, ethDown}, false, false},
                      // A test machine with loopback alone still reaches a local server.
                      StateCase{"OnlyLoopbackLocalHost", {lo, ethDown}, true, true},
                      StateCase{"NothingUp", {}, true, false}),
    [](const ::testing::TestParamInfo<StateCase>& info) { return std::string(info.param.name); });

TEST(LoopbackHost, RecognisesLoopbackForms) {
    for (const char* host : {"127.0.0.1", "127.0.0.1:8080", "127.1.2.3", "localhost:80", "[::1]:81",
                             "::1", "LOCALHOST"}) {
        EXPECT_TRUE(net::isLoopbackHost(host)) << host;
    }
    for (const char* host : {"update.example", "128.0.0.1", "10.0.0.1:80", "127.example"}) {
        EXPECT_FALSE(net::isLoopbackHost(host)) << host;
    }
}

TEST(HostOfUrl, TakesAuthority) {
    EXPECT_EQ(net::hostOfUrl("http://127.0.0.1:9/a/b?c"), "127.0.0.1:9");
    EXPECT_EQ(net::hostOfUrl("https://u:p@host/x"), "host");
    EXPECT_EQ(net::hostOfUrl("http://host"), "host");
}

} // namespace
