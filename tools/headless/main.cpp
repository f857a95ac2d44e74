// kestrova-headless EXPORT_FOLDER [options]: the recovery without a window. Copies the
// contacts database from the phone the bridge client reaches (ADB_SERVER_SOCKET from the
// environment, for example an emulated phone on 127.0.0.1), recovers its live and deleted
// contacts, and exports every ticked record into a time-stamped folder under EXPORT_FOLDER.
#include "Profile.h"
#include "RecoveryState.h"
#include "Text.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>

namespace {

// Prints what the workers report; progress every ten points.
class ConsoleReporter : public core::WorkerReporter {
public:
    explicit ConsoleReporter(const char* stage) : stage_(stage) {}
    void setStage(const char* stage) {
        std::lock_guard<std::mutex> lock(m_);
        stage_ = stage;
        lastPrinted_ = -10;
        done_ = false;
    }
    void setProgress(int position) override {
        std::lock_guard<std::mutex> lock(m_);
        if (position - lastPrinted_ >= 10 || position == 100) {
            lastPrinted_ = position;
            std::printf("%s: %d%%\n", stage_, position);
            std::fflush(stdout);
        }
    }
    void setCategory(const std::string& text, int) override {
        std::printf("category: %s\n", text.c_str());
    }
    void showButton(int, bool) override {}
    void postDone(int message, std::intptr_t wParam, std::intptr_t) override {
        std::lock_guard<std::mutex> lock(m_);
        done_ = true;
        message_ = message;
        wParam_ = wParam;
        cv_.notify_all();
    }
    std::intptr_t waitDone() {
        std::unique_lock<std::mutex> lock(m_);
        cv_.wait(lock, [this] { return done_; });
        return wParam_;
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    const char* stage_;
    int lastPrinted_ = -10;
    bool done_ = false;
    int message_ = 0;
    std::intptr_t wParam_ = 0;
};

int usage() {
    std::fputs("usage: kestrova-headless EXPORT_FOLDER [--copy-folder DIR] [--delay-ms N]\n"
               "                          [--lines N]\n"
               "Acquires the contacts database over the bridge client (ADB_SERVER_SOCKET),\n"
               "scans it and exports every ticked record under EXPORT_FOLDER.\n"
               "--copy-folder: where the database copy goes (the per-user copy folder)\n"
               "--delay-ms:    the pause before the first bridge command (5000)\n"
               "--lines:       how many lines of the export to print (12)\n",
               stderr);
    return 2;
}

bool number(const char* s, long& out) {
    char* end = nullptr;
    out = std::strtol(s, &end, 10);
    return end != s && *end == '\0' && out >= 0;
}

// The first `lines` lines of a UTF-16LE export file, as UTF-8.
void printHead(const std::string& path, long lines) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(char16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8));
    if (!text.empty() && text[0] == u'\uFEFF')
        text.erase(0, 1);
    std::size_t pos = 0;
    for (long n = 0; n < lines && pos < text.size(); ++n) {
        auto end = text.find(u"\r\n", pos);
        if (end == std::u16string::npos)
            end = text.size();
        std::printf("  %s\n", core::utf16ToUtf8(text.substr(pos, end - pos)).c_str());
        pos = end + 2;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-')
        return usage();
    const std::string exportFolder = argv[1];
    std::string copyFolder;
    long delayMs = 5000, lines = 12;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--copy-folder" && i + 1 < argc)
            copyFolder = argv[++i];
        else if (a == "--delay-ms" && i + 1 < argc && number(argv[i + 1], delayMs))
            ++i;
        else if (a == "--lines" && i + 1 < argc && number(argv[i + 1], lines))
            ++i;
        else
            return usage();
    }

    core::RecoveryState state(copyFolder, osplat::programFolder());
    ConsoleReporter reporter("acquisition");
    const char* socket = std::getenv("ADB_SERVER_SOCKET");
    std::printf("acquiring over the bridge client (%s), copy folder %s\n",
                socket ? socket : "default server", state.copyFolder().c_str());
    std::fflush(stdout);

    // No copy of an earlier run is ever taken for this one.
    state.deleteCopies();
    state.startAcquisition(reporter, int(delayMs));
    reporter.waitDone();
    state.joinWorker();
    if (!state.copyExists()) {
        state.loadState = 0;
        std::printf("Cannot load data from Android Phone, please : \n"
                    "1. Be sure you've installed the drive of your device\n"
                    "2. Make sure device enables USB Debugging(Setting >> Applications >> "
                    "Development >> USB debugging).\n"
                    "3. Make sure you've got ROOT access on your Android phone.\n");
        return 1;
    }
    std::printf("copied %s\n", state.contactCopyPath().c_str());

    state.runEngines();
    state.loadState = 1;
    reporter.setStage("scan");
    state.startScan(reporter);
    reporter.waitDone();
    state.joinWorker();
    int live = 0;
    for (const ContactRecord* c = state.contactList; c; c = c->next)
        ++live;
    std::printf("live contacts: %d, recovered contacts: %zu, ticked: %d\n", live,
                state.recoveredContacts.size(), state.countTicked());

    const std::string root = core::exportRootFor(exportFolder, std::time(nullptr));
    reporter.setStage("export");
    state.startExport(reporter, root);
    const std::intptr_t lost = reporter.waitDone();
    state.joinWorker();
    const std::string file = state.lastExportFile();
    std::printf("Recovering finished, %d files have been recovered.\n",
                state.processedCount.load());
    if (file.empty()) {
        std::printf("nothing was ticked: no export\n");
    } else {
        std::printf("exported to %s\n", file.c_str());
        printHead(file, lines);
    }
    state.deleteCopies();
    if (lost > 0) {
        std::fprintf(stderr, "kestrova-headless: %ld lines could not be written\n", long(lost));
        return 1;
    }
    return 0;
}
