#include "tools/samplephone/SamplePhone.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>

namespace fs = std::filesystem;

namespace kestrova::samplephone {

namespace {

// A small deterministic generator (the same sequence on every machine).
class Rng {
public:
    explicit Rng(uint32_t seed) : s_(seed * 2654435761u + 1) {}
    uint32_t next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    uint32_t below(uint32_t n) { return n == 0 ? 0 : next() % n; }

private:
    uint32_t s_;
};

const char* const kLatinFirst[] = {"Alice",  "Bruno",  "Carla", "David", "Emma",  "Felix", "Greta",
                                   "Hugo",   "Ingrid", "Jonas", "Klara", "Liam",  "Marta", "Noah",
                                   "Olivia", "Pedro",  "Rosa",  "Simon", "Tessa", "Victor"};
const char* const kLatinLast[] = {"Smith", "Müller",   "García",  "Rossi",  "Dubois",
                                  "Novák", "Kowalski", "O'Brien", "Jensen", "Silva"};
const char* const kCyrFirst[] = {"Анна",  "Иван",   "Ольга", "Дмитрий",
                                 "Мария", "Сергей", "Елена", "Алексей"};
const char* const kCyrLast[] = {"Петрова", "Смирнов", "Кузнецова", "Попов", "Соколова", "Лебедев"};
const char* const kZhFamily[] = {"王", "李", "张", "刘", "陈", "杨", "赵", "黄", "周", "吴"};
const char* const kZhGiven[] = {"伟", "娜", "敏", "洋", "静",   "磊",
                                "丽", "强", "杰", "芳", "晓明", "秀英"};
const char* const kEmoji[] = {"❤️", "🍕", "⚽", "👴", "🌸", "🎸", "🐱", "☕"};
const char* const kCompanies[] = {"Acme GmbH", "Северсталь", "华为技术", "Blue Harbor Ltd",
                                  "Nordwind AG"};
const char* const kTitles[] = {"Engineer", "Менеджер", "经理", "Director", "Sales"};
const char* const kDepartments[] = {"R&D", "Отдел продаж", "市场部", "Logistics", "Support"};
const char* const kBodies[] = {
    "Running late, be there in 10 minutes",
    "Can you call me back?",
    "Встречаемся у входа в семь",
    "明天见！",
    "Your parcel has been delivered 📦",
    "Happy birthday!! 🎉🎂",
    "Don't forget the milk",
    "Спасибо, всё получил",
    "我到了，你在哪里？",
    "The meeting moved to 3pm, room 4B. Bring the printed slides please.",
    "ok",
    "Code 493817 is your verification code. Do not share it with anyone.",
};
const char* const kShortBodies[] = {"ok",      "on my way", "call me", "thanks!",
                                    "see you", "yes 👍",     "好的",    "да"};

template <size_t N> const char* pick(const char* const (&a)[N], size_t i) {
    return a[i % N];
}

struct Person {
    std::string display, given, family;
    std::string number; // as stored
    std::string digits; // the number's eleven digits
    std::string secondNumber;
    std::string email;
    int org = -1;
};

Person makePerson(int i, Rng& rng, bool deleted) {
    Person p;
    const int script = i % 10;
    const int k = i / 10;
    if (script <= 5 || script == 9) {
        const int kk = k * 7 + script;
        p.given = pick(kLatinFirst, kk);
        p.family = pick(kLatinLast, kk / 20);
        p.display = p.given + " " + p.family;
        if (kk >= 200)
            p.display += " " + std::to_string(kk / 200 + 1);
        if (script == 9)
            p.display += std::string(" ") + pick(kEmoji, k);
    } else if (script <= 7) {
        const int kk = k * 2 + (script - 6);
        p.given = pick(kCyrFirst, kk);
        p.family = pick(kCyrLast, kk / 8);
        p.display = p.given + " " + p.family;
        if (kk >= 48)
            p.display += " " + std::to_string(kk / 48 + 1);
    } else {
        p.family = pick(kZhFamily, k);
        p.given = pick(kZhGiven, k / 10);
        p.display = p.family + p.given;
        if (k >= 120)
            p.display += std::to_string(k / 120 + 1);
    }
    char buf[32];
    std::snprintf(
        buf, sizeof buf, "13%d%08u", 5 + i % 5,
        static_cast<unsigned>((static_cast<uint64_t>(i) * 7919u + 1234567u) % 100000000u));
    p.digits = buf;
    // Live numbers come as people type them; deleted ones are plain digits so that their
    // expected line is always "name TAB number".
    switch (deleted ? 0 : i % 4) {
    case 0:
        p.number = p.digits;
        break;
    case 1:
        p.number =
            "+86 " + p.digits.substr(0, 3) + " " + p.digits.substr(3, 4) + " " + p.digits.substr(7);
        break;
    case 2:
        p.number = p.digits.substr(0, 3) + "-" + p.digits.substr(3, 4) + "-" + p.digits.substr(7);
        break;
    default:
        p.number = "+86" + p.digits;
        break;
    }
    if (rng.below(5) == 0) {
        std::snprintf(buf, sizeof buf, "0%d%07u", 10 + i % 80,
                      static_cast<unsigned>((static_cast<uint64_t>(i) * 104729u) % 10000000u));
        p.secondNumber = buf;
    }
    if (rng.below(3) == 0)
        p.email = "user" + std::to_string(i) + "@example.org";
    if (rng.below(6) == 0)
        p.org = static_cast<int>(rng.below(5));
    return p;
}

class Db {
public:
    ~Db() { close(); }
    bool open(const std::string& path) {
        return sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                               nullptr) == SQLITE_OK;
    }
    void close() {
        for (auto* s : stmts_)
            sqlite3_finalize(s);
        stmts_.clear();
        if (db_ != nullptr)
            sqlite3_close(db_);
        db_ = nullptr;
    }
    bool exec(const std::string& sql) {
        char* msg = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
            error = msg != nullptr ? msg : "sqlite error";
            sqlite3_free(msg);
            return false;
        }
        return true;
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db_);
            return nullptr;
        }
        stmts_.push_back(s);
        return s;
    }
    bool run(sqlite3_stmt* s) {
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        if (rc != SQLITE_DONE) {
            error = sqlite3_errmsg(db_);
            return false;
        }
        return true;
    }
    std::string error;

private:
    sqlite3* db_ = nullptr;
    std::vector<sqlite3_stmt*> stmts_;
};

void bindText(sqlite3_stmt* s, int i, const std::string& v) {
    if (v.empty())
        sqlite3_bind_null(s, i);
    else
        sqlite3_bind_text(s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
}

// Older phones wrote schema format 1, in which 0 and 1 are stored as 1-byte integers. The
// format is fixed when the first table is created; rewriting the header field afterwards makes
// SQLite keep writing records in format 1.
bool setSchemaFormat(const std::string& path, int format, std::string& error) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!f) {
        error = "cannot reopen " + path;
        return false;
    }
    const char bytes[4] = {0, 0, 0, static_cast<char>(format)};
    f.seekp(44);
    f.write(bytes, 4);
    return static_cast<bool>(f);
}

bool prepareFile(const std::string& path, const Options& o, const std::string& schema,
                 int userVersion, std::string& error) {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        fs::remove(path + suffix);
    Db db;
    if (!db.open(path)) {
        error = "cannot create " + path;
        return false;
    }
    if (!db.exec("PRAGMA page_size=" + std::to_string(o.pageSize) +
                 "; PRAGMA auto_vacuum=NONE; PRAGMA user_version=" + std::to_string(userVersion) +
                 ";") ||
        !db.exec("BEGIN;" + schema + "COMMIT;")) {
        error = db.error;
        return false;
    }
    db.close();
    if (o.schemaFormat == 1 && !setSchemaFormat(path, 1, error))
        return false;
    return true;
}

bool openForWriting(Db& db, const std::string& path, const Options& o, std::string& error) {
    if (!db.open(path) || !db.exec(std::string("PRAGMA secure_delete=OFF; PRAGMA journal_mode=") +
                                   (o.wal ? "WAL" : "DELETE") + ";")) {
        error = "cannot open " + path + ": " + db.error;
        return false;
    }
    return true;
}

const char* const kMimetypes[] = {
    // In the order a phone registers them, not alphabetical.
    "vnd.android.cursor.item/email_v2",
    "vnd.android.cursor.item/im",
    "vnd.android.cursor.item/nickname",
    "vnd.android.cursor.item/organization",
    "vnd.android.cursor.item/phone_v2",
    "vnd.android.cursor.item/sip_address",
    "vnd.android.cursor.item/name",
    "vnd.android.cursor.item/postal-address_v2",
    "vnd.android.cursor.item/identity",
    "vnd.android.cursor.item/photo",
    "vnd.android.cursor.item/group_membership"};
constexpr int kMimeEmail = 1, kMimeOrg = 4, kMimePhone = 5, kMimeName = 7;

std::string contactsSchema(bool oldOrder) {
    std::string data = "CREATE TABLE data (_id INTEGER PRIMARY KEY AUTOINCREMENT,"
                       "package_id INTEGER REFERENCES package(_id),"
                       "mimetype_id INTEGER REFERENCES mimetype(_id) NOT NULL,"
                       "raw_contact_id INTEGER REFERENCES raw_contacts(_id) NOT NULL,";
    if (!oldOrder)
        data += "hash_id TEXT,";
    data += "is_read_only INTEGER NOT NULL DEFAULT 0,is_primary INTEGER NOT NULL DEFAULT 0,"
            "is_super_primary INTEGER NOT NULL DEFAULT 0,data_version INTEGER NOT NULL DEFAULT 0";
    for (int i = 1; i <= 15; ++i)
        data += ",data" + std::to_string(i) + (i == 15 ? " BLOB" : " TEXT");
    for (int i = 1; i <= 4; ++i)
        data += ",data_sync" + std::to_string(i) + " TEXT";
    if (!oldOrder)
        data += ",carrier_presence INTEGER NOT NULL DEFAULT 0,"
                "preferred_phone_account_componentname TEXT,preferred_phone_account_id TEXT";
    data += ");";
    return "CREATE TABLE android_metadata (locale TEXT);"
           "CREATE TABLE accounts (_id INTEGER PRIMARY KEY AUTOINCREMENT,account_name TEXT,"
           "account_type TEXT,data_set TEXT);"
           "CREATE TABLE mimetypes (_id INTEGER PRIMARY KEY AUTOINCREMENT,mimetype TEXT NOT "
           "NULL);"
           "CREATE UNIQUE INDEX mime_type ON mimetypes (mimetype);"
           "CREATE TABLE contacts (_id INTEGER PRIMARY KEY AUTOINCREMENT,"
           "name_raw_contact_id INTEGER REFERENCES raw_contacts(_id),photo_id INTEGER,"
           "custom_ringtone TEXT,send_to_voicemail INTEGER NOT NULL DEFAULT 0,"
           "times_contacted INTEGER NOT NULL DEFAULT 0,last_time_contacted INTEGER,"
           "starred INTEGER NOT NULL DEFAULT 0,has_phone_number INTEGER NOT NULL DEFAULT 0,"
           "lookup TEXT,status_update_id INTEGER REFERENCES data(_id),"
           "contact_last_updated_timestamp INTEGER);"
           "CREATE TABLE raw_contacts (_id INTEGER PRIMARY KEY AUTOINCREMENT,"
           "account_id INTEGER REFERENCES accounts(_id),sourceid TEXT,"
           "version INTEGER NOT NULL DEFAULT 1,dirty INTEGER NOT NULL DEFAULT 0,"
           "deleted INTEGER NOT NULL DEFAULT 0,contact_id INTEGER REFERENCES contacts(_id),"
           "aggregation_mode INTEGER NOT NULL DEFAULT 0,"
           "aggregation_needed INTEGER NOT NULL DEFAULT 1,custom_ringtone TEXT,"
           "send_to_voicemail INTEGER NOT NULL DEFAULT 0,"
           "times_contacted INTEGER NOT NULL DEFAULT 0,last_time_contacted INTEGER,"
           "starred INTEGER NOT NULL DEFAULT 0,display_name TEXT,display_name_alt TEXT,"
           "display_name_source INTEGER NOT NULL DEFAULT 0,phonetic_name TEXT,"
           "phonetic_name_style TEXT,sort_key TEXT,sort_key_alt TEXT,"
           "name_verified INTEGER NOT NULL DEFAULT 0,sync1 TEXT,sync2 TEXT,sync3 TEXT,"
           "sync4 TEXT);" +
           data +
           "CREATE INDEX data_raw_contact_id ON data (raw_contact_id);"
           "CREATE INDEX data_mimetype_data1_index ON data (mimetype_id,data1);"
           "CREATE INDEX raw_contacts_contact_id_index ON raw_contacts (contact_id);";
}

const char* const kSmsSchema =
    "CREATE TABLE android_metadata (locale TEXT);"
    "CREATE TABLE canonical_addresses (_id INTEGER PRIMARY KEY AUTOINCREMENT,address TEXT);"
    "CREATE TABLE threads (_id INTEGER PRIMARY KEY AUTOINCREMENT,date INTEGER DEFAULT 0,"
    "message_count INTEGER DEFAULT 0,recipient_ids TEXT,snippet TEXT,snippet_cs INTEGER "
    "DEFAULT 0,read INTEGER DEFAULT 1,archived INTEGER DEFAULT 0,type INTEGER DEFAULT 0,"
    "error INTEGER DEFAULT 0,has_attachment INTEGER DEFAULT 0);"
    "CREATE TABLE sms (_id INTEGER PRIMARY KEY,thread_id INTEGER,address TEXT,person INTEGER,"
    "date INTEGER,date_sent INTEGER DEFAULT 0,protocol INTEGER,read INTEGER DEFAULT 0,"
    "status INTEGER DEFAULT -1,type INTEGER,reply_path_present INTEGER,subject TEXT,body TEXT,"
    "service_center TEXT,locked INTEGER DEFAULT 0,sub_id INTEGER DEFAULT -1,"
    "error_code INTEGER DEFAULT 0,creator TEXT,seen INTEGER DEFAULT 0);"
    "CREATE INDEX typeThreadIdIndex ON sms (type, thread_id);";

bool writeLines(const std::string& path,
                const std::vector<std::pair<std::string, std::string>>& lines, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (const auto& [a, b] : lines)
        out << a << '\t' << b << '\n';
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

// Spreads `count` picks evenly over [0, total).
std::vector<char> evenPicks(int total, int count) {
    std::vector<char> picked(static_cast<size_t>(std::max(total, 0)), 0);
    for (int k = 0; k < count && total > 0; ++k)
        picked[static_cast<size_t>((2 * static_cast<int64_t>(k) + 1) * total / (2 * count))] = 1;
    return picked;
}

constexpr int64_t kFirstRowId = 1001; // a phone in use for years: ids are far past 1

} // namespace

bool generate(const Options& o, Result& r, std::string& error) {
    r = Result{};
    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    if (!fs::is_directory(o.outDir)) {
        error = "cannot create folder " + o.outDir;
        return false;
    }
    if (o.schemaFormat != 1 && o.schemaFormat != 4) {
        error = "schema format must be 1 or 4";
        return false;
    }
    const fs::path dir(o.outDir);
    r.contactsPath = (dir / "contacts2.db").string();
    r.smsPath = (dir / "mmssms.db").string();
    r.expectedContactsPath = (dir / "expected-contacts.txt").string();
    r.expectedMessagesPath = (dir / "expected-messages.txt").string();
    Rng rng(o.seed);

    const int nContacts = std::max(o.contacts, 0);
    const int nDeleted =
        std::min(nContacts, o.deletedContacts < 0 ? nContacts / 10 : o.deletedContacts);
    const std::vector<char> contactDeleted = evenPicks(nContacts, nDeleted);

    // ---- contacts2.db
    if (!prepareFile(r.contactsPath, o, contactsSchema(o.oldDataOrder), o.oldDataOrder ? 803 : 1101,
                     error))
        return false;
    std::vector<Person> people;
    people.reserve(static_cast<size_t>(nContacts));
    {
        Db db;
        if (!openForWriting(db, r.contactsPath, o, error))
            return false;
        db.exec("BEGIN");
        db.exec("INSERT INTO android_metadata VALUES('en_US');"
                "INSERT INTO accounts(account_name,account_type) VALUES(NULL,NULL);");
        for (const char* m : kMimetypes)
            db.exec(std::string("INSERT INTO mimetypes(mimetype) VALUES('") + m + "')");
        auto* insContact = db.prepare("INSERT INTO contacts(_id,name_raw_contact_id,"
                                      "has_phone_number,lookup) VALUES(?,?,1,?)");
        auto* insRaw = db.prepare(
            "INSERT INTO raw_contacts(_id,account_id,contact_id,display_name,display_name_alt,"
            "display_name_source,sort_key,sort_key_alt,aggregation_needed) "
            "VALUES(?,1,?,?,?,40,?,?,0)");
        auto* insData = db.prepare(
            o.oldDataOrder
                ? "INSERT INTO data(_id,mimetype_id,raw_contact_id,is_primary,data1,data2,"
                  "data3,data4,data5) VALUES(?,?,?,?,?,?,?,?,?)"
                : "INSERT INTO data(_id,mimetype_id,raw_contact_id,is_primary,data1,data2,"
                  "data3,data4,data5,hash_id) VALUES(?,?,?,?,?,?,?,?,?,?)");
        if (insContact == nullptr || insRaw == nullptr || insData == nullptr) {
            error = db.error;
            return false;
        }
        int64_t dataId = kFirstRowId;
        auto addData = [&](int64_t raw, int mime, const std::string& d1, const std::string& d2,
                           const std::string& d3, const std::string& d4, const std::string& d5,
                           const std::string& hash, bool primary) {
            sqlite3_bind_int64(insData, 1, dataId++);
            sqlite3_bind_int(insData, 2, mime);
            sqlite3_bind_int64(insData, 3, raw);
            sqlite3_bind_int(insData, 4, primary ? 1 : 0);
            bindText(insData, 5, d1);
            bindText(insData, 6, d2);
            bindText(insData, 7, d3);
            bindText(insData, 8, d4);
            bindText(insData, 9, d5);
            if (!o.oldDataOrder)
                bindText(insData, 10, hash);
            ++r.dataRows;
            return db.run(insData);
        };
        for (int i = 0; i < nContacts; ++i) {
            const bool del = contactDeleted[static_cast<size_t>(i)] != 0;
            people.push_back(makePerson(i, rng, del));
            const Person& p = people.back();
            const int64_t raw = kFirstRowId + i;
            sqlite3_bind_int64(insContact, 1, raw);
            sqlite3_bind_int64(insContact, 2, raw);
            bindText(insContact, 3, "0r" + std::to_string(raw) + "-" + p.digits);
            sqlite3_bind_int64(insRaw, 1, raw);
            sqlite3_bind_int64(insRaw, 2, raw);
            bindText(insRaw, 3, p.display);
            bindText(insRaw, 4, p.family.empty() ? p.display : p.family + ", " + p.given);
            bindText(insRaw, 5, p.display);
            bindText(insRaw, 6, p.display);
            bool ok = db.run(insContact) && db.run(insRaw) &&
                      addData(raw, kMimeName, p.display, p.given, p.family, "", "", "", false) &&
                      addData(raw, kMimePhone, p.number, "2", "", "", "", "", true);
            if (ok && !p.secondNumber.empty())
                ok = addData(raw, kMimePhone, p.secondNumber, "1", "", "", "", "", false);
            if (ok && !p.email.empty() && !o.bulk) {
                char hash[48];
                std::snprintf(hash, sizeof hash, "%08x%08x%08x", rng.next(), rng.next(),
                              rng.next());
                ok = addData(raw, kMimeEmail, p.email, "1", "", "", "", hash, false);
            }
            if (ok && p.org >= 0 && !o.bulk)
                ok = addData(raw, kMimeOrg, pick(kCompanies, p.org), "1", "",
                             pick(kTitles, p.org + i), pick(kDepartments, p.org), "", false);
            if (!ok) {
                error = db.error;
                return false;
            }
        }
        if (!db.exec("COMMIT")) {
            error = db.error;
            return false;
        }
        // The user deletes, then the sync adapter purges: the data rows and the raw contact go.
        db.exec("BEGIN");
        auto* markDel = db.prepare("UPDATE raw_contacts SET deleted=1, dirty=1 WHERE _id=?");
        auto* delData = db.prepare("DELETE FROM data WHERE raw_contact_id=?");
        auto* delRaw = db.prepare("DELETE FROM raw_contacts WHERE _id=?");
        auto* delContact = db.prepare("DELETE FROM contacts WHERE _id=?");
        if (markDel == nullptr || delData == nullptr || delRaw == nullptr ||
            delContact == nullptr) {
            error = db.error;
            return false;
        }
        for (int i = 0; i < nContacts; ++i) {
            if (!contactDeleted[static_cast<size_t>(i)])
                continue;
            const Person& p = people[static_cast<size_t>(i)];
            const int64_t raw = kFirstRowId + i;
            for (auto* s : {markDel, delData, delRaw, delContact}) {
                sqlite3_bind_int64(s, 1, raw);
                if (!db.run(s)) {
                    error = db.error;
                    return false;
                }
            }
            r.deletedDataRows += 2 + (p.secondNumber.empty() ? 0 : 1) +
                                 (p.email.empty() || o.bulk ? 0 : 1) +
                                 (p.org < 0 || o.bulk ? 0 : 1);
            r.expectedContacts.emplace_back(p.display, p.number);
            if (!p.secondNumber.empty())
                r.expectedContacts.emplace_back(p.display, p.secondNumber);
        }
        if (!db.exec("COMMIT")) {
            error = db.error;
            return false;
        }
    }

    // ---- mmssms.db
    if (!prepareFile(r.smsPath, o, kSmsSchema, 67, error))
        return false;
    {
        Db db;
        if (!openForWriting(db, r.smsPath, o, error))
            return false;
        db.exec("BEGIN");
        db.exec("INSERT INTO android_metadata VALUES('en_US')");
        auto* insSms = db.prepare(
            "INSERT INTO sms(_id,thread_id,address,person,date,date_sent,protocol,read,status,"
            "type,reply_path_present,body,service_center,seen) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,"
            "?)");
        auto* insThread =
            db.prepare("INSERT INTO threads(_id,date,message_count,recipient_ids,snippet) "
                       "VALUES(?,?,1,?,?)");
        auto* insAddr = db.prepare("INSERT INTO canonical_addresses(_id,address) VALUES(?,?)");
        if (insSms == nullptr || insThread == nullptr || insAddr == nullptr) {
            error = db.error;
            return false;
        }
        const int nMessages = std::max(o.messages, 0);
        const int nDelMsg =
            std::min(nMessages, o.deletedMessages < 0 ? nMessages / 8 : o.deletedMessages);
        const std::vector<char> msgDeleted = evenPicks(nMessages, nDelMsg);
        // Threads: one per correspondent, by the position of the contact in `people` or an
        // unknown number.
        std::vector<std::pair<std::string, std::string>> deletedMsgs;
        int64_t date = 1420070400000; // 2015-01-01
        const int threads = std::max(1, std::min(nMessages, 60));
        for (int t = 0; t < threads; ++t) {
            std::string address;
            if (!people.empty() && t % 5 != 4)
                address = "+86" + people[static_cast<size_t>((t * 37) % people.size())].digits;
            else
                address = "1069" + std::to_string(10000 + t * 113);
            sqlite3_bind_int64(insAddr, 1, t + 1);
            bindText(insAddr, 2, address);
            sqlite3_bind_int64(insThread, 1, t + 1);
            sqlite3_bind_int64(insThread, 2, date);
            bindText(insThread, 3, std::to_string(t + 1));
            bindText(insThread, 4, "");
            if (!db.run(insAddr) || !db.run(insThread)) {
                error = db.error;
                return false;
            }
        }
        for (int m = 0; m < nMessages; ++m) {
            const int t = static_cast<int>(rng.below(static_cast<uint32_t>(threads)));
            std::string address;
            if (!people.empty() && t % 5 != 4)
                address = "+86" + people[static_cast<size_t>((t * 37) % people.size())].digits;
            else
                address = "1069" + std::to_string(10000 + t * 113);
            const std::string body =
                o.bulk ? pick(kShortBodies, rng.next()) : pick(kBodies, rng.next());
            const bool received = rng.below(2) == 0;
            date += 60000 + rng.below(86400000);
            sqlite3_bind_int64(insSms, 1, kFirstRowId + m);
            sqlite3_bind_int64(insSms, 2, t + 1);
            bindText(insSms, 3, address);
            sqlite3_bind_null(insSms, 4);
            sqlite3_bind_int64(insSms, 5, date);
            sqlite3_bind_int64(insSms, 6, received ? date - 4000 : 0);
            sqlite3_bind_int(insSms, 7, 0);
            sqlite3_bind_int(insSms, 8, 1);
            sqlite3_bind_int(insSms, 9, -1);
            sqlite3_bind_int(insSms, 10, received ? 1 : 2);
            sqlite3_bind_int(insSms, 11, 0);
            bindText(insSms, 12, body);
            bindText(insSms, 13, received ? "+8613800100500" : "");
            sqlite3_bind_int(insSms, 14, 1);
            if (!db.run(insSms)) {
                error = db.error;
                return false;
            }
            ++r.smsRows;
            if (msgDeleted[static_cast<size_t>(m)])
                deletedMsgs.emplace_back(address, body);
        }
        if (!db.exec("COMMIT") || !db.exec("BEGIN")) {
            error = db.error;
            return false;
        }
        auto* delSms = db.prepare("DELETE FROM sms WHERE _id=?");
        for (int m = 0; m < nMessages; ++m) {
            if (!msgDeleted[static_cast<size_t>(m)])
                continue;
            sqlite3_bind_int64(delSms, 1, kFirstRowId + m);
            if (!db.run(delSms)) {
                error = db.error;
                return false;
            }
            ++r.deletedSmsRows;
        }
        if (!db.exec("COMMIT")) {
            error = db.error;
            return false;
        }
        r.expectedMessages = std::move(deletedMsgs);
    }
    return writeLines(r.expectedContactsPath, r.expectedContacts, error) &&
           writeLines(r.expectedMessagesPath, r.expectedMessages, error);
}

} // namespace kestrova::samplephone
