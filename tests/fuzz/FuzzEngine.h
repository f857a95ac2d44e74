// Runs both kinds of the recovery engine on one input: the bytes are written once as a
// contacts database and once as a message database in a private temporary folder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kestrova::fuzz {

struct FuzzOutcome {
    std::string contactsText;
    std::string smsText;
};

// Returns false when the temporary files cannot be written.
bool runEngineOnBytes(const uint8_t* data, size_t size, FuzzOutcome& out);

} // namespace kestrova::fuzz
