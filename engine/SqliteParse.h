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
#include <unordered_set>
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
    bool pageSizeUsable() const;

    // Reads the type of one page reached by the walk. A leaf is listed in leafPages; an interior
    // page seen for the first time adds its children to `next`. `direct` reads the page on its
    // own instead of through the blocks the file keeps in memory. Returns the page type, or 0
    // for a page outside the file.
    uint32_t visitPage(int64_t page, bool direct, std::vector<int64_t>& next);
    // Whether a level of the walk is better read page by page than block by block.
    bool readLevelDirectly(const std::vector<int64_t>& level) const;
    // Steps 4 to 8 of a run in one pass over the file: the walk down to the leaves, their
    // freeblock chains and both carvers, block by block in page order, so that each block of
    // the file is read once. The rows come out as the steps give them one after another.
    void carveTable(bool contacts);
    // Carves the leaves among the sorted `pages` (reading each page's type first when
    // `classify`), block by block; interior pages met on the way add their children to `next`.
    template <typename Rows>
    void carvePages(const std::vector<int64_t>& pages, bool classify, Rows& rows, Rows& areaRows,
                    std::vector<int64_t>& next);
    // Puts the carved rows into the order of the steps: freeblock rows page by page, then the
    // area rows of every listed leaf in leafPages' order (a leaf listed twice gives them twice).
    template <typename Rows> void orderCarvedRows(Rows& rows, Rows& areaRows);
    // Runs `carve(area, length)` on the unallocated area of each page of `areaPages` in the
    // current window; a page listed twice repeats the rows its first listing appended to `rows`.
    template <typename Rows, typename Carve> void forEachUnallocatedArea(Rows& rows, Carve carve);
    // Runs `carve(block, length)` on every freeblock of the current window's leaf pages, in
    // page and chain order, skipping a freeblock whose carve length is not positive.
    template <typename Carve> void forEachFreeblock(Carve carve);

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
    kestrova::engine::CarvedContacts carvedContacts;
    kestrova::engine::LiveRows liveContacts;
    std::vector<CarvedMessage> carvedMessages;

    // The leaf pages the carvers work on: page numbers from carveFrom up to, not including,
    // carveTo, of areaPages for the unallocated areas. All leaf pages unless a run carves
    // page by page.
    static constexpr int64_t kAllPages = int64_t{1} << 32;
    int64_t carveFrom = 0;
    int64_t carveTo = kAllPages;
    const std::vector<uint32_t>* areaPages = &leafPages;

    // State of the walk: interior pages already expanded, leaves already carved, the bytes of
    // the interior page being expanded, and where each carved leaf's rows lie.
    std::unordered_set<uint32_t> expandedPages;
    std::vector<bool> carvedPages;
    std::vector<uint8_t> pageImage;
    struct LeafRows {
        uint32_t page;
        uint32_t freeblockBegin, freeblockEnd; // in the run's rows
        uint32_t areaBegin, areaEnd;           // in the area rows
    };
    std::vector<LeafRows> leafRows;

    kestrova::engine::ScratchBuffer scratch;
    bool started = false;
};
