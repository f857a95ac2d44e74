// The real bridge client (the program folder's adb_help) against the emulated phone on
// 127.0.0.1: every test points the client at its own phone through ADB_SERVER_SOCKET, with
// HOME in a temporary folder and no ANDROID_SERIAL, so no real device or server is reached.
#include "LoopbackPort.h"
#include "Process.h"
#include "RecoveryState.h"
#include "Text.h"
#include "tools/samplephone/SamplePhone.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sqlite3.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

const std::string kProgramDir = KESTROVA_PROGRAM_DIR;

int liveContactsIn(const std::string& path) {
    sqlite3* db = nullptr;
    int n = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM raw_contacts", -1, &st, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return n;
}

std::string readFile(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The emulated phone as a child process on a free loopback port.
class EmuPhone {
public:
    bool start(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        std::vector<std::string> argv = {kProgramDir + "/kestrova-emuphone", "--port", "0"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> ptrs;
        for (auto& a : argv)
            ptrs.push_back(a.data());
        ptrs.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        const int rc = ::posix_spawn(&pid_, ptrs[0], &fa, nullptr, ptrs.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            pid_ = -1;
            return false;
        }
        // "port N" on the first line.
        std::string line;
        const auto until = Clock::now() + 20s;
        while (line.find('\n') == std::string::npos && Clock::now() < until) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 100) > 0) {
                char c[64];
                const ssize_t n = ::read(fds[0], c, sizeof c);
                if (n <= 0)
                    break;
                line.append(c, std::size_t(n));
            }
        }
        ::close(fds[0]);
        return std::sscanf(line.c_str(), "port %d", &port_) == 1;
    }
    ~EmuPhone() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

class Reporter : public core::WorkerReporter {
public:
    void setProgress(int) override {}
    void setCategory(const std::string&, int) override {}
    void showButton(int, bool) override {}
    void postDone(int message, std::intptr_t wParam, std::intptr_t) override {
        std::lock_guard<std::mutex> lock(m_);
        messages.push_back({message, wParam});
        cv_.notify_all();
    }
    bool wait(std::size_t count, std::chrono::milliseconds limit = 60s) {
        std::unique_lock<std::mutex> lock(m_);
        return cv_.wait_for(lock, limit, [&] { return messages.size() >= count; });
    }
    std::vector<std::pair<int, std::intptr_t>> messages;

private:
    std::mutex m_;
    std::condition_variable cv_;
};

class Acquisition : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sampleDir_ = new std::string((fs::temp_directory_path() / "acq-sample-XXXXXX").string());
        ASSERT_NE(::mkdtemp(sampleDir_->data()), nullptr);
        kestrova::samplephone::Options o;
        o.outDir = *sampleDir_;
        std::string error;
        sample_ = new kestrova::samplephone::Result;
        ASSERT_TRUE(kestrova::samplephone::generate(o, *sample_, error)) << error;
    }
    static void TearDownTestSuite() {
        fs::remove_all(*sampleDir_);
        delete sampleDir_;
        delete sample_;
    }

    void SetUp() override {
        std::string t = (fs::temp_directory_path() / "acq-XXXXXX").string();
        ASSERT_NE(::mkdtemp(t.data()), nullptr);
        dir_ = t;
        fs::create_directories(dir_ + "/home");
    }
    void TearDown() override {
        state_.reset();
        phone_.reset();
        fs::remove_all(dir_);
    }

    bool startPhone(const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"--contacts", sample_->contactsPath, "--sms",
                                         sample_->smsPath};
        args.insert(args.end(), extra.begin(), extra.end());
        phone_ = std::make_unique<EmuPhone>();
        if (!phone_->start(args))
            return false;
        port_ = phone_->port();
        return true;
    }

    // A state whose bridge client talks to 127.0.0.1:port_ only.
    core::RecoveryState& makeState(const std::string& programDir = kProgramDir) {
        state_ = std::make_unique<core::RecoveryState>(dir_ + "/copies", programDir);
        auto env = osplat::currentEnvironment();
        osplat::setEnvironmentEntry(env, "ADB_SERVER_SOCKET",
                                    ("tcp:127.0.0.1:" + std::to_string(port_)).c_str());
        osplat::setEnvironmentEntry(env, "HOME", (dir_ + "/home").c_str());
        osplat::setEnvironmentEntry(env, "ANDROID_SERIAL", nullptr);
        osplat::setEnvironmentEntry(env, "ANDROID_ADB_SERVER_PORT", nullptr);
        state_->setChildEnvironment(env);
        return *state_;
    }

    // Runs the acquisition worker as the window does; returns whether a copy exists.
    bool acquire(core::RecoveryState& s, Reporter& r) {
        EXPECT_TRUE(s.startAcquisition(r, 10));
        EXPECT_TRUE(r.wait(1));
        s.joinWorker();
        EXPECT_EQ(r.messages.at(0),
                  (std::pair<int, std::intptr_t>{core::AcquisitionDoneMessage, 1}));
        return s.copyExists();
    }

    static std::string* sampleDir_;
    static kestrova::samplephone::Result* sample_;
    std::string dir_;
    int port_ = 0;
    std::unique_ptr<EmuPhone> phone_;
    std::unique_ptr<core::RecoveryState> state_;
};

std::string* Acquisition::sampleDir_ = nullptr;
kestrova::samplephone::Result* Acquisition::sample_ = nullptr;

TEST_F(Acquisition, WholeRunCopiesByteForByteAndFindsLiveAndDeletedContacts) {
    ASSERT_TRUE(startPhone({"--log", dir_ + "/requests.log"}));
    auto& s = makeState();
    Reporter r;
    ASSERT_TRUE(acquire(s, r));
    EXPECT_EQ(readFile(s.contactCopyPath()), readFile(sample_->contactsPath));
    // What the phone was asked, service by service.
    std::string services;
    std::istringstream log(readFile(dir_ + "/requests.log"));
    for (std::string line; std::getline(log, line);)
        if (line.rfind("host:", 0) != 0)
            services += line + "\n";
    EXPECT_EQ(services, "shell:su root chmod 777 "
                        "/data/data/com.android.providers.contacts/databases/contacts2.db\n"
                        "shell:su root chmod 777 "
                        "/data/data/com.android.providers.telephony/databases/mmssms.db\n"
                        "sync:\n"
                        "STAT /data/data/com.android.providers.contacts/databases/contacts2.db\n"
                        "RECV /data/data/com.android.providers.contacts/databases/contacts2.db\n");
    EXPECT_FALSE(fs::exists(s.contactCopyPath() + ".part"));
    EXPECT_FALSE(fs::exists(s.messageCopyPath())); // the telephony database is never copied
    for (const auto& result : s.lastAcquisition()->lastResults())
        EXPECT_TRUE(result.succeeded()) << result.output;

    s.runEngines();
    ASSERT_TRUE(s.startScan(r));
    ASSERT_TRUE(r.wait(2));
    s.joinWorker();

    int live = 0;
    for (const ContactRecord* c = s.contactList; c; c = c->next)
        ++live;
    EXPECT_EQ(live, liveContactsIn(sample_->contactsPath));
    std::set<std::string> recovered;
    for (const ContactRecord* c : s.recoveredContacts)
        recovered.insert(c->text);
    ASSERT_FALSE(sample_->expectedContacts.empty());
    for (const auto& [name, number] : sample_->expectedContacts)
        EXPECT_TRUE(recovered.count(name + "\t" + number)) << name << " " << number;
    EXPECT_EQ(s.categoryText(),
              "Contacts (" + std::to_string(live + int(s.recoveredContacts.size())) + ")");
    EXPECT_EQ(s.countTicked(), live + int(s.recoveredContacts.size()));
}

TEST_F(Acquisition, SlowPullThatKeepsGrowingIsNotCutOff) {
    // About three seconds for the copy, with an idle limit of one second.
    ASSERT_TRUE(startPhone({"--rate", "65536"}));
    auto& s = makeState();
    s.setCommandIdleLimitMs(1000);
    Reporter r;
    const auto start = Clock::now();
    ASSERT_TRUE(acquire(s, r));
    EXPECT_GT(Clock::now() - start, 1500ms);
    EXPECT_EQ(readFile(s.contactCopyPath()), readFile(sample_->contactsPath));
}

TEST_F(Acquisition, StalledShellIsEndedAndTheNextCommandStillRuns) {
    ASSERT_TRUE(startPhone({"--mode", "stall-shell"}));
    auto& s = makeState();
    s.setCommandIdleLimitMs(400);
    Reporter r;
    EXPECT_TRUE(acquire(s, r));
    const auto& results = s.lastAcquisition()->lastResults();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].ended);
    EXPECT_TRUE(results[1].ended);
    EXPECT_TRUE(results[2].succeeded());
}

struct FailureCase {
    const char* what;
    std::vector<std::string> phoneArgs; // empty: nobody listens on the port
    bool bridgeMissing;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.what;
}

class AcquisitionFailure : public Acquisition, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(AcquisitionFailure, LeavesNoCopy) {
    const FailureCase& c = GetParam();
    if (c.phoneArgs.empty())
        port_ = testsupport::refusedLoopbackPort();
    else
        ASSERT_TRUE(startPhone(c.phoneArgs));
    std::string programDir = kProgramDir;
    if (c.bridgeMissing) {
        programDir = dir_ + "/program";
        fs::create_directories(programDir);
    }
    auto& s = makeState(programDir);
    s.setCommandIdleLimitMs(500);
    Reporter r;
    const auto start = Clock::now();
    EXPECT_FALSE(acquire(s, r));
    EXPECT_LT(Clock::now() - start, 10s);
    EXPECT_FALSE(fs::exists(s.contactCopyPath()));
    EXPECT_FALSE(fs::exists(s.contactCopyPath() + ".part"));
    const auto& results = s.lastAcquisition()->lastResults();
    ASSERT_EQ(results.size(), 3u);
    EXPECT_FALSE(results[2].succeeded());
    if (c.bridgeMissing) {
        EXPECT_FALSE(results[0].started);
    }

    // The scan of a failed acquisition finds nothing and still reports its end.
    s.runEngines();
    ASSERT_TRUE(s.startScan(r));
    ASSERT_TRUE(r.wait(2));
    s.joinWorker();
    EXPECT_EQ(s.contactList, nullptr);
    EXPECT_FALSE(s.categoryHasData());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AcquisitionFailure,
    ::testing::Values(FailureCase{"no device listening", {}, false},
                      FailureCase{"no device attached", {"--mode", "refuse"}, false},
                      FailureCase{"no root", {"--mode", "noroot"}, false},
                      FailureCase{"pull stalls half-way", {"--mode", "stall-pull"}, false},
                      FailureCase{"adb_help missing", {"--mode", "normal"}, true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(Acquisition, HeadlessToolRecoversAndExportsEveryTickedRecord) {
    ASSERT_TRUE(startPhone({}));
    osplat::ProcessOptions o;
    o.argv = {kProgramDir + "/kestrova-headless",
              dir_ + "/out",
              "--copy-folder",
              dir_ + "/copies",
              "--delay-ms",
              "0"};
    auto env = osplat::currentEnvironment();
    osplat::setEnvironmentEntry(env, "ADB_SERVER_SOCKET",
                                ("tcp:127.0.0.1:" + std::to_string(port_)).c_str());
    osplat::setEnvironmentEntry(env, "HOME", (dir_ + "/home").c_str());
    osplat::setEnvironmentEntry(env, "ANDROID_SERIAL", nullptr);
    o.environment = env;
    o.idleLimitMs = 60000;
    const auto r = osplat::runProcess(o);
    ASSERT_TRUE(r.succeeded()) << r.output;
    EXPECT_NE(r.output.find("exported to " + dir_ + "/out/Kestrova"), std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("  Contacts:\n"), std::string::npos) << r.output;
    // The copy is removed at the end, like the window removes it when it closes.
    EXPECT_FALSE(fs::exists(dir_ + "/copies/contacts2.db"));

    std::string file;
    for (const auto& e : fs::recursive_directory_iterator(dir_ + "/out"))
        if (e.path().filename() == "contacts.txt")
            file = e.path().string();
    ASSERT_FALSE(file.empty());
    const std::string bytes = readFile(file);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    std::u16string wide;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
        wide.push_back(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    const std::string text = core::utf16ToUtf8(wide);
    EXPECT_EQ(text.rfind("Contacts:\r\n", 0), 0u);
    EXPECT_NE(text.find("\r\nDeleted:\r\n"), std::string::npos);
    // Every deleted contact of the sample phone is among the exported lines.
    for (const auto& [name, number] : sample_->expectedContacts)
        EXPECT_NE(text.find("\r\n" + name + " : " + number + "\r\n"), std::string::npos)
            << name << " " << number;
}

TEST_F(Acquisition, StopAndJoinEndsARunningAcquisitionAtOnce) {
    ASSERT_TRUE(startPhone({"--mode", "stall-shell"}));
    auto& s = makeState();
    Reporter r;
    ASSERT_TRUE(s.startAcquisition(r, 10));
    std::this_thread::sleep_for(300ms); // inside the stalled first command
    const auto start = Clock::now();
    s.stopAndJoin();
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_FALSE(s.workerRunning);
    EXPECT_FALSE(s.copyExists());
}

} // namespace
