// The record model: the contacts reader's four lists of live rows, the recovered records the
// scan builds from the engine's contact result text, and the pure functions the record
// views and the export read them with.
//
// Thread rules: the model is written by the window's thread and, while one runs, by the
// single worker (scan or export); the two never write it at the same time (the window
// changes ticks only while no worker runs). The functions here keep no state.
#pragma once

#include "Records.h"

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace core {

// Mimetype names the system recognises, compared byte for byte.
inline constexpr const char* kPhoneMimetype = "vnd.android.cursor.item/phone_v2";
inline constexpr const char* kEmailMimetype = "vnd.android.cursor.item/email_v2";
inline constexpr const char* kOrganizationMimetype = "vnd.android.cursor.item/organization";

enum class RowKind { Other, Phone, Email, Organization };

struct RecordModel {
    void* readerFirstList = nullptr;
    ContactRecord* contactList = nullptr; // live contacts, in the reader's order
    DataRow* dataRowList = nullptr;       // all data rows, in the reader's order
    MimetypeEntry* mimetypeList = nullptr;
    // Built by the scan from the contact result text, in line order; owned by the model
    // (records and texts are freed by clearRecords).
    std::vector<ContactRecord*> recoveredContacts;
    std::string contactResultText; // the engine's contact result text (UTF-8)
    std::string messageResultText; // the engine's message result text; held only

    RecordModel() = default;
    RecordModel(const RecordModel&) = delete;
    RecordModel& operator=(const RecordModel&) = delete;
    ~RecordModel() { clearRecords(); }

    // Ticked records of contactList plus ticked records of recoveredContacts.
    int countTicked() const;
    // Sets `checked` of every live and recovered record to `value`, unchanged.
    void setAllTicked(int value);
    // Frees the recovered records and their texts and forgets the reader's four heads (the
    // reader owns its lists). The result texts are kept.
    void clearRecords();
    // Appends a recovered record for one result-text line (without its line break).
    ContactRecord* addRecovered(int lineIndex, const std::string& line);
    // Sets a record's tick when it belongs to this model; false when it is in neither list.
    // Constant time per call after the first (a tick-all of the list calls it once per row).
    bool setChecked(const ContactRecord* record, int value);

    // The data rows of a contact, in chain order, like dataRowsOf, through an index built
    // once per data-row list so that filling a list or exporting stays linear in the rows.
    // Whoever replaces the reader's heads outside clearRecords and the scan calls
    // forgetRowIndex (which also forgets the index of records setChecked uses).
    const std::vector<const DataRow*>& rowsOf(const ContactRecord* contact) const;
    void forgetRowIndex();

private:
    mutable std::mutex indexMutex_;
    mutable const DataRow* indexedHead_ = nullptr;
    mutable std::unordered_map<int32_t, std::vector<const DataRow*>> rowIndex_;
    const ContactRecord* indexedContacts_ = nullptr;
    std::size_t indexedRecovered_ = 0;
    std::unordered_set<const ContactRecord*> records_;
};

// The name of the first mimetype entry with `id`; null when there is none or its name is.
const char* findMimetype(const MimetypeEntry* mimetypes, int32_t id);
RowKind rowKind(const MimetypeEntry* mimetypes, const DataRow* row);

// The data rows whose rawContactId equals the contact's id, in chain order.
std::vector<const DataRow*> dataRowsOf(const DataRow* rows, const ContactRecord* contact);

// The type code of a row's data2, read as atoi does (leading blanks, a sign, digits); a
// null or digit-less text gives 0.
int typeCode(const char* data2);
// Label of a phone or e-mail type code; null when the code has none.
const char* phoneTypeLabel(const char* data2);
const char* emailTypeLabel(const char* data2);

// The four texts of a live contact's list row (UTF-8): its display name, then the data1 of
// its first phone, organization and e-mail rows in chain order.
struct ContactSummary {
    std::string name, phone, company, email;
};
ContactSummary contactSummary(const RecordModel& model, const ContactRecord* contact);

// The name a live contact is exported under: its display name when that comes from a
// structured name (nameSource 40), else "No Name%d" with `counter`, which is then raised.
std::string exportName(const ContactRecord* contact, int& counter);

// A recovered record's name and number: its text split at the first TAB (later TABs stay in
// the number). Nothing when the text is null or holds no TAB.
struct RecoveredLine {
    std::string name, number;
};
std::optional<RecoveredLine> splitRecoveredLine(const ContactRecord* record);

} // namespace core
