// Whole runs on generated phones: the known deleted rows come back, nothing is written, and
// damaged or missing files yield less, never a crash.
#include "TestSupport.h"
#include "tools/samplephone/SamplePhone.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <map>
#include <sstream>

namespace fs = std::filesystem;
using kestrova::samplephone::Options;
using kestrova::samplephone::Result;

namespace {

std::string run(const std::string& contacts, const std::string& sms, int kind) {
    SqliteParse engine(contacts, sms);
    engine.startParse(static_cast<ePaserType>(kind));
    return engine.get_contacts_mem();
}

Result makePhone(const std::string& dir, Options o = {}) {
    o.outDir = dir;
    Result r;
    std::string error;
    EXPECT_TRUE(kestrova::samplephone::generate(o, r, error)) << error;
    return r;
}

bool hasLine(const std::string& text, const std::string& line) {
    return text.find(line + "\r\n") != std::string::npos &&
           (text.compare(0, line.size() + 2, line + "\r\n") == 0 ||
            text.find("\n" + line + "\r\n") != std::string::npos);
}

bool hasLineEnding(const std::string& text, const std::string& tail) {
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (l.size() >= tail.size() + 1 && l.back() == '\r' &&
            l.compare(l.size() - 1 - tail.size(), tail.size(), tail) == 0)
            return true;
    }
    return false;
}

struct PhoneCase {
    const char* name;
    void (*setup)(Options&);
};

void PrintTo(const PhoneCase& c, std::ostream* os) {
    *os << c.name;
}

class GeneratedPhone : public testing::TestWithParam<PhoneCase> {};

TEST_P(GeneratedPhone, DeletedContactsAndMessagesComeBack) {
    TempDir dir;
    Options o;
    GetParam().setup(o);
    const Result r = makePhone(dir.path(), o);
    ASSERT_FALSE(r.expectedContacts.empty());
    const std::string contacts = run(r.contactsPath, r.smsPath, ePaserContacts);
    for (const auto& [name, number] : r.expectedContacts)
        EXPECT_TRUE(hasLine(contacts, name + "\t" + number)) << name << " " << number;
    const std::string sms = run(r.contactsPath, r.smsPath, ePaserSms);
    for (const auto& [address, body] : r.expectedMessages)
        EXPECT_TRUE(hasLineEnding(sms, "\t" + address + "\t" + body)) << address << " " << body;
    // A message from a live contact whose number is stored as plain digits gets the name.
    EXPECT_NE(sms.find("\t+86"), std::string::npos);
    EXPECT_EQ(contacts.substr(contacts.size() - 2), "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Options, GeneratedPhone,
                         testing::Values(PhoneCase{"RecentOrder", [](Options&) {}},
                                         PhoneCase{"OldOrder",
                                                   [](Options& o) { o.oldDataOrder = true; }},
                                         PhoneCase{"Wal", [](Options& o) { o.wal = true; }},
                                         PhoneCase{"LargePages",
                                                   [](Options& o) {
                                                       o.pageSize = 65536;
                                                       o.oldDataOrder = true;
                                                       o.schemaFormat = 4;
                                                   }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GeneratedPhone, WindowedRunEqualsOnePassOverAllPages) {
    // A database of several times the memory the file keeps, with rows in freeblocks and in
    // unallocated areas: the run that walks and carves it block by block gives the same text,
    // byte for byte, as the steps run once each over every page.
    TempDir dir;
    Options o;
    o.bulk = true;
    o.contacts = 50000;
    o.deletedContacts = 15000;
    o.messages = 150000;
    o.deletedMessages = 45000;
    const Result r = makePhone(dir.path(), o);
    const auto window = static_cast<uintmax_t>(kestrova::engine::DbFile::kBlockSize);
    ASSERT_GT(fs::file_size(r.contactsPath), 2 * window);
    ASSERT_GT(fs::file_size(r.smsPath), window);
    for (const bool contacts : {true, false}) {
        SqliteParse whole(r.contactsPath, r.smsPath);
        const std::string expected = SqliteParseTestAccess::runInOnePass(whole, contacts);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(run(r.contactsPath, r.smsPath, contacts ? ePaserContacts : ePaserSms), expected)
            << (contacts ? "contacts" : "messages");
    }
}

TEST(GeneratedPhone, MessagesGetTheNameOfTheLiveContact) {
    // A live contact whose number is stored as digits, messaged from "+86" and that number.
    TempDir dir;
    const Result r = makePhone(dir.path());
    const std::string sms = run(r.contactsPath, r.smsPath, ePaserSms);
    size_t named = 0;
    std::istringstream in(sms);
    std::string l;
    while (std::getline(in, l)) {
        if (l.rfind("N/A\t", 0) != 0)
            ++named;
    }
    EXPECT_GT(named, 0u) << sms;
}

TEST(GeneratedPhone, VacuumedDatabaseGivesEmptyText) {
    TempDir dir;
    const Result r = makePhone(dir.path());
    for (const std::string& path : {r.contactsPath, r.smsPath}) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "VACUUM", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    EXPECT_EQ(run(r.contactsPath, r.smsPath, ePaserContacts), "");
    EXPECT_EQ(run(r.contactsPath, r.smsPath, ePaserSms), "");
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        files[e.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

TEST(ReadOnly, RunsLeaveFilesAndFolderUnchanged) {
    TempDir dir;
    const Result r = makePhone(dir.path());
    const auto before = snapshot(dir.path());
    run(r.contactsPath, r.smsPath, ePaserContacts);
    run(r.contactsPath, r.smsPath, ePaserSms);
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(ReadOnly, CopyWithAPendingWriteAheadLog) {
    // Copy a WAL-mode database and its log while the writer still holds them, as a copy off
    // a phone does. Opening that copy read-write would checkpoint the log into the file and
    // delete it, changing the very bytes the carvers read.
    TempDir src, copy;
    Options o;
    o.wal = true;
    const Result r = makePhone(src.path(), o);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(r.contactsPath.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "PRAGMA wal_autocheckpoint=0; PRAGMA secure_delete=OFF;"
                           "DELETE FROM data WHERE _id % 7 = 0;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    ASSERT_TRUE(fs::exists(r.contactsPath + "-wal"));
    for (const char* f : {"contacts2.db", "contacts2.db-wal", "mmssms.db"})
        fs::copy_file(src.file(f), copy.file(f));
    sqlite3_close(db);

    const auto before = snapshot(copy.path());
    const std::string contacts =
        run(copy.file("contacts2.db"), copy.file("mmssms.db"), ePaserContacts);
    const std::string sms = run(copy.file("contacts2.db"), copy.file("mmssms.db"), ePaserSms);
    EXPECT_EQ(snapshot(copy.path()), before);
    EXPECT_FALSE(contacts.empty());
    EXPECT_FALSE(sms.empty());
}

TEST(ReadOnly, PathWithUriSpecialCharacters) {
    TempDir dir;
    const std::string odd = dir.file("a b?c=1#d%20e&f");
    const Result r = makePhone(odd);
    const std::string expected = run(r.contactsPath, r.smsPath, ePaserContacts);
    EXPECT_FALSE(expected.empty());
    for (const auto& [name, number] : r.expectedContacts)
        EXPECT_TRUE(hasLine(expected, name + "\t" + number));
    EXPECT_EQ(snapshot(odd).size(), 4u);
}

TEST(Refusals, EmptyTextWithoutAUsableRun) {
    TempDir dir;
    const Result r = makePhone(dir.path());
    const std::string missing = dir.file("gone/contacts2.db");
    fs::copy_file(r.contactsPath, dir.file("phone.db"));
    struct Case {
        const char* name;
        std::string contacts, sms;
        int kind;
    } cases[] = {
        {"unknown kind", r.contactsPath, r.smsPath, 7},
        {"negative kind", r.contactsPath, r.smsPath, -1},
        {"contacts missing", missing, r.smsPath, ePaserContacts},
        {"messages need the contacts database", missing, r.smsPath, ePaserSms},
        {"messages database missing", r.contactsPath, dir.file("none/mmssms.db"), ePaserSms},
        {"contacts path without contacts2.db", dir.file("phone.db"), r.smsPath, ePaserContacts},
        {"not a database", dir.file("expected-contacts.txt") + "", r.smsPath, ePaserContacts},
    };
    for (const auto& c : cases)
        EXPECT_EQ(run(c.contacts, c.sms, c.kind), "") << c.name;
}

TEST(Refusals, MessagesWithoutContactsNameGetNoNames) {
    TempDir dir;
    const Result r = makePhone(dir.path());
    fs::copy_file(r.contactsPath, dir.file("phone.db"));
    const std::string sms = run(dir.file("phone.db"), r.smsPath, ePaserSms);
    ASSERT_FALSE(sms.empty());
    std::istringstream in(sms);
    std::string l;
    while (std::getline(in, l))
        EXPECT_EQ(l.rfind("N/A\t", 0), 0u) << l;
}

TEST(Lifecycle, TextIsKeptAndOneRunPerObject) {
    TempDir dir;
    const Result r = makePhone(dir.path());
    SqliteParse engine(r.contactsPath, r.smsPath);
    EXPECT_EQ(engine.get_contacts_mem(), "");
    engine.startParse(ePaserSms);
    const std::string first = engine.get_contacts_mem();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(
        std::count(first.begin(), first.begin() + static_cast<long>(first.find("\r\n")), '\t'),
        2); // message lines have three fields
    EXPECT_EQ(engine.get_contacts_mem(), first);
    engine.startParse(ePaserContacts);
    EXPECT_EQ(engine.get_contacts_mem(), first);
}

// ---- damaged files

using Mutation = void (*)(std::string& bytes);

uint32_t pageSizeOf(const std::string& b) {
    const uint32_t v = (uint8_t(b[16]) << 8) | uint8_t(b[17]);
    return v == 1 ? 65536 : v;
}

// Applies `f` to the start of every page but the first.
template <typename F> void eachPage(std::string& b, F f) {
    const uint32_t ps = pageSizeOf(b);
    for (size_t base = ps; base + ps <= b.size(); base += ps)
        f(base, ps);
}

struct DamageCase {
    const char* name;
    Mutation mutate;
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

class Damaged : public testing::TestWithParam<DamageCase> {};

TEST_P(Damaged, RunsFinish) {
    TempDir dir;
    const Result r = makePhone(dir.path());
    for (const std::string& path : {r.contactsPath, r.smsPath}) {
        std::string bytes;
        {
            std::ifstream in(path, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        GetParam().mutate(bytes);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
    for (int kind : {ePaserContacts, ePaserSms}) {
        const std::string text = run(r.contactsPath, r.smsPath, kind);
        if (!text.empty()) {
            EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Damaged,
    testing::Values(
        DamageCase{"TruncatedToHalf", [](std::string& b) { b.resize(b.size() / 2 + 77); }},
        DamageCase{"TruncatedToHeader", [](std::string& b) { b.resize(100); }},
        DamageCase{"Empty", [](std::string& b) { b.clear(); }},
        DamageCase{"PageSizeZero", [](std::string& b) { b[16] = b[17] = 0; }},
        DamageCase{"PageSizeOdd", [](std::string& b) { b[16] = 0x10, b[17] = 0x01; }},
        DamageCase{"GarbagePageTypes",
                   [](std::string& b) {
                       eachPage(b, [&](size_t base, uint32_t) {
                           if (b[base] == 13)
                               b[base] = 0x42;
                       });
                   }},
        DamageCase{"ChildPastEndOfFile",
                   [](std::string& b) {
                       eachPage(b, [&](size_t base, uint32_t) {
                           if (b[base] == 5) {
                               b[base + 8] = 0x7F;
                               b[base + 9] = b[base + 10] = b[base + 11] = char(0xFF);
                           }
                       });
                   }},
        DamageCase{"FreeblockChainLoops",
                   [](std::string& b) {
                       eachPage(b, [&](size_t base, uint32_t) {
                           const uint32_t f = (uint8_t(b[base + 1]) << 8) | uint8_t(b[base + 2]);
                           if (b[base] == 13 && f != 0) {
                               b[base + f] = b[base + 1];
                               b[base + f + 1] = b[base + 2];
                           }
                       });
                   }},
        DamageCase{"FreeblockPointerOutsidePage",
                   [](std::string& b) {
                       eachPage(b, [&](size_t base, uint32_t) {
                           const uint32_t f = (uint8_t(b[base + 1]) << 8) | uint8_t(b[base + 2]);
                           if (b[base] == 13 && f != 0)
                               b[base + f] = b[base + f + 1] = char(0xFF);
                       });
                   }},
        DamageCase{"HugeFreeblockSizes",
                   [](std::string& b) {
                       eachPage(b, [&](size_t base, uint32_t) {
                           const uint32_t f = (uint8_t(b[base + 1]) << 8) | uint8_t(b[base + 2]);
                           if (b[base] == 13 && f != 0)
                               b[base + f + 2] = b[base + f + 3] = char(0xFF);
                       });
                   }},
        DamageCase{"CellContentStartZero",
                   [](std::string& b) {
                       eachPage(b, [&](size_t base, uint32_t) {
                           if (b[base] == 13)
                               b[base + 5] = b[base + 6] = 0;
                       });
                   }},
        DamageCase{"RandomBytesAfterHeader",
                   [](std::string& b) {
                       std::mt19937 rng(99);
                       for (size_t i = 100; i < b.size(); ++i)
                           b[i] = static_cast<char>(rng());
                   }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
