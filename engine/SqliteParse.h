// The recovery engine. Given the paths of a copied contacts database (contacts2.db) and a
// copied message database (mmssms.db), one object performs one run:
//
//   contacts run: carves deleted rows of table `data` and yields "name TAB number" lines;
//   messages run: carves deleted rows of table `sms` and yields
//                 "contact name TAB address TAB body" lines.
//
// Deleted rows are never read through SQLite: the engine reads the database file as raw bytes,
// walks the table's b-tree to its leaf pages and carves records out of each leaf page's
// freeblocks and out of the unallocated gap between its cell pointer array and its cell
// content area. SQLite answers only a few fixed queries (root page, column positions, live
// contact rows), on connections opened read-only and immutable, so that nothing (no journal
// rollback, no WAL checkpoint, no side file) changes the copy before its bytes are read.
//
// Thread rules: an object is used by one thread; startParse does all its work on the calling
// thread. Nothing is thrown, logged or written to disk.
#pragma once

#include "engine/Carve.h"
#include "engine/DbFile.h"
#include "engine/ResultText.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

enum ePaserType {
    ePaserContacts = 0, // contacts run on the first path
    ePaserSms = 1,      // messages run (needs both paths)
};

using CarvedMessage = kestrova::engine::CarvedMessage;

class SqliteParse {
public:
    SqliteParse(const std::string& contactsDbPath, const std::string& smsDbPath);
    ~SqliteParse();
    SqliteParse(const SqliteParse&) = delete;
    SqliteParse& operator=(const SqliteParse&) = delete;

    // Performs one run. Any other value than the two kinds returns at once. An object serves
    // one run: a second call returns at once and leaves the first run's text.
    void startParse(ePaserType type);

    // The result text of the run; empty before a run and after a refused one.
    std::string get_contacts_mem();

private:
    friend struct SqliteParseTestAccess;

    bool InitContacOstranyFile();
    bool InitSmsOstranyFile();
    void getDbPageSize(const std::string& path);
    void loopPage(int64_t page);
    void sortLeafPage();
    int64_t getCellPage(int64_t cellOffset, int64_t page);
    void loadFreelistCell(std::vector<uint32_t> pages);
    void parseContactFreelistCell(const int32_t& rawContactIdPos, const int32_t& data1Pos,
                                  const int32_t& columnCount);
    void parseContactUnassignedArea(const int32_t& rawContactIdPos, const int32_t& data1Pos,
                                    const int32_t& columnCount);
    void parseSmsFresslistCell(const int32_t& addressPos, const int32_t& personPos,
                               const int32_t& bodyPos, const int32_t& columnCount);
    void parseSmsUnassignedArea(const int32_t& addressPos, const int32_t& personPos,
                                const int32_t& bodyPos, const int32_t& columnCount);
    void saveContactRecover2File(const std::string& path);
    void saveSmsRecover2File(const std::string& path);

    // Positions are 64-bit: (page - 1) * pageSize + offset.
    int64_t pageStart(int64_t page) const { return (page - 1) * static_cast<int64_t>(pageSize); }
    bool pageInFile(int64_t page) const;
    // Runs `carve(area, length)` on the unallocated area of each leaf page of the current
    // window; a page listed twice repeats the rows its first listing appended to `rows`.
    template <typename Rows, typename Carve> void forEachUnallocatedArea(Rows& rows, Carve carve);
    // Runs `carve(block, length)` on every freeblock of the current window's leaf pages, in
    // page and chain order, skipping a freeblock whose carve length is not positive.
    template <typename Carve> void forEachFreeblock(Carve carve);
    bool pageSizeUsable() const;

    sqlite3* smsDb = nullptr;
    sqlite3* contactsDb = nullptr;
    int32_t rootPage = 0;
    int32_t pageSize = 0;
    std::string contactsDbPath;
    std::string smsDbPath;
    std::vector<uint32_t> leafPages;
    std::map<uint32_t, std::vector<uint32_t>> freeblockOffsets;
    kestrova::engine::DbFile dbFile;
    // Column members stay -1 when initialisation does not find them; the carvers then carve
    // nothing.
    int32_t contactColumnCount = -1;
    int32_t smsColumnCount = -1;
    int32_t rawContactIdColumn = -1;
    int32_t data1Column = -1;
    int32_t addressColumn = -1;
    int32_t personColumn = -1;
    int32_t bodyColumn = -1;
    std::string resultText;
    std::vector<std::pair<std::string, std::string>> carvedContacts;
    kestrova::engine::LiveRows liveContacts;
    std::vector<CarvedMessage> carvedMessages;

    // The leaf pages the carvers work on: page numbers from carveFrom up to, not including,
    // carveTo. All pages unless a run carves window by window.
    static constexpr int64_t kAllPages = int64_t{1} << 32;
    int64_t carveFrom = 0;
    int64_t carveTo = kAllPages;

    kestrova::engine::ScratchBuffer scratch;
    bool started = false;
};
