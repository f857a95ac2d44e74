// kestrova-samplephone OUTDIR [options]: writes a sample phone's contacts2.db and mmssms.db
// with live and deleted rows, and the lists of deleted rows that recovery should bring back.
#include "tools/samplephone/SamplePhone.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int usage() {
    std::fputs(
        "usage: kestrova-samplephone OUTDIR [options]\n"
        "  --contacts N           live contacts before the deletion (300)\n"
        "  --messages N           messages before the deletion (400)\n"
        "  --deleted-contacts N   contacts deleted (one in ten)\n"
        "  --deleted-messages N   messages deleted (one in eight)\n"
        "  --old-data-order       table data without hash_id, as older phones have it\n"
        "  --wal                  journal mode WAL instead of DELETE\n"
        "  --schema-format 1|4    record format: 1 as older phones (default), 4 as new ones\n"
        "  --page-size N          page size in bytes (4096)\n"
        "  --seed N               another deterministic sample (20161)\n"
        "Writes contacts2.db, mmssms.db, expected-contacts.txt (name TAB number) and\n"
        "expected-messages.txt (address TAB body) into OUTDIR.\n",
        stderr);
    return 2;
}

bool number(const char* s, long& out) {
    char* end = nullptr;
    out = std::strtol(s, &end, 10);
    return end != s && *end == '\0' && out >= 0 && out <= 100000000;
}

} // namespace

int main(int argc, char** argv) {
    kestrova::samplephone::Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](long& v) { return i + 1 < argc && number(argv[++i], v); };
        long v = 0;
        if (a == "--old-data-order") {
            o.oldDataOrder = true;
        } else if (a == "--wal") {
            o.wal = true;
        } else if (a == "--contacts" && value(v)) {
            o.contacts = static_cast<int>(v);
        } else if (a == "--messages" && value(v)) {
            o.messages = static_cast<int>(v);
        } else if (a == "--deleted-contacts" && value(v)) {
            o.deletedContacts = static_cast<int>(v);
        } else if (a == "--deleted-messages" && value(v)) {
            o.deletedMessages = static_cast<int>(v);
        } else if (a == "--schema-format" && value(v) && (v == 1 || v == 4)) {
            o.schemaFormat = static_cast<int>(v);
        } else if (a == "--page-size" && value(v) && v >= 512 && v <= 65536 && (v & (v - 1)) == 0) {
            o.pageSize = static_cast<int>(v);
        } else if (a == "--seed" && value(v)) {
            o.seed = static_cast<uint32_t>(v);
        } else if (!a.empty() && a[0] != '-' && o.outDir.empty()) {
            o.outDir = a;
        } else {
            return usage();
        }
    }
    if (o.outDir.empty())
        return usage();
    kestrova::samplephone::Result r;
    std::string error;
    if (!kestrova::samplephone::generate(o, r, error)) {
        std::fprintf(stderr, "kestrova-samplephone: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n%s\n", r.contactsPath.c_str(), r.smsPath.c_str());
    return 0;
}
