// The contacts reader as the program loads it: libostrany.so from the program folder.
#include "Records.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sqlite3.h>

namespace {

OstranyReadFn loadReader() {
    static void* handle = ::dlopen(
        (std::string(KESTROVA_PROGRAM_DIR) + "/" + kOstranyLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    return handle ? reinterpret_cast<OstranyReadFn>(::dlsym(handle, kOstranyEntry)) : nullptr;
}

void exec(sqlite3* db, const char* sql) {
    char* err = nullptr;
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
}

// A small contacts database; `newOrder` puts hash_id and extra columns where recent phones
// have them, so data1 and data2 sit at other positions.
std::string makeContactsDb(const TempDir& dir, const char* name, bool newOrder) {
    const std::string path = dir.file(name);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    exec(db, "CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY, mimetype TEXT NOT NULL)");
    exec(db, "CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY, deleted INTEGER, "
             "display_name TEXT, display_name_source INTEGER)");
    if (newOrder)
        exec(db, "CREATE TABLE data (_id INTEGER PRIMARY KEY, package_id INTEGER, "
                 "mimetype_id INTEGER, raw_contact_id INTEGER, hash_id TEXT, is_read_only "
                 "INTEGER, data1 TEXT, data2 TEXT, data3 TEXT, data4 TEXT, data5 TEXT)");
    else
        exec(db, "CREATE TABLE data (_id INTEGER PRIMARY KEY, data5 TEXT, data4 TEXT, "
                 "data2 TEXT, data1 TEXT, raw_contact_id INTEGER, mimetype_id INTEGER)");
    exec(db, "INSERT INTO mimetypes VALUES (3, 'vnd.android.cursor.item/phone_v2'),"
             "(4, 'vnd.android.cursor.item/organization')");
    exec(db, "INSERT INTO raw_contacts VALUES (1, 0, 'Ann', 40), (2, 1, 'Gone Not Purged', 40),"
             "(3, 0, NULL, 0)");
    exec(db, "INSERT INTO data (_id, mimetype_id, raw_contact_id, data1, data2, data4, data5) "
             "VALUES (10, 3, 1, '555', '2', 'x', 'y'), (11, 4, 1, 'Acme', '1', 'Boss', 'Sales'),"
             "(12, 3, 2, '777', NULL, NULL, NULL)");
    sqlite3_close(db);
    return path;
}

struct Heads {
    void* first = nullptr;
    ContactRecord* contacts = nullptr;
    DataRow* rows = nullptr;
    MimetypeEntry* mimetypes = nullptr;
    void read(OstranyReadFn fn, const char* path) {
        fn(path, &first, &contacts, &rows, &mimetypes);
    }
};

class Reader : public ::testing::TestWithParam<bool> {};

TEST_P(Reader, ReturnsRowsFoundByColumnName) {
    const OstranyReadFn read = loadReader();
    ASSERT_NE(read, nullptr);
    TempDir dir;
    const std::string path = makeContactsDb(dir, "contacts2.db", GetParam());
    const std::string before = TempDir::read(path);
    Heads h;
    h.read(read, path.c_str());

    ASSERT_NE(h.contacts, nullptr);
    EXPECT_NE(h.first, nullptr);
    const ContactRecord* ann = h.contacts;
    EXPECT_EQ(ann->id, 1);
    EXPECT_STREQ(ann->text, "Ann");
    EXPECT_EQ(ann->nameSource, 40);
    EXPECT_EQ(ann->deleted, 0);
    // Deleted on the phone but not purged: still a whole contact, returned as live.
    ASSERT_NE(ann->next, nullptr);
    EXPECT_STREQ(ann->next->text, "Gone Not Purged");
    EXPECT_EQ(ann->next->deleted, 0);
    ASSERT_NE(ann->next->next, nullptr);
    EXPECT_EQ(ann->next->next->text, nullptr);
    EXPECT_EQ(ann->next->next->next, nullptr);

    ASSERT_NE(h.rows, nullptr);
    const DataRow* phone = h.rows;
    EXPECT_EQ(phone->mimetypeId, 3);
    EXPECT_EQ(phone->rawContactId, 1);
    EXPECT_STREQ(phone->data1, "555");
    EXPECT_STREQ(phone->data2, "2");
    EXPECT_EQ(phone->subtitle1, nullptr); // only organization rows carry title and department
    const DataRow* org = phone->next;
    ASSERT_NE(org, nullptr);
    EXPECT_STREQ(org->data1, "Acme");
    EXPECT_STREQ(org->subtitle1, "Boss");
    EXPECT_STREQ(org->subtitle2, "Sales");
    ASSERT_NE(org->next, nullptr);
    EXPECT_EQ(org->next->data2, nullptr);

    ASSERT_NE(h.mimetypes, nullptr);
    EXPECT_EQ(h.mimetypes->id, 3);
    EXPECT_STREQ(h.mimetypes->name, "vnd.android.cursor.item/phone_v2");

    EXPECT_EQ(TempDir::read(path), before); // reading never changes the copy
}

INSTANTIATE_TEST_SUITE_P(DataColumnOrders, Reader, ::testing::Bool());

TEST(ReaderCalls, EachCallReturnsFreshListsAndNonDatabasesGiveNothing) {
    const OstranyReadFn read = loadReader();
    ASSERT_NE(read, nullptr);
    TempDir dir;
    const std::string path = makeContactsDb(dir, "odd ?#% name.db", true);
    Heads a, b;
    a.read(read, path.c_str());
    ASSERT_NE(a.contacts, nullptr);
    a.contacts->checked = 1;
    b.read(read, path.c_str());
    ASSERT_NE(b.contacts, nullptr);
    EXPECT_NE(a.contacts, b.contacts);
    EXPECT_EQ(b.contacts->checked, 0);
    EXPECT_STREQ(b.contacts->text, "Ann");

    for (const std::string& bad : {dir.write("text.db", "not a database at all"),
                                   dir.write("empty.db", ""), dir.file("missing.db")}) {
        Heads h;
        h.contacts = reinterpret_cast<ContactRecord*>(&h); // overwritten, never kept
        h.read(read, bad.c_str());
        EXPECT_EQ(h.contacts, nullptr) << bad;
        EXPECT_EQ(h.rows, nullptr) << bad;
        EXPECT_EQ(h.mimetypes, nullptr) << bad;
    }
}

} // namespace
