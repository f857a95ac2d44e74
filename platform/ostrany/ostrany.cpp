// The contacts reader: reads the live rows of a copied contacts database through SQLite and
// returns them as four singly linked lists (a first list, the contacts, the data rows, the
// mimetypes) in the layouts of Records.h.
//
// - The copy is opened read-only and immutable, so nothing (no journal, no WAL replay, no
//   side file) changes it.
// - Columns are found by name: the column order of `data` differs between Android versions.
// - Raw contacts flagged deleted = 1 are returned as ordinary contacts: the user deleted them
//   on the phone but the sync adapter has not purged them yet, so their rows and data are
//   still whole; the carver only reads freed space and would never bring them back.
// - Every call returns fresh lists. The caller never frees them; the lists of one call stay
//   valid until the next call, which frees them (the caller's contract lets the heads of a
//   second call replace those of the first), so at most one generation is held.
// - A file that is not a contacts database yields four empty lists.
//
// Thread rules: calls are serialised by a lock; the lists of a call must not be used after
// the next call has returned.
#include "Records.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

// Owns everything one call hands out.
struct Generation {
    std::vector<std::unique_ptr<ContactRecord>> contacts;
    std::vector<std::unique_ptr<ContactRecord>> firstList;
    std::vector<std::unique_ptr<DataRow>> rows;
    std::vector<std::unique_ptr<MimetypeEntry>> mimetypes;
    std::vector<std::unique_ptr<char[]>> texts;

    char* keep(const unsigned char* text) {
        if (!text)
            return nullptr;
        const std::size_t n = std::strlen(reinterpret_cast<const char*>(text));
        auto copy = std::make_unique<char[]>(n + 1);
        std::memcpy(copy.get(), text, n + 1);
        texts.push_back(std::move(copy));
        return texts.back().get();
    }
};

std::mutex gLock;
std::unique_ptr<Generation> gCurrent;

// "file:" URI of a path: '%', '?' and '#' would otherwise be read as URI syntax.
std::string immutableUri(const char* path) {
    std::string uri = "file:";
    for (const char* p = path; *p; ++p) {
        switch (*p) {
        case '%':
            uri += "%25";
            break;
        case '?':
            uri += "%3f";
            break;
        case '#':
            uri += "%23";
            break;
        default:
            uri += *p;
        }
    }
    return uri + "?immutable=1";
}

class Query {
public:
    Query(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK)
            stmt_ = nullptr;
        if (stmt_) {
            for (int i = 0; i < sqlite3_column_count(stmt_); ++i)
                columns_[lower(sqlite3_column_name(stmt_, i))] = i;
        }
    }
    ~Query() { sqlite3_finalize(stmt_); }
    bool ok() const { return stmt_ != nullptr; }
    bool step() { return stmt_ && sqlite3_step(stmt_) == SQLITE_ROW; }
    int column(const char* name) const {
        auto it = columns_.find(name);
        return it == columns_.end() ? -1 : it->second;
    }
    int integer(int col) const { return col < 0 ? 0 : sqlite3_column_int(stmt_, col); }
    const unsigned char* text(int col) const {
        return col < 0 ? nullptr : sqlite3_column_text(stmt_, col);
    }

private:
    static std::string lower(const char* s) {
        std::string out = s ? s : "";
        for (char& c : out)
            c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        return out;
    }
    sqlite3_stmt* stmt_ = nullptr;
    std::map<std::string, int> columns_;
};

void readAll(sqlite3* db, Generation& g) {
    {
        Query q(db, "SELECT * FROM mimetypes");
        const int id = q.column("_id"), name = q.column("mimetype");
        if (q.ok() && id >= 0 && name >= 0) {
            while (q.step()) {
                auto m = std::make_unique<MimetypeEntry>();
                m->id = q.integer(id);
                m->name = g.keep(q.text(name));
                g.mimetypes.push_back(std::move(m));
            }
        }
    }
    {
        Query q(db, "SELECT * FROM raw_contacts ORDER BY _id");
        const int id = q.column("_id"), name = q.column("display_name"),
                  source = q.column("display_name_source");
        if (q.ok() && id >= 0) {
            while (q.step()) {
                auto c = std::make_unique<ContactRecord>();
                c->id = q.integer(id);
                c->text = g.keep(q.text(name));
                c->nameSource = q.integer(source);
                // The first list mirrors the contacts; the program holds only its head.
                auto f = std::make_unique<ContactRecord>(*c);
                g.contacts.push_back(std::move(c));
                g.firstList.push_back(std::move(f));
            }
        }
    }
    {
        Query q(db, "SELECT * FROM data ORDER BY _id");
        const int mime = q.column("mimetype_id"), raw = q.column("raw_contact_id"),
                  d1 = q.column("data1"), d2 = q.column("data2"), d4 = q.column("data4"),
                  d5 = q.column("data5");
        int32_t orgId = -1;
        for (const auto& m : g.mimetypes) {
            if (m->name && std::strcmp(m->name, "vnd.android.cursor.item/organization") == 0)
                orgId = m->id;
        }
        if (q.ok() && mime >= 0 && raw >= 0) {
            while (q.step()) {
                auto r = std::make_unique<DataRow>();
                r->mimetypeId = q.integer(mime);
                r->rawContactId = q.integer(raw);
                r->data1 = g.keep(q.text(d1));
                r->data2 = g.keep(q.text(d2));
                if (r->mimetypeId == orgId) {
                    r->subtitle1 = g.keep(q.text(d4)); // title
                    r->subtitle2 = g.keep(q.text(d5)); // department
                }
                g.rows.push_back(std::move(r));
            }
        }
    }
}

template <class T> void chain(std::vector<std::unique_ptr<T>>& items) {
    for (std::size_t i = 0; i + 1 < items.size(); ++i)
        items[i]->next = items[i + 1].get();
}

} // namespace

extern "C" __attribute__((visibility("default"))) int
ostrany_read(const char* path, void** firstList, ContactRecord** contacts, DataRow** dataRows,
             MimetypeEntry** mimetypes) {
    std::lock_guard<std::mutex> lock(gLock);
    auto g = std::make_unique<Generation>();
    int found = 0;
    if (path) {
        sqlite3* db = nullptr;
        const std::string uri = immutableUri(path);
        if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
            SQLITE_OK) {
            readAll(db, *g);
            found = int(g->contacts.size());
        }
        sqlite3_close(db);
    }
    chain(g->contacts);
    chain(g->firstList);
    chain(g->rows);
    chain(g->mimetypes);
    if (firstList)
        *firstList = g->firstList.empty() ? nullptr : g->firstList.front().get();
    if (contacts)
        *contacts = g->contacts.empty() ? nullptr : g->contacts.front().get();
    if (dataRows)
        *dataRows = g->rows.empty() ? nullptr : g->rows.front().get();
    if (mimetypes)
        *mimetypes = g->mimetypes.empty() ? nullptr : g->mimetypes.front().get();
    // The previous call's lists go now that their heads have been replaced.
    gCurrent = std::move(g);
    return found;
}
