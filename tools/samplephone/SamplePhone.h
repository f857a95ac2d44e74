// A generated sample phone: contacts2.db and mmssms.db with the schemas of an Android
// phone, several hundred live contacts and messages, and a known set of deleted ones whose
// bytes stay in the files (secure delete off, no auto-vacuum, as on older phones).
//
// The output is deterministic for given options. Next to the databases the generator writes
//   expected-contacts.txt   one "name TAB number" line per deleted contact that recovery
//                           should bring back;
//   expected-messages.txt   one "address TAB body" line per deleted message.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kestrova::samplephone {

struct Options {
    std::string outDir;        // created if missing; existing databases are replaced
    int contacts = 300;        // live contacts before the deletion
    int messages = 400;        // messages before the deletion
    int deletedContacts = -1;  // -1: one in ten contacts
    int deletedMessages = -1;  // -1: one in eight messages
    bool oldDataOrder = false; // `data` without hash_id (older Android)
    bool wal = false;          // journal_mode WAL instead of DELETE
    int schemaFormat = 1;      // 1: 0 and 1 stored as 1-byte integers (older phones); or 4
    int pageSize = 4096;
    uint32_t seed = 20161;
    bool bulk = false; // short bodies and fewer extras, for very large databases
};

struct Result {
    std::string contactsPath;
    std::string smsPath;
    std::string expectedContactsPath;
    std::string expectedMessagesPath;
    std::vector<std::pair<std::string, std::string>> expectedContacts; // name, number
    std::vector<std::pair<std::string, std::string>> expectedMessages; // address, body
    int64_t dataRows = 0; // rows of `data` before the deletion
    int64_t deletedDataRows = 0;
    int64_t smsRows = 0;
    int64_t deletedSmsRows = 0;
};

// Returns false and sets `error` when a database cannot be written.
bool generate(const Options& options, Result& result, std::string& error);

} // namespace kestrova::samplephone
