// The update check and the installer download against a server on 127.0.0.1.
#include "LoopbackPort.h"
#include "TestHttpServer.h"
#include "net/Internet.h"
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

using namespace std::chrono_literals;

std::string manifestWith(const std::string& key, const std::string& newest) {
    return "{\"" + key + R"(":[{"Version":"1","Nversion":")" + newest +
           R"(","Update_URL":"http://127.0.0.1/x"}]})";
}

class UpdateCheckTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start(60s)); }
    teststand::TestHttpServer server;
};

TEST_F(UpdateCheckTest, ComparesTheProductsEntry) {
    server.setRoute(update::kManifestPath,
                    {200, manifestWith("Kestrova", "1.0.0.2") + "\n// " + manifestWith("x", "y")});
    const auto newer = update::checkForUpdate("Kestrova", "1.0.0.1", server.hostAndPort());
    EXPECT_EQ(newer.status, update::CheckStatus::UpdateAvailable);
    EXPECT_EQ(newer.entry.newestVersion, "1.0.0.2");
    EXPECT_TRUE(update::newVersionAvailable("1.0.0.1", server.hostAndPort()));
    EXPECT_FALSE(update::newVersionAvailable("1.0.0.2", server.hostAndPort()));
    // The updater follows its own entry: missing here, so empty against empty is up to date.
    EXPECT_EQ(update::checkForUpdate("Palomine", "", server.hostAndPort()).status,
              update::CheckStatus::UpToDate);
}

TEST_F(UpdateCheckTest, MissingEntryOffersUpdateAgainstDefaultVersion) {
    server.setRoute(update::kManifestPath, {200, manifestWith("Palomine", "9")});
    EXPECT_TRUE(update::newVersionAvailable("1.0.0.1", server.hostAndPort()));
}

TEST_F(UpdateCheckTest, OnlyTheFirst1024BytesAreRead) {
    // The entry sits past the first read, so it is never seen.
    server.setRoute(update::kManifestPath,
                    {200, std::string(1024, ' ') + manifestWith("Kestrova", "1.0.0.1")});
    const auto r = update::checkForUpdate("Kestrova", "1.0.0.1", server.hostAndPort());
    EXPECT_EQ(r.status, update::CheckStatus::UpdateAvailable);
    EXPECT_EQ(r.entry.newestVersion, "");
}

TEST_F(UpdateCheckTest, FailuresAreSilent) {
    // An error page is not a manifest: without this, Kestrova would offer an update on a 404.
    EXPECT_EQ(update::checkForUpdate("Kestrova", "1.0.0.1", server.hostAndPort()).status,
              update::CheckStatus::OpenFailed);
    EXPECT_FALSE(update::newVersionAvailable("1.0.0.1", server.hostAndPort()));
    const std::string refused = "127.0.0.1:" + std::to_string(testsupport::refusedLoopbackPort());
    EXPECT_EQ(update::checkForUpdate("Kestrova", "1.0.0.1", refused).status,
              update::CheckStatus::OpenFailed);
    EXPECT_FALSE(update::newVersionAvailable("1.0.0.1", refused));
    server.setRoute(update::kManifestPath, {200, ""});
    EXPECT_EQ(update::checkForUpdate("Kestrova", "1.0.0.1", server.hostAndPort()).status,
              update::CheckStatus::ReadFailed);
}

// Records what the download hands over, chunk by chunk.
class RecordingSink : public net::DownloadSink {
public:
    bool begin(std::int64_t length) override {
        begun = true;
        announced = length;
        return acceptBegin;
    }
    bool chunk(const char* data, std::size_t size, bool last) override {
        sizes.push_back(size);
        lastSeen = last;
        bytes.append(data, size);
        return bytes.size() <= failAfter;
    }
    bool acceptBegin = true;
    std::size_t failAfter = std::string::npos;
    bool begun = false;
    bool lastSeen = false;
    std::int64_t announced = -2;
    std::vector<std::size_t> sizes;
    std::string bytes;
};

std::string pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>('a' + i % 26);
    }
    return s;
}

struct DownloadCase {
    const char* name;
    teststand::Route route;
    net::DownloadOutcome outcome;
    std::vector<std::size_t> chunkSizes; // what the sink saw, when the download began
};

void PrintTo(const DownloadCase& c, std::ostream* os) {
    *os << c.name;
}

class DownloadTest : public UpdateCheckTest, public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(DownloadTest, HandsOverChunksAndReportsOutcome) {
    const DownloadCase& c = GetParam();
    server.setRoute("/setup.exe", c.route);
    RecordingSink sink;
    net::TransferGate gate;
    const auto r = net::download(server.url("/setup.exe"), sink, gate);
    EXPECT_EQ(r.outcome, c.outcome) << r.error;
    EXPECT_EQ(sink.sizes, c.chunkSizes);
    if (c.outcome == net::DownloadOutcome::Complete) {
        EXPECT_EQ(sink.bytes, c.route.body);
        EXPECT_TRUE(sink.lastSeen);
        EXPECT_EQ(sink.announced, static_cast<std::int64_t>(c.route.body.size()));
    }
}

teststand::Route body(std::size_t n) {
    return {200, pattern(n)};
}
teststand::Route cut(std::size_t n, std::size_t after) {
    teststand::Route r{200, pattern(n)};
    r.cutAfter = after;
    return r;
}

INSTANTIATE_TEST_SUITE_P(
    Installers, DownloadTest,
    ::testing::Values(
        // The final read of a multiple of 1024 returns nothing more.
        DownloadCase{
            "MultipleOf1024", body(3072), net::DownloadOutcome::Complete, {1024, 1024, 1024, 0}},
        DownloadCase{"Below1024", body(700), net::DownloadOutcome::Complete, {700}},
        DownloadCase{"OddLength", body(2500), net::DownloadOutcome::Complete, {1024, 1024, 452}},
        DownloadCase{"EmptyBody", body(0), net::DownloadOutcome::Complete, {0}},
        DownloadCase{"NotFound", {404, "missing"}, net::DownloadOutcome::NotStarted, {}},
        DownloadCase{"NoContent", {204, ""}, net::DownloadOutcome::Complete, {0}},
        // A transfer cut before its Content-Length is broken, never a finished download.
        DownloadCase{
            "CutMidway", cut(5000, 2100), net::DownloadOutcome::NetworkError, {1024, 1024}},
        DownloadCase{"CutOnChunkBoundary",
                     cut(4096, 2048),
                     net::DownloadOutcome::NetworkError,
                     {1024, 1024}}),
    [](const ::testing::TestParamInfo<DownloadCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(UpdateCheckTest, DownloadFailures) {
    RecordingSink sink;
    net::TransferGate gate;
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(testsupport::refusedLoopbackPort()) + "/a";
    EXPECT_EQ(net::download(refused, sink, gate).outcome, net::DownloadOutcome::NetworkError);
    EXPECT_EQ(net::download("ftp://127.0.0.1/a", sink, gate).outcome,
              net::DownloadOutcome::BadScheme);
    EXPECT_FALSE(sink.begun);

    server.setRoute("/a", body(4000));
    RecordingSink refuses;
    refuses.acceptBegin = false; // the installer file cannot be created
    EXPECT_EQ(net::download(server.url("/a"), refuses, gate).outcome,
              net::DownloadOutcome::NotStarted);
    RecordingSink full;
    full.failAfter = 1024; // the disk fills after one chunk
    EXPECT_EQ(net::download(server.url("/a"), full, gate).outcome,
              net::DownloadOutcome::NetworkError);
}

TEST_F(UpdateCheckTest, PausedTransferHoldsThenResumesOrStops) {
    teststand::Route slow{200, pattern(40 * 1024)};
    slow.slicePause = 20ms;
    server.setRoute("/slow", slow);

    for (const bool stopIt : {false, true}) {
        RecordingSink sink;
        net::TransferGate gate;
        net::DownloadResult result;
        std::thread worker([&] { result = net::download(server.url("/slow"), sink, gate); });
        std::this_thread::sleep_for(150ms);
        ASSERT_TRUE(gate.pause());
        EXPECT_FALSE(gate.pause()); // a second pause finds it held already
        std::this_thread::sleep_for(100ms);
        const std::size_t held = sink.bytes.size();
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(sink.bytes.size(), held) << "no bytes pass a closed gate";
        if (stopIt) {
            gate.stop();
        } else {
            gate.resume();
        }
        worker.join();
        if (stopIt) {
            EXPECT_EQ(result.outcome, net::DownloadOutcome::Stopped);
            EXPECT_LT(sink.bytes.size(), slow.body.size());
        } else {
            EXPECT_EQ(result.outcome, net::DownloadOutcome::Complete) << result.error;
            EXPECT_EQ(sink.bytes, slow.body);
        }
    }
}

TEST_F(UpdateCheckTest, StalledTransferEndsAsNetworkError) {
    teststand::Route stall{200, pattern(4096)};
    stall.slice = 1024;
    stall.slicePause = 3s;
    server.setRoute("/stall", stall);
    RecordingSink sink;
    net::TransferGate gate;
    net::DownloadOptions options;
    options.stallTimeoutSeconds = 1;
    EXPECT_EQ(net::download(server.url("/stall"), sink, gate, options).outcome,
              net::DownloadOutcome::NetworkError);
}

// A server that takes the connection and never answers: closing the program must not wait
// for the check's 30-second time-out.
TEST(UpdateCheckCancel, SilentServerIsLeftWhenCancelled) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 4), 0); // the kernel completes the handshake; nobody reads
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    const std::string host = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));

    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        cancel = true;
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(update::newVersionAvailable("1.0.0.1", host, &cancel));
    const auto took = std::chrono::steady_clock::now() - started;
    canceller.join();
    ::close(fd);
    EXPECT_LT(took, 5s);
}

} // namespace
