// The contact records shared by the contacts reader, the scan, the record views and the
// export. The contacts reader (ostrany) returns live rows in these layouts; the scan builds
// recovered contacts in the same layout, so one pointer type serves list rows, the detail
// panel and the export. Fields keep their order; sizes follow the platform's natural layout.
#pragma once

#include <atomic>
#include <cstdint>

extern "C" {

// One contact. Live: `id` is the raw contact's row id and `text` its display name (may be
// null). Recovered (`deleted` = 1): `id` is the line's index in the contact result text and
// `text` that line without its line break (name TAB number).
struct ContactRecord {
    int32_t id;
    int32_t checked; // nonzero = ticked
    int32_t reserved1;
    int32_t deleted;    // 1 = recovered from freed space, 0 = live
    char* text;         // narrow (UTF-8), NUL-terminated
    int32_t nameSource; // live only: 40 = the name comes from a structured name
    int32_t reserved2;
    ContactRecord* next; // next record of the reader's chain; null in recovered records
};

// One row of the contacts database's data table.
struct DataRow {
    int32_t mimetypeId;
    int32_t rawContactId; // `id` of the ContactRecord the row belongs to
    int32_t reserved[3];
    char* data1;     // phone number, e-mail address or company name
    char* data2;     // type code as decimal text, may be null
    char* subtitle1; // organization rows: title, may be null
    char* subtitle2; // organization rows: department, may be null
    DataRow* next;
};

struct MimetypeEntry {
    int32_t id;
    char* name;
    MimetypeEntry* next;
};

// The contacts reader's entry: reads the database at `path` and overwrites the four heads.
// `firstList` chains records through a `next` at the place of ContactRecord::next.
// The contacts reader lies in the program folder as kOstranyLibrary and exports its entry as
// kOstranyEntry.
typedef int (*OstranyReadFn)(const char* path, void** firstList, ContactRecord** contacts,
                             DataRow** dataRows, MimetypeEntry** mimetypes);
}

inline constexpr const char* kOstranyLibrary = "libostrany.so";
inline constexpr const char* kOstranyEntry = "ostrany_read";

// The item data of a category row in the tree. `hasData` is written by the scan worker and
// read by painting on the window thread, hence atomic.
struct CategoryInfo {
    int32_t kind = 0; // 0 = contacts, the only category there is
    std::atomic<int32_t> hasData{0};
    const void* icon = nullptr; // the category's picture, owned by the tree
    int32_t reserved = 0;
};
