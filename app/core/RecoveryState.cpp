#include "RecoveryState.h"

#include "Text.h"
#include "TkTxtFile.h"
#include "engine/SqliteParse.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace core {
namespace {

bool exists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void makeFolders(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
}

} // namespace

std::string exportRootFor(const std::string& picked, std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
    std::string root = picked;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root + "/Kestrova" + stamp;
}

std::string exportLabel(const std::string& categoryText, bool whollyTicked, int ticked) {
    if (whollyTicked)
        return categoryText;
    const auto open = categoryText.find('(');
    return categoryText.substr(0, open) + "(" + std::to_string(ticked) + ")";
}

RecoveryState::RecoveryState(std::string copyFolder, std::string programFolder)
    : copyFolder_(copyFolder.empty() ? defaultCopyFolder() : std::move(copyFolder)),
      programFolder_(std::move(programFolder)) {
    makeFolders(copyFolder_);
}

RecoveryState::~RecoveryState() {
    stopAndJoin();
}

bool RecoveryState::copyExists() const {
    return exists(contactCopyPath()) || exists(messageCopyPath());
}

void RecoveryState::deleteCopies() const {
    ::unlink(contactCopyPath().c_str());
    ::unlink(messageCopyPath().c_str());
}

void RecoveryState::setChildEnvironment(std::optional<std::vector<std::string>> env) {
    childEnvironment_ = std::move(env);
}

void RecoveryState::setReader(OstranyReadFn reader) {
    reader_ = reader;
    readerLoaded_ = true;
}

std::string RecoveryState::categoryText() const {
    std::lock_guard<std::mutex> lock(categoryMutex_);
    return categoryText_;
}

void RecoveryState::resetCategory() {
    std::lock_guard<std::mutex> lock(categoryMutex_);
    categoryText_ = kContactsCategory;
    categoryHasData_ = 0;
}

std::string RecoveryState::lastExportFile() const {
    std::lock_guard<std::mutex> lock(exportFileMutex_);
    return lastExportFile_;
}

// ---- workers ---------------------------------------------------------------------------

bool RecoveryState::startWorker(std::function<void()> body) {
    if (worker_.joinable()) {
        if (workerRunning)
            return false;
        worker_.join();
    }
    workerRunning = true;
    worker_ = std::thread(std::move(body));
    return true;
}

void RecoveryState::joinWorker() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
    workerRunning = false;
}

void RecoveryState::stopAndJoin() {
    if (acquisition_)
        acquisition_->cancel();
    resumeEvent.set();
    stopRequested = 1;
    joinWorker();
}

bool RecoveryState::startAcquisition(WorkerReporter& reporter, int initialDelayMs) {
    if (workerRunning)
        return false;
    loadState = -1;
    resetCategory();
    makeFolders(copyFolder_);
    AcquisitionConfig config;
    config.programFolder = programFolder_;
    config.copyFolder = copyFolder_;
    config.environment = childEnvironment_;
    config.initialDelayMs = initialDelayMs;
    config.commandIdleLimitMs = commandIdleLimitMs_;
    if (worker_.joinable())
        worker_.join();
    acquisition_ = std::make_unique<Acquisition>(std::move(config));
    Acquisition* acquisition = acquisition_.get();
    return startWorker([acquisition, &reporter] {
        acquisition->run();
        reporter.postDone(AcquisitionDoneMessage, 1, 0);
    });
}

void RecoveryState::runEngines() {
    {
        SqliteParse engine(contactCopyPath(), messageCopyPath());
        engine.startParse(ePaserContacts);
        contactResultText = engine.get_contacts_mem();
    }
    {
        SqliteParse engine(contactCopyPath(), messageCopyPath());
        engine.startParse(ePaserSms);
        messageResultText = engine.get_contacts_mem();
    }
}

bool RecoveryState::startScan(WorkerReporter& reporter) {
    if (workerRunning)
        return false;
    stopRequested = 0;
    resumeEvent.set();
    return startWorker([this, &reporter] { scanThread(reporter); });
}

bool RecoveryState::whollyTicked() const {
    for (const ContactRecord* c = contactList; c; c = c->next) {
        if (!c->checked)
            return false;
    }
    for (const ContactRecord* c : recoveredContacts) {
        if (!c->checked)
            return false;
    }
    return true;
}

bool RecoveryState::startExport(WorkerReporter& reporter, const std::string& exportRoot,
                                std::optional<bool> whollyTicked) {
    if (workerRunning)
        return false;
    const bool wholly = whollyTicked ? *whollyTicked : this->whollyTicked();
    stopRequested = 0;
    exportTotal = categoryHasData() ? countTicked() : 0;
    processedCount = 0;
    exportLinesLost_ = 0;
    resumeEvent.set();
    return startWorker([this, &reporter, exportRoot, wholly] {
        if (categoryHasData())
            exportContacts(reporter, exportRoot, wholly);
        reporter.postDone(ExportDoneMessage, exportLinesLost_.load(), 0);
    });
}

// ---- scan ------------------------------------------------------------------------------

void RecoveryState::callReader() {
    // The reader frees the lists of its previous call: no index into them may survive.
    forgetRowIndex();
    if (!readerLoaded_) {
        readerLoaded_ = true;
        const std::string lib = programFolder_ + "/" + kOstranyLibrary;
        // The library stays loaded for the life of the process: its lists are never freed
        // by the program and must stay valid.
        if (void* handle = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL))
            reader_ = reinterpret_cast<OstranyReadFn>(::dlsym(handle, kOstranyEntry));
    }
    if (!reader_) {
        readerFirstList = nullptr;
        contactList = nullptr;
        dataRowList = nullptr;
        mimetypeList = nullptr;
        return;
    }
    reader_(contactCopyPath().c_str(), &readerFirstList, &contactList, &dataRowList, &mimetypeList);
}

void RecoveryState::moveProgress(WorkerReporter& reporter, int total) {
    if (total <= 0)
        return;
    int position = int(static_cast<long long>(processedCount.load()) * 100 / total);
    position = std::max(0, std::min(100, position));
    if (position != lastProgress_) {
        lastProgress_ = position;
        reporter.setProgress(position);
    }
}

void RecoveryState::setCategory(WorkerReporter& reporter, int count) {
    const std::string text = std::string(kContactsCategory) + " (" + std::to_string(count) + ")";
    {
        std::lock_guard<std::mutex> lock(categoryMutex_);
        categoryText_ = text;
        categoryHasData_ = 1;
    }
    reporter.setCategory(text, 1);
}

void RecoveryState::scanThread(WorkerReporter& reporter) {
    const int n = scanPass(ScanMode::Counting, reporter);
    reporter.showButton(PauseButton, true);
    reporter.showButton(StopButton, true);
    if (n != 0)
        scanPass(ScanMode::Main, reporter);
    reporter.postDone(ScanDoneMessage, 0, 0);
}

int RecoveryState::scanPass(ScanMode mode, WorkerReporter& reporter) {
    if (!exists(contactCopyPath()))
        return 0;
    callReader();
    if (!contactList)
        return 0;

    int count = 0;
    const std::string& text = contactResultText;
    if (mode == ScanMode::Counting) {
        for (ContactRecord* c = contactList; c; c = c->next) {
            ++scanTotal;
            c->checked = 1;
            ++count;
        }
        // Only lines ended by CR LF count; text after the last pair is no line.
        for (auto pos = text.find("\r\n"); pos != std::string::npos;
             pos = text.find("\r\n", pos + 2)) {
            ++scanTotal;
            ++count;
        }
        return count;
    }

    lastProgress_ = -1;
    for (ContactRecord* c = contactList; c; c = c->next) {
        resumeEvent.wait(); // a pause holds the worker here
        if (stopRequested) {
            if (count > 0)
                setCategory(reporter, count);
            return -1;
        }
        c->checked = 1;
        ++processedCount;
        ++count;
        moveProgress(reporter, scanTotal);
    }
    int lineIndex = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto end = text.find("\r\n", pos);
        if (end == std::string::npos)
            break;
        addRecovered(lineIndex, text.substr(pos, end - pos));
        ++processedCount;
        ++count;
        ++lineIndex;
        moveProgress(reporter, scanTotal);
        pos = end + 2;
    }
    if (count > 0)
        setCategory(reporter, count);
    return count;
}

// ---- export ----------------------------------------------------------------------------

int RecoveryState::exportContacts(WorkerReporter& reporter, const std::string& exportRoot,
                                  bool whollyTicked) {
    const int ticked = countTicked();
    if (ticked == 0)
        return 0;
    const std::string folder = exportRoot + "/" + exportLabel(categoryText(), whollyTicked, ticked);
    makeFolders(folder);
    TkTxtFile file(folder + "/contacts.txt");
    {
        std::lock_guard<std::mutex> lock(exportFileMutex_);
        lastExportFile_ = file.filePath;
    }
    auto write = [&](const std::string& line) {
        if (!file.WriteLine(utf8ToUtf16(line)))
            ++exportLinesLost_;
    };

    lastProgress_ = -1;
    write("Contacts:");
    int nameCounter = 0;
    for (const ContactRecord* c = contactList; c; c = c->next) {
        resumeEvent.wait();
        if (stopRequested)
            return -1; // what is written stays
        if (!c->checked)
            continue;
        std::optional<std::string> name; // taken from the counter at the contact's first line
        for (const DataRow* row : rowsOf(c)) {
            const char* label = nullptr;
            switch (rowKind(mimetypeList, row)) {
            case RowKind::Phone:
                label = phoneTypeLabel(row->data2);
                break;
            case RowKind::Email:
                label = emailTypeLabel(row->data2);
                break;
            case RowKind::Organization:
                label = "Company";
                break;
            case RowKind::Other:
                continue;
            }
            if (!name)
                name = exportName(c, nameCounter);
            write(*name + "(" + (label ? label : "") + ") : " + (row->data1 ? row->data1 : ""));
        }
        ++processedCount;
        moveProgress(reporter, exportTotal);
    }
    if (!contactResultText.empty()) {
        write(kExportSeparator);
        write("Deleted:");
        for (const ContactRecord* c : recoveredContacts) {
            if (!c->checked)
                continue;
            if (auto split = splitRecoveredLine(c))
                write(split->name + " : " + split->number);
            ++processedCount;
            moveProgress(reporter, exportTotal);
        }
    }
    return ticked;
}

} // namespace core
