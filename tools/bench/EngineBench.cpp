// kestrova-engine-bench [--data-rows N] [--messages N] [--keep DIR | --reuse DIR]
//
// Generates a contacts2.db of at least 1,000,000 data rows and an mmssms.db of at least
// 200,000 messages, 30 % of each deleted, into a temporary folder; then times each kind of
// run against a reference measured in the same process (warm cache):
//   contacts: a plain sequential read of contacts2.db;
//   messages: a plain read of mmssms.db plus the live-contacts query stepped to the end.
// Each run happens in a child process of its own so that its peak memory (VmHWM) is its own.
#include "engine/SqliteParse.h"
#include "tools/samplephone/SamplePhone.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double seconds(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

int64_t readWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    std::vector<char> buf(1 << 20);
    int64_t total = 0;
    uint64_t sum = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n <= 0)
            break;
        total += n;
        sum += static_cast<unsigned char>(buf[static_cast<size_t>(n) - 1]);
    }
    ::close(fd);
    return total + static_cast<int64_t>(sum & 0); // keep the read from being dropped
}

int64_t liveContactsQuery(const std::string& path) {
    sqlite3* db = nullptr;
    int64_t rows = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT raw_contact_id, data1 from data", -1, &st, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(st) == SQLITE_ROW) {
                sqlite3_column_text(st, 0);
                sqlite3_column_text(st, 1);
                ++rows;
            }
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return rows;
}

int64_t vmHwmKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atoll(line.c_str() + 6);
    }
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

struct Measure {
    double reference = 0;
    double run = 0;
    int64_t textBytes = 0;
    int64_t lines = 0;
    int64_t peakKiB = 0;
    int64_t baseKiB = 0;
};

// Runs in a child: reference and run, best of three each, after one warming pass.
Measure measure(const std::string& contacts, const std::string& sms, bool messages) {
    Measure m;
    m.baseKiB = vmHwmKiB();
    auto reference = [&] {
        readWholeFile(messages ? sms : contacts);
        if (messages)
            liveContactsQuery(contacts);
    };
    reference();
    m.reference = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = Clock::now();
        reference();
        m.reference = std::min(m.reference, seconds(t0, Clock::now()));
    }
    m.run = 1e9;
    for (int i = 0; i < 3; ++i) {
        const auto t0 = Clock::now();
        std::string text;
        {
            SqliteParse engine(contacts, sms);
            engine.startParse(messages ? ePaserSms : ePaserContacts);
            text = engine.get_contacts_mem();
        }
        m.run = std::min(m.run, seconds(t0, Clock::now()));
        m.textBytes = static_cast<int64_t>(text.size());
        m.lines = 0;
        for (char c : text)
            m.lines += c == '\n';
    }
    m.peakKiB = vmHwmKiB();
    return m;
}

// Runs `measure` in a fresh process (this program again, with --measure), so that its peak
// memory is the run's own and not the generator's.
bool inChild(const std::string& contacts, const std::string& sms, bool messages, Measure& out) {
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::execl("/proc/self/exe", "kestrova-engine-bench", "--measure",
                messages ? "sms" : "contacts", contacts.c_str(), sms.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    ssize_t r = 0, got = 0;
    while (got < static_cast<ssize_t>(sizeof out) &&
           (r = ::read(fds[0], reinterpret_cast<char*>(&out) + got, sizeof out - got)) > 0)
        got += r;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return got == static_cast<ssize_t>(sizeof out) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void report(const char* kind, const Measure& m) {
    const double ratio = m.run / m.reference;
    const double overMiB = (static_cast<double>(m.peakKiB) * 1024 - m.textBytes) / (1 << 20);
    std::printf("%-8s run %.3f s  reference %.3f s  ratio %.2f (target <= 2)  %s\n", kind, m.run,
                m.reference, ratio, ratio <= 2 ? "ok" : "MISSED");
    std::printf("%-8s %lld lines, text %.1f MiB, peak memory %.1f MiB (before the run %.1f MiB),"
                " %.1f MiB above the text (target <= 64)  %s\n",
                kind, static_cast<long long>(m.lines), m.textBytes / 1048576.0, m.peakKiB / 1024.0,
                m.baseKiB / 1024.0, overMiB, overMiB <= 64 ? "ok" : "MISSED");
}

// Measures both kinds of run on the two databases and prints their lines.
bool measureAndReport(const std::string& contacts, const std::string& sms) {
    Measure c, s;
    if (!inChild(contacts, sms, false, c) || !inChild(contacts, sms, true, s)) {
        std::fputs("a measuring run failed\n", stderr);
        return false;
    }
    report("contacts", c);
    report("messages", s);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--measure") {
        const Measure m = measure(argv[3], argv[4], std::string(argv[2]) == "sms");
        return ::write(STDOUT_FILENO, &m, sizeof m) == static_cast<ssize_t>(sizeof m) ? 0 : 1;
    }
    int64_t wantRows = 1000000, wantMessages = 200000;
    std::string keep, reuse;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--data-rows" && i + 1 < argc)
            wantRows = std::atoll(argv[++i]);
        else if (a == "--messages" && i + 1 < argc)
            wantMessages = std::atoll(argv[++i]);
        else if (a == "--keep" && i + 1 < argc)
            keep = argv[++i];
        else if (a == "--reuse" && i + 1 < argc)
            reuse = argv[++i];
        else {
            std::fputs("usage: kestrova-engine-bench [--data-rows N] [--messages N] "
                       "[--keep DIR | --reuse DIR]\n",
                       stderr);
            return 2;
        }
    }
    if (!reuse.empty()) {
        // Measures again on the databases a run with --keep left in DIR.
        const std::string contacts = reuse + "/contacts2.db", sms = reuse + "/mmssms.db";
        if (!fs::exists(contacts) || !fs::exists(sms)) {
            std::fprintf(stderr, "no contacts2.db and mmssms.db in %s\n", reuse.c_str());
            return 1;
        }
        return measureAndReport(contacts, sms) ? 0 : 1;
    }
    std::string dir = keep;
    if (dir.empty()) {
        std::string tmpl = (fs::temp_directory_path() / "kestrova-bench-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        dir = tmpl;
    }
    kestrova::samplephone::Options o;
    o.outDir = dir;
    o.bulk = true;
    // About 2.2 data rows per contact in bulk mode.
    o.contacts = static_cast<int>(wantRows * 10 / 22 + 1000);
    o.deletedContacts = o.contacts * 3 / 10;
    o.messages = static_cast<int>(wantMessages);
    o.deletedMessages = o.messages * 3 / 10;
    kestrova::samplephone::Result r;
    std::string error;
    const auto g0 = Clock::now();
    int status = 0;
    if (!kestrova::samplephone::generate(o, r, error)) {
        std::fprintf(stderr, "generation failed: %s\n", error.c_str());
        status = 1;
    } else {
        std::printf("generated in %.1f s: contacts2.db %.1f MiB, %lld data rows (%lld deleted); "
                    "mmssms.db %.1f MiB, %lld messages (%lld deleted)\n",
                    seconds(g0, Clock::now()), fs::file_size(r.contactsPath) / 1048576.0,
                    static_cast<long long>(r.dataRows), static_cast<long long>(r.deletedDataRows),
                    fs::file_size(r.smsPath) / 1048576.0, static_cast<long long>(r.smsRows),
                    static_cast<long long>(r.deletedSmsRows));
        if (!measureAndReport(r.contactsPath, r.smsPath))
            status = 1;
    }
    if (keep.empty()) {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    return status;
}
