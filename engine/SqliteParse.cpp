#include "engine/SqliteParse.h"

#include "engine/ResultText.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unordered_set>

using namespace kestrova::engine;

namespace {

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool contains(const std::string& s, const char* what) {
    return s.find(what) != std::string::npos;
}

// A URI filename that opens the file read-only and immutable: no locks, no journal rollback,
// no WAL checkpoint, no side files. Every byte but the unreserved ones and '/' is
// percent-encoded, so '?', '#', '%' and blanks in a path stay part of the path.
std::string immutableUri(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    // An absolute path gets an empty authority, so a path that starts with "//" is not read
    // as a host name.
    if (!path.empty() && path[0] == '/')
        uri += "//";
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += hex[c >> 4];
            uri += hex[c & 0x0F];
        }
    }
    uri += "?immutable=1";
    return uri;
}

bool openReadOnly(const std::string& path, sqlite3** db) {
    // A connection serves one thread inside one initialisation step, so it takes no mutex on
    // every call (a live-contacts query makes millions of them).
    const int rc =
        sqlite3_open_v2(immutableUri(path).c_str(), db,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    return rc == SQLITE_OK;
}

void closeDb(sqlite3*& db) {
    if (db != nullptr)
        sqlite3_close(db);
    db = nullptr;
}

sqlite3_stmt* prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

// The root page of a table; the last value of the last row wins. Stays untouched without one.
bool readRootPage(sqlite3* db, const char* table, int32_t& rootPage) {
    sqlite3_stmt* stmt =
        prepare(db, std::string("SELECT rootpage from sqlite_master where type='table' and "
                                "name='") +
                        table + "'");
    if (stmt == nullptr)
        return false;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const int n = sqlite3_data_count(stmt);
        for (int i = 0; i < n; ++i)
            rootPage = static_cast<int32_t>(
                static_cast<uint32_t>(sqlite3_column_int64(stmt, i) & 0xFFFFFFFF));
    }
    sqlite3_finalize(stmt);
    return true;
}

// A column as text, up to its first zero byte; empty when it yields none. The length comes
// from the bytes themselves: asking SQLite for it would lock the connection once more per value.
std::string_view columnText(sqlite3_stmt* stmt, int i) {
    const unsigned char* t = sqlite3_column_text(stmt, i);
    return t != nullptr ? std::string_view(reinterpret_cast<const char*>(t)) : std::string_view();
}

bool validColumns(int32_t count, std::initializer_list<int32_t> positions) {
    if (count < 1)
        return false;
    for (int32_t p : positions) {
        if (p < 0 || p >= count)
            return false;
    }
    return true;
}

} // namespace

SqliteParse::SqliteParse(const std::string& contactsDbPath_, const std::string& smsDbPath_)
    : contactsDbPath(contactsDbPath_), smsDbPath(smsDbPath_) {}

SqliteParse::~SqliteParse() {
    leafPages.clear();
    carvedContacts.clear();
    carvedMessages.clear();
    for (auto& [page, offsets] : freeblockOffsets)
        offsets.clear();
    freeblockOffsets.clear();
    liveContacts.clear();
    dbFile.close();
    closeDb(contactsDb);
    closeDb(smsDb);
}

void SqliteParse::startParse(ePaserType type) {
    if (type != ePaserContacts && type != ePaserSms)
        return;
    if (started)
        return;
    started = true;

    const bool contacts = type == ePaserContacts;
    if (!(contacts ? InitContacOstranyFile() : InitSmsOstranyFile()))
        return;
    const std::string& path = contacts ? contactsDbPath : smsDbPath;
    getDbPageSize(path);
    if (dbFile.open(path) && pageSizeUsable()) {
        loopPage(static_cast<int64_t>(rootPage));
        sortLeafPage();
        // The freeblock chains, the freeblock carve and the area carve run window by window
        // over the sorted leaf pages, each window no larger than the blocks the file keeps in
        // memory, so that the three read each block of the file once instead of three times.
        // The rows keep their order: every freeblock row before every area row, each kind in
        // ascending page order. A page listed twice lies in one window.
        const size_t areaSlots = std::min<size_t>(
            leafPages.size() * static_cast<size_t>(pageSize / 128 + 1), size_t{8} << 20);
        if (contacts)
            carvedContacts.reserve(areaSlots);
        else
            carvedMessages.reserve(areaSlots);
        std::vector<CarvedContact> areaContacts;
        std::vector<CarvedMessage> areaMessages;
        size_t i = 0;
        while (i < leafPages.size()) {
            const int64_t firstBlock = pageStart(leafPages[i]) / DbFile::kBlockSize;
            size_t end = i;
            while (end < leafPages.size() &&
                   pageStart(leafPages[end]) / DbFile::kBlockSize < firstBlock + DbFile::kBlocks)
                ++end;
            carveFrom = leafPages[i];
            carveTo = static_cast<int64_t>(leafPages[end - 1]) + 1;
            loadFreelistCell(std::vector<uint32_t>(leafPages.begin() + static_cast<long>(i),
                                                   leafPages.begin() + static_cast<long>(end)));
            if (contacts) {
                parseContactFreelistCell(rawContactIdColumn, data1Column, contactColumnCount);
                const size_t mark = carvedContacts.size();
                parseContactUnassignedArea(rawContactIdColumn, data1Column, contactColumnCount);
                areaContacts.insert(
                    areaContacts.end(),
                    std::make_move_iterator(carvedContacts.begin() + static_cast<long>(mark)),
                    std::make_move_iterator(carvedContacts.end()));
                carvedContacts.resize(mark);
            } else {
                parseSmsFresslistCell(addressColumn, personColumn, bodyColumn, smsColumnCount);
                const size_t mark = carvedMessages.size();
                parseSmsUnassignedArea(addressColumn, personColumn, bodyColumn, smsColumnCount);
                areaMessages.insert(
                    areaMessages.end(),
                    std::make_move_iterator(carvedMessages.begin() + static_cast<long>(mark)),
                    std::make_move_iterator(carvedMessages.end()));
                carvedMessages.resize(mark);
            }
            i = end;
        }
        carveFrom = 0;
        carveTo = kAllPages;
        carvedContacts.insert(carvedContacts.end(), std::make_move_iterator(areaContacts.begin()),
                              std::make_move_iterator(areaContacts.end()));
        carvedMessages.insert(carvedMessages.end(), std::make_move_iterator(areaMessages.begin()),
                              std::make_move_iterator(areaMessages.end()));
    }
    if (contacts)
        saveContactRecover2File(std::string());
    else
        saveSmsRecover2File(std::string());
}

std::string SqliteParse::get_contacts_mem() {
    return resultText;
}

bool SqliteParse::InitContacOstranyFile() {
    if (!fileExists(contactsDbPath))
        return false;
    if (!contains(contactsDbPath, "contacts2.db"))
        return false;
    if (!openReadOnly(contactsDbPath, &contactsDb)) {
        closeDb(contactsDb);
        return false;
    }
    if (!readRootPage(contactsDb, "data", rootPage)) {
        closeDb(contactsDb);
        return false;
    }
    if (sqlite3_stmt* stmt = prepare(contactsDb, "SELECT * from data")) {
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            contactColumnCount = sqlite3_column_count(stmt);
            for (int i = 0; i < contactColumnCount; ++i) {
                const char* name = sqlite3_column_name(stmt, i);
                if (name == nullptr)
                    continue;
                if (std::string_view(name) == "raw_contact_id")
                    rawContactIdColumn = i;
                else if (std::string_view(name) == "data1")
                    data1Column = i;
            }
        }
        sqlite3_finalize(stmt);
    }
    closeDb(contactsDb);
    return true;
}

bool SqliteParse::InitSmsOstranyFile() {
    if (!fileExists(contactsDbPath) || !fileExists(smsDbPath))
        return false;
    bool ok = openReadOnly(contactsDbPath, &contactsDb) && openReadOnly(smsDbPath, &smsDb);
    if (ok && contains(contactsDbPath, "contacts2.db")) {
        if (sqlite3_stmt* stmt = prepare(contactsDb, "SELECT raw_contact_id, data1 from data ")) {
            while (sqlite3_step(stmt) == SQLITE_ROW)
                liveContacts.add(columnText(stmt, 0), columnText(stmt, 1));
            sqlite3_finalize(stmt);
        } else {
            ok = false;
        }
    }
    // Without the message database's own name the root page is never looked up; the engine
    // then refuses the run rather than carve an unknown table.
    if (ok && !contains(smsDbPath, "mmssms.db"))
        ok = false;
    if (ok)
        ok = readRootPage(smsDb, "sms", rootPage);
    if (ok) {
        if (sqlite3_stmt* stmt = prepare(smsDb, "SELECT * from sms")) {
            if (sqlite3_step(stmt) == SQLITE_ROW) {
                smsColumnCount = sqlite3_column_count(stmt);
                for (int i = 0; i < smsColumnCount; ++i) {
                    const char* name = sqlite3_column_name(stmt, i);
                    if (name == nullptr)
                        continue;
                    const std::string_view n(name);
                    if (n == "address")
                        addressColumn = i;
                    else if (n == "person")
                        personColumn = i;
                    else if (n == "body")
                        bodyColumn = i;
                }
            }
            sqlite3_finalize(stmt);
        }
    }
    closeDb(contactsDb);
    closeDb(smsDb);
    return ok;
}

void SqliteParse::getDbPageSize(const std::string& path) {
    DbFile f;
    if (!f.open(path))
        return;
    const uint32_t v = f.readU16(16);
    pageSize = v == 1 ? 65536 : static_cast<int32_t>(v);
}

bool SqliteParse::pageSizeUsable() const {
    // A page size the file format allows: a power of two from 512 to 65536. Anything else
    // (0, odd values) means a damaged header, and nothing is carved.
    return pageSize >= 512 && pageSize <= 65536 && (pageSize & (pageSize - 1)) == 0;
}

bool SqliteParse::pageInFile(int64_t page) const {
    return page >= 1 && page <= 0xFFFFFFFFll && pageStart(page) < dbFile.size();
}

int64_t SqliteParse::getCellPage(int64_t cellOffset, int64_t page) {
    return static_cast<int64_t>(dbFile.readU32(pageStart(page) + cellOffset));
}

void SqliteParse::loopPage(int64_t page) {
    // Depth-first over an explicit stack, so a deep or hostile tree cannot exhaust the call
    // stack. An interior page is expanded once: a page reached again through a cycle (or a
    // subtree shared by two parents) is not walked again. A leaf reached twice is listed twice.
    std::vector<int64_t> pending{page};
    std::unordered_set<uint32_t> expanded;
    while (!pending.empty()) {
        const int64_t pg = pending.back();
        pending.pop_back();
        if (!pageInFile(pg))
            continue;
        const int64_t pos = pageStart(pg);
        const uint32_t type = dbFile.readU8(pos);
        if (type == 13) {
            leafPages.push_back(static_cast<uint32_t>(pg));
            continue;
        }
        if (type != 5 || !expanded.insert(static_cast<uint32_t>(pg)).second)
            continue;
        uint8_t header[11];
        dbFile.readAt(pos + 1, header, sizeof header);
        const uint32_t cells = (uint32_t{header[2]} << 8) | header[3];
        const int64_t rightMost = (int64_t{header[7]} << 24) | (int64_t{header[8]} << 16) |
                                  (int64_t{header[9]} << 8) | header[10];
        if (rightMost != 0)
            pending.push_back(rightMost);
        for (uint32_t k = 0; k < cells; ++k) {
            // The cell pointer array must stay inside the page.
            const int64_t at = 12 + 2 * static_cast<int64_t>(k);
            if (at + 2 > pageSize)
                break;
            const int64_t cell = dbFile.readU16(pos + at);
            pending.push_back(getCellPage(cell, pg));
        }
    }
}

void SqliteParse::sortLeafPage() {
    std::sort(leafPages.begin(), leafPages.end());
}

void SqliteParse::loadFreelistCell(std::vector<uint32_t> pages) {
    // Offsets already seen on the current page, marked with the page's generation number, so
    // a looping chain ends without clearing a table for every page.
    std::vector<uint32_t> seen(static_cast<size_t>(pageSize), 0);
    uint32_t generation = 0;
    for (uint32_t p : pages) {
        if (freeblockOffsets.count(p) != 0)
            continue; // a page listed twice keeps its first chain
        ++generation;
        const int64_t base = pageStart(p);
        std::vector<uint32_t> chain;
        uint32_t f = dbFile.readU16(base + 1);
        // The chain ends at offset 0; it also ends at an offset whose 4-byte header would not
        // lie inside the page, and at an offset reached a second time.
        while (f != 0) {
            if (static_cast<int64_t>(f) + 4 > pageSize || seen[f] == generation)
                break;
            seen[f] = generation;
            chain.push_back(f);
            f = dbFile.readU16(base + f);
        }
        if (!chain.empty())
            freeblockOffsets.emplace(p, std::move(chain));
    }
}

template <typename Carve> void SqliteParse::forEachFreeblock(Carve carve) {
    for (auto it = freeblockOffsets.lower_bound(static_cast<uint32_t>(carveFrom));
         it != freeblockOffsets.end() && it->first < carveTo; ++it) {
        const auto& [page, offsets] = *it;
        const int64_t start = pageStart(page);
        for (uint32_t f : offsets) {
            const int64_t size = dbFile.readU16(start + f + 2);
            const uint8_t b = static_cast<uint8_t>(dbFile.readU8(start + f + 4));
            const CarveStart cs = freeblockCarveStart(size, b);
            if (cs.length <= 0)
                continue;
            scratch.load(dbFile, start + f + cs.offset, cs.length);
            carve(scratch.view(), cs.length);
        }
    }
}

void SqliteParse::parseContactFreelistCell(const int32_t& rawContactIdPos, const int32_t& data1Pos,
                                           const int32_t& columnCount) {
    if (freeblockOffsets.empty() || !validColumns(columnCount, {rawContactIdPos, data1Pos}))
        return;
    forEachFreeblock([&](const auto& block, int64_t length) {
        carveContactFreeblock(block, length, rawContactIdPos, data1Pos, columnCount,
                              carvedContacts);
    });
}

template <typename Rows, typename Carve>
void SqliteParse::forEachUnallocatedArea(Rows& rows, Carve carve) {
    size_t prevFrom = 0, prevTo = 0;
    const size_t first = static_cast<size_t>(
        std::lower_bound(leafPages.begin(), leafPages.end(), carveFrom) - leafPages.begin());
    const size_t last = static_cast<size_t>(
        std::lower_bound(leafPages.begin(), leafPages.end(), carveTo) - leafPages.begin());
    for (size_t i = first; i < last; ++i) {
        const uint32_t page = leafPages[i];
        const size_t from = rows.size();
        if (i > first && leafPages[i - 1] == page) {
            // A page listed twice yields its rows twice; carving it again would give the same.
            for (size_t k = prevFrom; k < prevTo; ++k)
                rows.push_back(rows[k]);
        } else {
            // The area lies between the cell pointer array and the cell content area (whose
            // start 0 stands for 65536).
            const int64_t start = pageStart(page);
            const int64_t n = dbFile.readU16(start + 3);
            int64_t s = dbFile.readU16(start + 5);
            if (s == 0)
                s = 65536;
            const int64_t length = s - 2 * n - 8;
            if (length > 0) {
                scratch.load(dbFile, start + 8 + 2 * n, length);
                carve(scratch.view(), length);
            }
        }
        prevFrom = from;
        prevTo = rows.size();
    }
}

void SqliteParse::parseContactUnassignedArea(const int32_t& rawContactIdPos,
                                             const int32_t& data1Pos, const int32_t& columnCount) {
    if (leafPages.empty() || !validColumns(columnCount, {rawContactIdPos, data1Pos, data1Column}))
        return;
    forEachUnallocatedArea(carvedContacts, [&](const auto& area, int64_t length) {
        carveContactArea(area, length, rawContactIdPos, data1Pos, columnCount, data1Column,
                         carvedContacts);
    });
}

void SqliteParse::parseSmsFresslistCell(const int32_t& addressPos, const int32_t& personPos,
                                        const int32_t& bodyPos, const int32_t& columnCount) {
    if (freeblockOffsets.empty() || !validColumns(columnCount, {addressPos, personPos, bodyPos}))
        return;
    forEachFreeblock([&](const auto& block, int64_t length) {
        carveSmsFreeblock(block, length, addressPos, personPos, bodyPos, columnCount,
                          carvedMessages);
    });
}

void SqliteParse::parseSmsUnassignedArea(const int32_t& addressPos, const int32_t& personPos,
                                         const int32_t& bodyPos, const int32_t& columnCount) {
    if (leafPages.empty() ||
        !validColumns(columnCount, {addressPos, personPos, bodyPos, bodyColumn}))
        return;
    forEachUnallocatedArea(carvedMessages, [&](const auto& area, int64_t length) {
        carveSmsArea(area, length, addressPos, personPos, bodyPos, columnCount, bodyColumn,
                     carvedMessages);
    });
}

void SqliteParse::saveContactRecover2File(const std::string& /*path*/) {
    std::string text = buildContactText(carvedContacts);
    if (resultText.empty())
        resultText = std::move(text);
    else
        resultText += text;
}

void SqliteParse::saveSmsRecover2File(const std::string& /*path*/) {
    std::string text = buildSmsText(carvedMessages, liveContacts);
    if (resultText.empty())
        resultText = std::move(text);
    else
        resultText += text;
}
