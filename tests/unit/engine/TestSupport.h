// Helpers of the engine tests: byte builders for records and pages, temporary folders, and
// access to the engine's private operations.
#pragma once

#include "engine/SqliteParse.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
using CarvedContact = std::pair<std::string, std::string>;
using PairList = std::vector<CarvedContact>;

inline PairList pairsOf(const kestrova::engine::PairRows& rows) {
    PairList out;
    for (size_t j = 0; j < rows.size(); ++j)
        out.emplace_back(rows.first(j), rows.second(j));
    return out;
}

struct SqliteParseTestAccess {
    static kestrova::engine::DbFile& dbFile(SqliteParse& p) { return p.dbFile; }
    static int32_t& pageSize(SqliteParse& p) { return p.pageSize; }
    static std::vector<uint32_t>& leafPages(SqliteParse& p) { return p.leafPages; }
    static std::map<uint32_t, std::vector<uint32_t>>& freeblocks(SqliteParse& p) {
        return p.freeblockOffsets;
    }
    static PairList carvedContacts(SqliteParse& p) { return pairsOf(p.carvedContacts); }
    static void getDbPageSize(SqliteParse& p, const std::string& path) { p.getDbPageSize(path); }
    static void loopPage(SqliteParse& p, int64_t page) { p.loopPage(page); }
    static void sortLeafPage(SqliteParse& p) { p.sortLeafPage(); }
    static void loadFreelistCell(SqliteParse& p) { p.loadFreelistCell(p.leafPages); }
    static void parseContactFreelistCell(SqliteParse& p, int32_t P, int32_t Q, int32_t C) {
        p.parseContactFreelistCell(P, Q, C);
    }
    // A whole run with each step over every leaf page at once, in the plain order of the
    // steps: the text that a run carving window by window must give too.
    static std::string runInOnePass(SqliteParse& p, bool contacts) {
        if (!(contacts ? p.InitContacOstranyFile() : p.InitSmsOstranyFile()))
            return {};
        const std::string& path = contacts ? p.contactsDbPath : p.smsDbPath;
        p.getDbPageSize(path);
        if (!p.dbFile.open(path) || !p.pageSizeUsable())
            return {};
        p.loopPage(p.rootPage);
        p.sortLeafPage();
        p.loadFreelistCell(p.leafPages);
        if (contacts) {
            p.parseContactFreelistCell(p.rawContactIdColumn, p.data1Column, p.contactColumnCount);
            p.parseContactUnassignedArea(p.rawContactIdColumn, p.data1Column, p.contactColumnCount);
            p.saveContactRecover2File(std::string());
        } else {
            p.parseSmsFresslistCell(p.addressColumn, p.personColumn, p.bodyColumn,
                                    p.smsColumnCount);
            p.parseSmsUnassignedArea(p.addressColumn, p.personColumn, p.bodyColumn,
                                     p.smsColumnCount);
            p.saveSmsRecover2File(std::string());
        }
        return p.resultText;
    }
    // The contact rows of the table at `root` as the run carves them (in one pass over the
    // file) and as the steps give them one after another over every leaf page.
    static PairList carveTableContacts(SqliteParse& p, int32_t root, int32_t P, int32_t Q,
                                       int32_t C) {
        p.rootPage = root;
        p.rawContactIdColumn = P;
        p.data1Column = Q;
        p.contactColumnCount = C;
        p.carveTable(true);
        return pairsOf(p.carvedContacts);
    }
    static PairList stepsContacts(SqliteParse& p, int32_t root, int32_t P, int32_t Q, int32_t C) {
        p.loopPage(root);
        p.sortLeafPage();
        p.loadFreelistCell(p.leafPages);
        p.parseContactFreelistCell(P, Q, C);
        p.data1Column = Q;
        p.parseContactUnassignedArea(P, Q, C);
        return pairsOf(p.carvedContacts);
    }
    static void parseContactUnassignedArea(SqliteParse& p, int32_t P, int32_t Q, int32_t C) {
        p.data1Column = Q;
        p.parseContactUnassignedArea(P, Q, C);
    }
};

// A folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kestrova-test-XXXXXX");
        path_ = ::mkdtemp(tmpl.data()) != nullptr ? tmpl : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline void appendVarint(Bytes& out, uint64_t v) {
    uint8_t tmp[10];
    int n = 0;
    do {
        tmp[n++] = static_cast<uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v != 0);
    for (int i = n - 1; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(tmp[i] | (i > 0 ? 0x80 : 0)));
}

// Serial types as varints, then the body bytes.
inline Bytes record(std::initializer_list<uint64_t> types, const Bytes& body) {
    Bytes out;
    for (uint64_t t : types)
        appendVarint(out, t);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline Bytes textBytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline void put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 24);
    b[at + 1] = static_cast<uint8_t>(v >> 16);
    b[at + 2] = static_cast<uint8_t>(v >> 8);
    b[at + 3] = static_cast<uint8_t>(v);
}

// A database file image of whole pages; page 1 carries the page size at offset 16.
class PageFile {
public:
    PageFile(uint32_t pageSize, uint32_t pages) : size_(pageSize), bytes_(pageSize * pages, 0) {
        put16(bytes_, 16, pageSize == 65536 ? 1 : pageSize);
    }
    uint8_t* page(uint32_t n) { return bytes_.data() + (n - 1) * size_; }
    size_t base(uint32_t n) const { return (n - 1) * static_cast<size_t>(size_); }
    void type(uint32_t n, uint8_t t) { bytes_[base(n)] = t; }
    void u16(uint32_t n, size_t off, uint32_t v) { put16(bytes_, base(n) + off, v); }
    void u32(uint32_t n, size_t off, uint32_t v) { put32(bytes_, base(n) + off, v); }
    void bytes(uint32_t n, size_t off, const Bytes& b) {
        std::copy(b.begin(), b.end(), bytes_.begin() + static_cast<long>(base(n) + off));
    }
    // An interior table page with the given children: cells at the end of the page.
    void interior(uint32_t n, std::initializer_list<uint32_t> children, uint32_t rightMost) {
        type(n, 5);
        u16(n, 3, static_cast<uint32_t>(children.size()));
        u32(n, 8, rightMost);
        size_t cell = size_;
        size_t k = 0;
        for (uint32_t c : children) {
            cell -= 8;
            u32(n, cell, c);
            u16(n, 12 + 2 * k++, static_cast<uint32_t>(cell));
        }
        u16(n, 5, static_cast<uint32_t>(cell));
    }
    // A leaf table page without cells whose content area starts at `contentStart`.
    void leaf(uint32_t n, uint32_t contentStart) {
        type(n, 13);
        u16(n, 5, contentStart);
    }
    // A freeblock at `off` of `size` bytes pointing at `next`.
    void freeblock(uint32_t n, uint32_t off, uint32_t size, uint32_t next) {
        u16(n, off, next);
        u16(n, off + 2, size);
    }
    bool write(const std::string& path) const {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes_.data()),
                  static_cast<std::streamsize>(bytes_.size()));
        return static_cast<bool>(out);
    }
    Bytes& raw() { return bytes_; }

private:
    uint32_t size_;
    Bytes bytes_;
};
