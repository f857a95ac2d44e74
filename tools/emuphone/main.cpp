// kestrova-emuphone: an emulated phone that serves the bridge client's client-server
// protocol on 127.0.0.1, so that the real client, pointed at it with
// ADB_SERVER_SOCKET=tcp:127.0.0.1:PORT, acts on a phone whose contacts and telephony
// databases are files given here (a generated sample phone by default).
//
// Served: host:version (0029), host:features (none), host:tport:* and host:transport*
// (then the local services on the same connection), shell:CMD, and the sync service with
// STAT, RECV and QUIT. Modes imitate the ways a real phone fails: noroot (su is missing and
// the databases cannot be read), stall-shell (a shell never answers), stall-pull (a pull
// stops half-way), refuse (no device attached). Only 127.0.0.1 is ever bound.
#include "tools/samplephone/SamplePhone.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

enum class Mode { Normal, NoRoot, StallShell, StallPull, Refuse };

const char* const kContactsRemote =
    "/data/data/com.android.providers.contacts/databases/contacts2.db";
const char* const kSmsRemote = "/data/data/com.android.providers.telephony/databases/mmssms.db";

struct Phone {
    Mode mode = Mode::Normal;
    long rate = 0; // bytes per second of a pull; 0: as fast as the socket takes them
    std::map<std::string, std::string> files; // remote path -> local file
    std::string logPath; // every service request is appended here, one per line
};

Phone gPhone;
std::atomic<bool> gQuit{false};
int gWakePipe[2] = {-1, -1};

std::mutex gClientsLock;
std::vector<int> gClients;

void onSignal(int) {
    gQuit = true;
    const char c = 1;
    [[maybe_unused]] auto n = ::write(gWakePipe[1], &c, 1);
}

// ---- socket helpers ---------------------------------------------------------------------

// Reads exactly n bytes; false at end of stream, on error or at shutdown.
bool readExact(int fd, void* buf, std::size_t n) {
    auto* p = static_cast<char*>(buf);
    while (n > 0) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, 200);
        if (gQuit)
            return false;
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            continue;
        const ssize_t got = ::recv(fd, p, n, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= std::size_t(got);
    }
    return true;
}

bool sendAll(int fd, const void* buf, std::size_t n) {
    auto* p = static_cast<const char*>(buf);
    while (n > 0) {
        const ssize_t put = ::send(fd, p, n, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= std::size_t(put);
    }
    return true;
}

bool sendText(int fd, const std::string& s) {
    return sendAll(fd, s.data(), s.size());
}

std::string hex4(std::size_t n) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04zx", n & 0xFFFF);
    return buf;
}

bool sendFail(int fd, const std::string& message) {
    return sendText(fd, "FAIL" + hex4(message.size()) + message);
}

void putU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char((v >> (8 * i)) & 0xFF));
}

uint32_t getU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A request outside sync: 4 hex digits of length, then the text.
bool readRequest(int fd, std::string& request) {
    char len[5] = {};
    if (!readExact(fd, len, 4))
        return false;
    char* end = nullptr;
    const unsigned long n = std::strtoul(len, &end, 16);
    if (end != len + 4)
        return false;
    request.assign(n, '\0');
    return n == 0 || readExact(fd, request.data(), n);
}

// Waits until the client goes away (or shutdown), reading and dropping what it sends.
void holdUntilClosed(int fd) {
    char buf[4096];
    while (!gQuit) {
        pollfd pfd{fd, POLLIN, 0};
        const int r = ::poll(&pfd, 1, 200);
        if (r > 0) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return;
        }
    }
}

// Drops what the client has sent so far, without waiting for more.
void drainInput(int fd) {
    char buf[4096];
    while (::recv(fd, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
}

// ---- services ---------------------------------------------------------------------------

std::mutex gLogLock;

void logRequest(const std::string& request) {
    if (gPhone.logPath.empty())
        return;
    std::lock_guard<std::mutex> lock(gLogLock);
    std::ofstream(gPhone.logPath, std::ios::app) << request << "\n";
}

std::string shellOutput(const std::string& command) {
    const bool su = command.rfind("su", 0) == 0;
    if (gPhone.mode == Mode::NoRoot && su)
        return "/system/bin/sh: su: not found\n";
    if (su)
        return std::string(); // chmod as root succeeds silently
    if (command == "id")
        return gPhone.mode == Mode::NoRoot ? "uid=2000(shell) gid=2000(shell)\n"
                                           : "uid=0(root) gid=0(root)\n";
    if (command.rfind("getprop", 0) == 0)
        return "\n";
    if (command.rfind("ls", 0) == 0) {
        std::string out;
        for (const auto& f : gPhone.files)
            out += f.first + "\n";
        return out;
    }
    return "/system/bin/sh: " + command.substr(0, command.find(' ')) + ": not found\n";
}

void serveShell(int fd, const std::string& command) {
    if (!sendText(fd, "OKAY"))
        return;
    if (gPhone.mode == Mode::StallShell) {
        holdUntilClosed(fd);
        return;
    }
    sendText(fd, shellOutput(command));
    drainInput(fd);
}

bool syncFail(int fd, const std::string& message) {
    std::string out = "FAIL";
    putU32(out, uint32_t(message.size()));
    return sendText(fd, out + message);
}

bool serveRecv(int fd, const std::string& path) {
    auto it = gPhone.files.find(path);
    if (it == gPhone.files.end())
        return syncFail(fd, "open failed: No such file or directory");
    if (gPhone.mode == Mode::NoRoot)
        return syncFail(fd, "open failed: Permission denied");
    std::ifstream in(it->second, std::ios::binary);
    if (!in)
        return syncFail(fd, "open failed: I/O error");
    in.seekg(0, std::ios::end);
    const auto size = static_cast<long long>(in.tellg());
    in.seekg(0);
    long long sent = 0;
    // Throttled, the data goes in tenths of the rate every 100 ms, as a slow cable would.
    const std::size_t chunkSize =
        gPhone.rate > 0 ? std::size_t(std::clamp(gPhone.rate / 10, 1L, 64L * 1024)) : 64 * 1024;
    std::vector<char> chunk(chunkSize);
    for (;;) {
        if (gPhone.rate > 0 && sent > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (gPhone.mode == Mode::StallPull && sent >= size / 2) {
            holdUntilClosed(fd); // the transfer stops half-way and never resumes
            return false;
        }
        in.read(chunk.data(), std::streamsize(chunk.size()));
        const auto got = in.gcount();
        if (got <= 0)
            break;
        std::string head = "DATA";
        putU32(head, uint32_t(got));
        if (!sendText(fd, head) || !sendAll(fd, chunk.data(), std::size_t(got)))
            return false;
        sent += got;
    }
    std::string done = "DONE";
    putU32(done, 0);
    return sendText(fd, done);
}

void serveSync(int fd) {
    if (!sendText(fd, "OKAY"))
        return;
    for (;;) {
        unsigned char head[8];
        if (!readExact(fd, head, 8))
            return;
        const std::string id(reinterpret_cast<char*>(head), 4);
        const uint32_t len = getU32(head + 4);
        if (id == "QUIT")
            return;
        if (len > 1024)
            return; // no path is that long
        std::string path(len, '\0');
        if (len > 0 && !readExact(fd, path.data(), len))
            return;
        logRequest(id + " " + path);
        if (id == "STAT") {
            std::string out = "STAT";
            struct stat st;
            auto it = gPhone.files.find(path);
            if (it != gPhone.files.end() && ::stat(it->second.c_str(), &st) == 0) {
                putU32(out, 0100660);
                putU32(out, uint32_t(st.st_size));
                putU32(out, uint32_t(st.st_mtime));
            } else {
                // A missing path: STAT with zero mode, size and time.
                putU32(out, 0);
                putU32(out, 0);
                putU32(out, 0);
            }
            if (!sendText(fd, out))
                return;
        } else if (id == "RECV") {
            if (!serveRecv(fd, path))
                return;
        } else {
            syncFail(fd, "unsupported request " + id);
            return;
        }
    }
}

void serveConnection(int fd) {
    std::string request;
    bool transport = false;
    while (readRequest(fd, request)) {
        logRequest(request);
        if (request == "host:version") {
            sendText(fd, "OKAY" + hex4(4) + "0029");
            return;
        }
        if (request.size() >= 8 && request.compare(request.size() - 8, 8, "features") == 0) {
            sendText(fd, "OKAY" + hex4(0));
            return;
        }
        if (request == "host:devices" || request == "host:devices-l") {
            const std::string list = gPhone.mode == Mode::Refuse ? "" : "emulated0001\tdevice\n";
            sendText(fd, "OKAY" + hex4(list.size()) + list);
            return;
        }
        if (request.rfind("host:tport:", 0) == 0 || request.rfind("host:transport", 0) == 0) {
            if (gPhone.mode == Mode::Refuse) {
                sendFail(fd, "no devices/emulators found");
                return;
            }
            std::string answer = "OKAY";
            if (request.rfind("host:tport:", 0) == 0) {
                putU32(answer, 1); // the transport id, 8 bytes little-endian
                putU32(answer, 0);
            }
            if (!sendText(fd, answer))
                return;
            transport = true;
            continue;
        }
        if (transport && request.rfind("shell:", 0) == 0) {
            serveShell(fd, request.substr(6));
            return;
        }
        if (transport && request == "sync:") {
            serveSync(fd);
            return;
        }
        sendFail(fd, transport ? "closed" : "unknown host service");
        return;
    }
}

int listenLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return -1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

int usage() {
    std::fputs("usage: kestrova-emuphone [--port N] [--contacts FILE] [--sms FILE]\n"
               "                         [--mode normal|noroot|stall-shell|stall-pull|refuse]\n"
               "                         [--rate BYTES_PER_SECOND] [--log FILE]\n"
               "Serves an emulated phone on 127.0.0.1:N (N = 0: a free port, printed as\n"
               "\"port N\"). Without --contacts, a generated sample phone is served.\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string contacts, sms;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--port" && hasValue) {
            char* end = nullptr;
            const long p = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || p < 0 || p > 65535)
                return usage();
            port = int(p);
        } else if (a == "--rate" && hasValue) {
            char* end = nullptr;
            gPhone.rate = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || gPhone.rate < 0)
                return usage();
        } else if (a == "--log" && hasValue) {
            gPhone.logPath = argv[++i];
        } else if (a == "--contacts" && hasValue) {
            contacts = argv[++i];
        } else if (a == "--sms" && hasValue) {
            sms = argv[++i];
        } else if (a == "--mode" && hasValue) {
            const std::string m = argv[++i];
            if (m == "normal")
                gPhone.mode = Mode::Normal;
            else if (m == "noroot")
                gPhone.mode = Mode::NoRoot;
            else if (m == "stall-shell")
                gPhone.mode = Mode::StallShell;
            else if (m == "stall-pull")
                gPhone.mode = Mode::StallPull;
            else if (m == "refuse")
                gPhone.mode = Mode::Refuse;
            else
                return usage();
        } else {
            return usage();
        }
    }

    std::string sampleDir;
    if (contacts.empty()) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "emuphone-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) {
            std::perror("kestrova-emuphone: temporary folder");
            return 1;
        }
        sampleDir = tmpl;
        kestrova::samplephone::Options o;
        o.outDir = sampleDir;
        kestrova::samplephone::Result r;
        std::string error;
        if (!kestrova::samplephone::generate(o, r, error)) {
            std::fprintf(stderr, "kestrova-emuphone: sample phone: %s\n", error.c_str());
            std::filesystem::remove_all(sampleDir);
            return 1;
        }
        contacts = r.contactsPath;
        if (sms.empty())
            sms = r.smsPath;
    }
    gPhone.files[kContactsRemote] = contacts;
    if (!sms.empty())
        gPhone.files[kSmsRemote] = sms;

    if (::pipe2(gWakePipe, O_CLOEXEC) != 0)
        return 1;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    const int listener = listenLoopback(port);
    if (listener < 0) {
        std::perror("kestrova-emuphone: listen on 127.0.0.1");
        if (!sampleDir.empty())
            std::filesystem::remove_all(sampleDir);
        return 1;
    }
    std::printf("port %d\n", port);
    std::fflush(stdout);

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::vector<Worker> workers;
    while (!gQuit) {
        pollfd fds[2] = {{listener, POLLIN, 0}, {gWakePipe[0], POLLIN, 0}};
        const int r = ::poll(fds, 2, -1);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0 || gQuit)
            break;
        // Threads of connections that have ended are joined as new ones come.
        std::erase_if(workers, [](Worker& w) {
            if (!w.finished->load())
                return false;
            w.thread.join();
            return true;
        });
        if (fds[0].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            {
                std::lock_guard<std::mutex> lock(gClientsLock);
                gClients.push_back(client);
            }
            auto finished = std::make_shared<std::atomic<bool>>(false);
            workers.push_back({std::thread([client, finished] {
                                   serveConnection(client);
                                   ::shutdown(client, SHUT_RDWR);
                                   {
                                       std::lock_guard<std::mutex> lock(gClientsLock);
                                       std::erase(gClients, client);
                                       ::close(client);
                                   }
                                   *finished = true;
                               }),
                               finished});
        }
    }
    ::close(listener);
    {
        std::lock_guard<std::mutex> lock(gClientsLock);
        for (int c : gClients)
            ::shutdown(c, SHUT_RDWR);
    }
    for (auto& w : workers)
        w.thread.join();
    if (!sampleDir.empty())
        std::filesystem::remove_all(sampleDir);
    return 0;
}
