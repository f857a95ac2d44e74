// Reader-shaped record lists built in a test: contacts, data rows and mimetypes chained as the
// contacts reader chains them, with stable addresses.
#pragma once

#include "RecordModel.h"

#include <deque>
#include <string>

struct ModelLists {
    std::deque<ContactRecord> contacts;
    std::deque<DataRow> rows;
    std::deque<MimetypeEntry> mimetypes;
    std::deque<std::string> texts;

    enum : int32_t { Phone = 5, Email = 1, Org = 4, Name = 7 };

    ModelLists() {
        mimetype(Email, core::kEmailMimetype);
        mimetype(Org, core::kOrganizationMimetype);
        mimetype(Phone, core::kPhoneMimetype);
        mimetype(Name, "vnd.android.cursor.item/name");
    }

    char* text(const char* s) {
        if (!s)
            return nullptr;
        texts.emplace_back(s);
        return texts.back().data();
    }
    ContactRecord* contact(int32_t id, const char* name, int32_t nameSource = 40) {
        ContactRecord c{};
        c.id = id;
        c.text = text(name);
        c.nameSource = nameSource;
        contacts.push_back(c);
        if (contacts.size() > 1)
            contacts[contacts.size() - 2].next = &contacts.back();
        return &contacts.back();
    }
    DataRow* row(int32_t contactId, int32_t mimetypeId, const char* data1, const char* data2) {
        DataRow r{};
        r.rawContactId = contactId;
        r.mimetypeId = mimetypeId;
        r.data1 = text(data1);
        r.data2 = text(data2);
        rows.push_back(r);
        if (rows.size() > 1)
            rows[rows.size() - 2].next = &rows.back();
        return &rows.back();
    }
    MimetypeEntry* mimetype(int32_t id, const char* name) {
        MimetypeEntry m{};
        m.id = id;
        m.name = text(name);
        mimetypes.push_back(m);
        if (mimetypes.size() > 1)
            mimetypes[mimetypes.size() - 2].next = &mimetypes.back();
        return &mimetypes.back();
    }
    // Points a model at these lists, as the reader's call does.
    void attach(core::RecordModel& m) {
        m.contactList = contacts.empty() ? nullptr : &contacts.front();
        m.dataRowList = rows.empty() ? nullptr : &rows.front();
        m.mimetypeList = mimetypes.empty() ? nullptr : &mimetypes.front();
        m.readerFirstList = m.contactList;
    }
};
