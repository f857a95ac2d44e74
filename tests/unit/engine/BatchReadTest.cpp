#include "TestSupport.h"

#include "engine/BatchRead.h"

#include <algorithm>
#include <cstddef>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using kestrova::engine::BatchReader;

namespace {

struct OpenFile {
    explicit OpenFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

// Makes every later call of system call `nr` in this process fail with EPERM, as a sandbox
// that forbids it would.
bool forbidSystemCall(long nr) {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(nr), 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

} // namespace

TEST(BatchRead, RingAndPreadReadTheSameBytes) {
    // More ranges than one batch holds, of every length from none to several pages, some
    // running past the end of the file and some starting beyond it.
    TempDir dir;
    const int64_t fileSize = 300 * 1024 + 123;
    Bytes content(static_cast<size_t>(fileSize));
    std::mt19937 rng(7);
    for (uint8_t& b : content)
        b = static_cast<uint8_t>(rng());
    {
        std::ofstream(dir.file("f"), std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), fileSize);
    }
    OpenFile f(dir.file("f"));
    ASSERT_GE(f.fd, 0);

    std::vector<std::pair<int64_t, int64_t>> wanted; // position, length
    for (int k = 0; k < 600; ++k)
        wanted.emplace_back(static_cast<int64_t>(rng() % (fileSize + 5000)),
                            static_cast<int64_t>(rng() % 9000));
    wanted.emplace_back(0, 0);
    wanted.emplace_back(fileSize - 10, 4096);
    wanted.emplace_back(fileSize, 100);
    int64_t total = 0;
    for (const auto& [pos, len] : wanted)
        total += len;

    for (const bool ringAllowed : {true, false}) {
        BatchReader reader;
        if (!ringAllowed)
            reader.usePreadOnly();
        Bytes out(static_cast<size_t>(total), 0xEE);
        std::vector<BatchReader::Range> ranges;
        int64_t at = 0;
        for (const auto& [pos, len] : wanted) {
            ranges.push_back({pos, out.data() + at, len, -1});
            at += len;
        }
        reader.read(f.fd, ranges);
        if (!ringAllowed)
            EXPECT_FALSE(reader.usedRing());
        else if (!reader.usedRing())
            std::cout << "[ note ] this kernel offers no io_uring; both reads used pread\n";
        at = 0;
        for (size_t k = 0; k < ranges.size(); ++k) {
            const auto [pos, len] = wanted[k];
            const int64_t inFile = std::clamp<int64_t>(fileSize - pos, 0, len);
            EXPECT_EQ(ranges[k].got, inFile) << "range " << k << " ring " << ringAllowed;
            EXPECT_TRUE(std::equal(out.begin() + at, out.begin() + at + inFile,
                                   content.begin() + std::min(pos, fileSize)))
                << "range " << k << " ring " << ringAllowed;
            // Bytes past the end of the file are left as they were.
            EXPECT_TRUE(std::all_of(out.begin() + at + inFile, out.begin() + at + len,
                                    [](uint8_t b) { return b == 0xEE; }))
                << "range " << k;
            at += len;
        }
    }
}

TEST(BatchRead, BadDescriptorReadsNothing) {
    BatchReader reader;
    Bytes out(64, 0);
    std::vector<BatchReader::Range> ranges{{0, out.data(), 32, -1}, {32, out.data() + 32, 32, -1}};
    reader.read(-1, ranges);
    EXPECT_EQ(ranges[0].got, 0);
    EXPECT_EQ(ranges[1].got, 0);
}

#if defined(__NR_io_uring_setup) && defined(__NR_io_uring_enter)
TEST(BatchReadDeathTest, ForbiddenRingFallsBackToPread) {
    // A sandbox may refuse the ring from the start, or refuse to enter one it handed out.
    // Either way every range is read, and the reader keeps to pread afterwards.
    TempDir dir;
    Bytes content(64 * 1024);
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<uint8_t>(i * 7 + 3);
    std::ofstream(dir.file("f"), std::ios::binary)
        .write(reinterpret_cast<const char*>(content.data()),
               static_cast<std::streamsize>(content.size()));
    // Exit status of the child: 0 all read, 1 a fault, 2 no filter to be had here.
    auto readsEverything = [&](bool setUpFirst, long forbidden) {
        OpenFile f(dir.file("f"));
        BatchReader reader;
        if (setUpFirst)
            reader.batchesCheaply();
        if (!forbidSystemCall(forbidden))
            return 2;
        for (int round = 0; round < 2; ++round) {
            Bytes out(content.size(), 0);
            std::vector<BatchReader::Range> ranges;
            for (size_t at = 0; at < content.size(); at += 4096)
                ranges.push_back({static_cast<int64_t>(at), out.data() + at, 4096, 0});
            reader.read(f.fd, ranges);
            if (reader.usedRing() || out != content)
                return 1;
        }
        return 0;
    };
    // Where this process may not install a filter itself, there is nothing to check.
    const auto readOrNoFilter = [](int status) {
        return WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2);
    };
    for (const bool setUpFirst : {false, true}) {
        const long forbidden = setUpFirst ? __NR_io_uring_enter : __NR_io_uring_setup;
        EXPECT_EXIT(std::exit(readsEverything(setUpFirst, forbidden)), readOrNoFilter, "")
            << (setUpFirst ? "entering the ring forbidden" : "setting up a ring forbidden");
    }
}
#endif
