#include "engine/SqliteParse.h"

#include "engine/ResultText.h"

#include <algorithm>
#include <cstring>
#include <sqlite3.h>
#include <sys/stat.h>
#include <type_traits>

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
    if (dbFile.open(path) && pageSizeUsable())
        carveTable(contacts);
    if (contacts)
        saveContactRecover2File(std::string());
    else
        saveSmsRecover2File(std::string());
}

namespace {

void appendRows(CarvedContacts& to, const CarvedContacts& from, size_t begin, size_t end) {
    to.append(from, begin, end);
}

void appendRows(std::vector<CarvedMessage>& to, const std::vector<CarvedMessage>& from,
                size_t begin, size_t end) {
    // Room first, so that rows of `to` itself stay where they are while they are copied.
    to.reserve(to.size() + (end - begin));
    for (size_t k = begin; k < end; ++k)
        to.push_back(from[k]);
}

} // namespace

void SqliteParse::carveTable(bool contacts) {
    // The walk goes level by level. A level of a few scattered pages (the upper levels of a
    // tree) is read page by page; a level of many pages (the leaves) is read block by block in
    // page order, and its leaves are carved while their block is at hand. Leaves of levels read
    // page by page are carved at the end. Whatever order the pages are carved in, the rows are
    // put into the order of the steps afterwards.
    carvedPages.assign(static_cast<size_t>(dbFile.size() / pageSize + 2), false);
    std::vector<CarvedMessage> areaMessages;
    CarvedContacts areaContacts;
    std::vector<int64_t> level{static_cast<int64_t>(rootPage)};
    std::vector<int64_t> next;
    std::vector<int64_t> leavesToCarve;
    while (!level.empty()) {
        std::sort(level.begin(), level.end());
        if (readLevelDirectly(level)) {
            for (int64_t page : level) {
                if (visitPage(page, true, next) == 13)
                    leavesToCarve.push_back(page);
            }
        } else if (contacts) {
            carvePages(level, true, carvedContacts, areaContacts, next);
        } else {
            carvePages(level, true, carvedMessages, areaMessages, next);
        }
        level.swap(next);
        next.clear();
    }
    std::sort(leavesToCarve.begin(), leavesToCarve.end());
    if (contacts)
        carvePages(leavesToCarve, false, carvedContacts, areaContacts, next);
    else
        carvePages(leavesToCarve, false, carvedMessages, areaMessages, next);
    carveFrom = 0;
    carveTo = kAllPages;
    sortLeafPage();
    if (contacts)
        orderCarvedRows(carvedContacts, areaContacts);
    else
        orderCarvedRows(carvedMessages, areaMessages);
}

template <typename Rows>
void SqliteParse::carvePages(const std::vector<int64_t>& pages, bool classify, Rows& rows,
                             Rows& areaRows, std::vector<int64_t>& next) {
    std::vector<uint32_t> window;
    std::vector<int64_t> positions;
    leafRows.reserve(leafRows.size() + pages.size());
    size_t i = 0;
    while (i < pages.size()) {
        // The pages of one block of the file: their types, chains and carves read that block.
        const int64_t block = pageStart(pages[i]) / DbFile::kBlockSize;
        size_t end = i;
        positions.clear();
        for (; end < pages.size() && pageStart(pages[end]) / DbFile::kBlockSize == block; ++end) {
            if (pageInFile(pages[end]) &&
                (positions.empty() || positions.back() != pageStart(pages[end])))
                positions.push_back(pageStart(pages[end]));
        }
        // Only these pages of the block are read (the leaves of a table lie between pages of
        // its indexes and of other tables).
        dbFile.loadPages(positions, pageSize);
        window.clear();
        for (size_t k = i; k < end; ++k) {
            const int64_t page = pages[k];
            if (classify ? visitPage(page, false, next) != 13 : !pageInFile(page))
                continue;
            if (carvedPages[static_cast<size_t>(page)])
                continue; // a leaf listed again is carved once
            carvedPages[static_cast<size_t>(page)] = true;
            window.push_back(static_cast<uint32_t>(page));
        }
        i = end;
        if (window.empty())
            continue;
        // Only this block's chains are needed from here on; the map stays small.
        freeblockOffsets.clear();
        loadFreelistCell(window);
        areaPages = &window;
        for (uint32_t page : window) {
            carveFrom = page;
            carveTo = static_cast<int64_t>(page) + 1;
            LeafRows at{page, static_cast<uint32_t>(rows.size()), 0,
                        static_cast<uint32_t>(areaRows.size()), 0};
            if constexpr (std::is_same_v<Rows, CarvedContacts>) {
                parseContactFreelistCell(rawContactIdColumn, data1Column, contactColumnCount);
                at.freeblockEnd = static_cast<uint32_t>(rows.size());
                // The area carver appends to the run's rows; here they go to the area rows.
                carvedContacts.swap(areaRows);
                parseContactUnassignedArea(rawContactIdColumn, data1Column, contactColumnCount);
                carvedContacts.swap(areaRows);
            } else {
                parseSmsFresslistCell(addressColumn, personColumn, bodyColumn, smsColumnCount);
                at.freeblockEnd = static_cast<uint32_t>(rows.size());
                carvedMessages.swap(areaRows);
                parseSmsUnassignedArea(addressColumn, personColumn, bodyColumn, smsColumnCount);
                carvedMessages.swap(areaRows);
            }
            at.areaEnd = static_cast<uint32_t>(areaRows.size());
            leafRows.push_back(at);
        }
        areaPages = &leafPages;
    }
}

template <typename Rows> void SqliteParse::orderCarvedRows(Rows& rows, Rows& areaRows) {
    const auto byPage = [](const LeafRows& a, const LeafRows& b) { return a.page < b.page; };
    if (!std::is_sorted(leafRows.begin(), leafRows.end(), byPage)) {
        // Leaves carved out of page order (a tree whose leaves lie on several levels).
        std::stable_sort(leafRows.begin(), leafRows.end(), byPage);
        Rows ordered;
        for (const LeafRows& leaf : leafRows)
            appendRows(ordered, rows, leaf.freeblockBegin, leaf.freeblockEnd);
        rows = std::move(ordered);
    }
    // Every listed leaf has been carved; leafPages is sorted.
    size_t k = 0;
    for (uint32_t page : leafPages) {
        while (k < leafRows.size() && leafRows[k].page < page)
            ++k;
        if (k < leafRows.size() && leafRows[k].page == page)
            appendRows(rows, areaRows, leafRows[k].areaBegin, leafRows[k].areaEnd);
    }
}

std::string SqliteParse::get_contacts_mem() {
    // A copy; a text of megabytes is copied into memory marked for huge pages.
    std::string copy;
    kestrova::engine::reserveOnHugePages(copy, resultText.size());
    copy.append(resultText);
    return copy;
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
    uint8_t b[2];
    f.readDirect(16, b, 2);
    const uint32_t v = DbFile::loadU16(b);
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

bool SqliteParse::readLevelDirectly(const std::vector<int64_t>& level) const {
    // Reading one page costs about as much as reading 16 pages of a block: a level with fewer
    // pages than that per block it touches is read page by page. `level` is sorted.
    size_t blocks = 0;
    int64_t last = -1;
    for (int64_t page : level) {
        const int64_t block = pageStart(page) / DbFile::kBlockSize;
        if (block != last)
            ++blocks;
        last = block;
    }
    return level.size() < 16 * blocks;
}

uint32_t SqliteParse::visitPage(int64_t page, bool direct, std::vector<int64_t>& next) {
    if (!pageInFile(page))
        return 0;
    const int64_t pos = pageStart(page);
    const size_t size = static_cast<size_t>(pageSize);
    uint32_t type;
    if (direct) {
        pageImage.resize(size);
        dbFile.readDirect(pos, pageImage.data(), pageSize);
        type = pageImage[0];
    } else {
        type = dbFile.readU8(pos);
    }
    if (type == 13) {
        leafPages.push_back(static_cast<uint32_t>(page));
        return type;
    }
    // An interior page is expanded once: a page reached again through a cycle (or a subtree
    // shared by two parents) is not walked again.
    if (type != 5 || !expandedPages.insert(static_cast<uint32_t>(page)).second)
        return type;
    if (!direct) {
        pageImage.resize(size);
        dbFile.readAt(pos, pageImage.data(), pageSize);
    }
    const uint8_t* p = pageImage.data();
    const uint32_t cells = DbFile::loadU16(p + 3);
    const int64_t rightMost = DbFile::loadU32(p + 8);
    if (rightMost != 0)
        next.push_back(rightMost);
    for (uint32_t k = 0; k < cells; ++k) {
        // The cell pointer array must stay inside the page.
        const size_t at = 12 + 2 * static_cast<size_t>(k);
        if (at + 2 > size)
            break;
        const int64_t cell = DbFile::loadU16(p + at);
        if (cell + 4 <= pageSize)
            next.push_back(DbFile::loadU32(p + cell));
        else
            next.push_back(getCellPage(cell, page)); // reaches past the page
    }
    return type;
}

void SqliteParse::loopPage(int64_t page) {
    // Level by level over explicit lists, so a deep or hostile tree cannot exhaust the call
    // stack; each level in page order. A leaf reached twice is listed twice.
    std::vector<int64_t> level{page};
    std::vector<int64_t> next;
    while (!level.empty()) {
        std::sort(level.begin(), level.end());
        const bool direct = readLevelDirectly(level);
        for (int64_t pg : level)
            visitPage(pg, direct, next);
        level.swap(next);
        next.clear();
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
        // The page itself where the file keeps it in memory. A freeblock that reaches past
        // the page is read through the file's reads, after which the page is looked up again.
        const uint8_t* inPage = nullptr;
        bool lookUp = true;
        for (uint32_t f : offsets) {
            if (lookUp)
                inPage = dbFile.view(start, pageSize);
            const bool headerInPage = inPage != nullptr && f + 5 <= static_cast<uint32_t>(pageSize);
            lookUp = !headerInPage;
            const int64_t size =
                headerInPage ? DbFile::loadU16(inPage + f + 2) : dbFile.readU16(start + f + 2);
            const uint8_t b =
                headerInPage ? inPage[f + 4] : static_cast<uint8_t>(dbFile.readU8(start + f + 4));
            const CarveStart cs = freeblockCarveStart(size, b);
            if (cs.length <= 0)
                continue;
            // A record is only taken when it ends within the L bytes, and bytes past them read
            // as zero, so the bytes can be carved where the file keeps them.
            if (headerInPage && f + cs.offset + cs.length <= pageSize) {
                carve(ByteView{inPage + f + cs.offset, cs.length}, cs.length);
                continue;
            }
            lookUp = true;
            if (const uint8_t* bytes = dbFile.view(start + f + cs.offset, cs.length)) {
                carve(ByteView{bytes, cs.length}, cs.length);
            } else {
                scratch.load(dbFile, start + f + cs.offset, cs.length);
                carve(scratch.view(), cs.length);
            }
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
    const std::vector<uint32_t>& pages = *areaPages;
    const size_t first = static_cast<size_t>(
        std::lower_bound(pages.begin(), pages.end(), carveFrom) - pages.begin());
    const size_t last =
        static_cast<size_t>(std::lower_bound(pages.begin(), pages.end(), carveTo) - pages.begin());
    for (size_t i = first; i < last; ++i) {
        const uint32_t page = pages[i];
        const size_t from = rows.size();
        if (i > first && pages[i - 1] == page) {
            // A page listed twice yields its rows twice; carving it again would give the same.
            appendRows(rows, rows, prevFrom, prevTo);
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
