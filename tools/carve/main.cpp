// kestrova-carve contacts|sms CONTACTS_DB SMS_DB
//
// Runs the recovery engine once, headless, and writes its result text to standard output
// byte for byte (UTF-8 lines ending in CR LF). Exit status: 0 when the run completed (an
// empty text means nothing was recovered), 1 when the text could not be written, 2 on wrong
// arguments.
#include "engine/SqliteParse.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

int usage() {
    std::fputs("usage: kestrova-carve contacts|sms CONTACTS_DB SMS_DB\n"
               "  Recovers deleted contacts (contacts) or messages (sms) from copies of\n"
               "  contacts2.db and mmssms.db and writes them to standard output:\n"
               "    contacts: name TAB number\n"
               "    sms:      contact name TAB address TAB body\n"
               "  one line each, ending in CR LF; \"N/A\" marks an empty field.\n"
               "  The file names must contain contacts2.db and mmssms.db.\n",
               stderr);
    return 2;
}

bool writeAll(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4)
        return usage();
    const std::string kind = argv[1];
    ePaserType type;
    if (kind == "contacts")
        type = ePaserContacts;
    else if (kind == "sms")
        type = ePaserSms;
    else
        return usage();

    std::string text;
    {
        SqliteParse engine(argv[2], argv[3]);
        engine.startParse(type);
        text = engine.get_contacts_mem();
    }
    if (!writeAll(text)) {
        std::fprintf(stderr, "kestrova-carve: cannot write the result: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
