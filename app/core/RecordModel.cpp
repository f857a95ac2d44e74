#include "RecordModel.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace core {

int RecordModel::countTicked() const {
    int n = 0;
    for (const ContactRecord* c = contactList; c; c = c->next)
        n += c->checked != 0;
    for (const ContactRecord* c : recoveredContacts)
        n += c->checked != 0;
    return n;
}

void RecordModel::setAllTicked(int value) {
    for (ContactRecord* c = contactList; c; c = c->next)
        c->checked = value;
    for (ContactRecord* c : recoveredContacts)
        c->checked = value;
}

void RecordModel::clearRecords() {
    for (ContactRecord* c : recoveredContacts) {
        delete[] c->text;
        delete c;
    }
    recoveredContacts.clear();
    forgetRowIndex();
    readerFirstList = nullptr;
    contactList = nullptr;
    dataRowList = nullptr;
    mimetypeList = nullptr;
}

ContactRecord* RecordModel::addRecovered(int lineIndex, const std::string& line) {
    auto* rec = new ContactRecord{};
    rec->id = lineIndex;
    rec->checked = 1;
    rec->deleted = 1;
    rec->text = new char[line.size() + 1];
    std::memcpy(rec->text, line.c_str(), line.size() + 1);
    recoveredContacts.push_back(rec);
    return rec;
}

bool RecordModel::setChecked(const ContactRecord* record, int value) {
    {
        std::lock_guard<std::mutex> lock(indexMutex_);
        if (indexedContacts_ != contactList || indexedRecovered_ != recoveredContacts.size() ||
            (records_.empty() && (contactList || !recoveredContacts.empty()))) {
            records_.clear();
            for (const ContactRecord* c = contactList; c; c = c->next)
                records_.insert(c);
            records_.insert(recoveredContacts.begin(), recoveredContacts.end());
            indexedContacts_ = contactList;
            indexedRecovered_ = recoveredContacts.size();
        }
        if (!records_.count(record))
            return false;
    }
    // A record of this model: the pointer came from one of its lists.
    const_cast<ContactRecord*>(record)->checked = value;
    return true;
}

const std::vector<const DataRow*>& RecordModel::rowsOf(const ContactRecord* contact) const {
    static const std::vector<const DataRow*> none;
    std::lock_guard<std::mutex> lock(indexMutex_);
    if (indexedHead_ != dataRowList) {
        rowIndex_.clear();
        for (const DataRow* r = dataRowList; r; r = r->next)
            rowIndex_[r->rawContactId].push_back(r);
        indexedHead_ = dataRowList;
    }
    if (!contact)
        return none;
    const auto it = rowIndex_.find(contact->id);
    return it == rowIndex_.end() ? none : it->second;
}

void RecordModel::forgetRowIndex() {
    std::lock_guard<std::mutex> lock(indexMutex_);
    rowIndex_.clear();
    indexedHead_ = nullptr;
    records_.clear();
    indexedContacts_ = nullptr;
    indexedRecovered_ = 0;
}

const char* findMimetype(const MimetypeEntry* mimetypes, int32_t id) {
    for (const MimetypeEntry* m = mimetypes; m; m = m->next) {
        if (m->id == id)
            return m->name; // the first entry decides, even when its name is null
    }
    return nullptr;
}

RowKind rowKind(const MimetypeEntry* mimetypes, const DataRow* row) {
    const char* name = findMimetype(mimetypes, row->mimetypeId);
    if (!name)
        return RowKind::Other;
    if (std::strcmp(name, kPhoneMimetype) == 0)
        return RowKind::Phone;
    if (std::strcmp(name, kEmailMimetype) == 0)
        return RowKind::Email;
    if (std::strcmp(name, kOrganizationMimetype) == 0)
        return RowKind::Organization;
    return RowKind::Other;
}

std::vector<const DataRow*> dataRowsOf(const DataRow* rows, const ContactRecord* contact) {
    std::vector<const DataRow*> out;
    if (!contact)
        return out;
    for (const DataRow* r = rows; r; r = r->next) {
        if (r->rawContactId == contact->id)
            out.push_back(r);
    }
    return out;
}

int typeCode(const char* data2) {
    if (!data2)
        return 0;
    const char* p = data2;
    while (std::isspace(static_cast<unsigned char>(*p)))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p++ - '0');
        if (v > INT_MAX)
            return 0; // out of range: no label either way
    }
    return int(negative ? -v : v);
}

const char* phoneTypeLabel(const char* data2) {
    static const char* const labels[] = {
        nullptr, "Home",  "Mobile",  "Work",        "WorkFax",   "HomeFax",   "Pager",
        "Other", nullptr, nullptr,   "CompanyMain", "ISDN",      nullptr,     "OtherFax",
        "Radio", "Telex", "TTY_TTD", "WorkMobile",  "WorkPager", "Assistant", "MMS"};
    const int code = typeCode(data2);
    return code >= 0 && code < int(std::size(labels)) ? labels[code] : nullptr;
}

const char* emailTypeLabel(const char* data2) {
    static const char* const labels[] = {nullptr, "Home Email", "Work Email", "Other Email",
                                         "Mobile Email"};
    const int code = typeCode(data2);
    return code >= 0 && code < int(std::size(labels)) ? labels[code] : nullptr;
}

ContactSummary contactSummary(const RecordModel& model, const ContactRecord* contact) {
    ContactSummary s;
    if (!contact)
        return s;
    if (contact->text)
        s.name = contact->text;
    for (const DataRow* row : model.rowsOf(contact)) {
        std::string* field = nullptr;
        switch (rowKind(model.mimetypeList, row)) {
        case RowKind::Phone:
            field = &s.phone;
            break;
        case RowKind::Organization:
            field = &s.company;
            break;
        case RowKind::Email:
            field = &s.email;
            break;
        case RowKind::Other:
            break;
        }
        if (field && field->empty() && row->data1)
            *field = row->data1;
    }
    return s;
}

std::string exportName(const ContactRecord* contact, int& counter) {
    if (contact && contact->nameSource == 40)
        return contact->text ? contact->text : "";
    char buf[32];
    std::snprintf(buf, sizeof buf, "No Name%d", counter++);
    return buf;
}

std::optional<RecoveredLine> splitRecoveredLine(const ContactRecord* record) {
    if (!record || !record->text)
        return std::nullopt;
    const char* tab = std::strchr(record->text, '\t');
    if (!tab)
        return std::nullopt;
    return RecoveredLine{std::string(record->text, std::size_t(tab - record->text)),
                         std::string(tab + 1)};
}

} // namespace core
