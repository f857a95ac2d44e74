// INI profile files with the semantics the programs rely on: sections and keys are matched
// without regard to case, a missing file, section or key yields the caller's default, a value
// is cut to the caller's room, and a write keeps every other section, key and comment. A
// write creates a missing file but never its folder.
//
// Thread rules: the calls keep no state; two threads writing the same file at once may lose
// one of the writes (as with the platform's own calls), so each file has one writer.
#pragma once

#include <cstddef>
#include <string>

namespace osplat {

// The value of `key` in `section` of the file at `path`, or `defaultValue` when the file,
// the section or the key is missing. Blanks around the value are dropped, and so is one pair
// of matching quotes around it. At most `room - 1` bytes come back (`room` counts the
// terminator of the caller's buffer); a cut never splits a UTF-8 sequence. A room of 0
// gives an empty text.
std::string readProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t room,
                              const std::string& path);

// The value read as a decimal integer (leading digits, an optional sign), or `defaultValue`
// when the key is missing or does not start with a number.
int readProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& path);

// Sets `key` in `section` to `value`, adding the section or key when missing. A null `value`
// removes the key; a null `key` removes the whole section. The file is rewritten through a
// temporary file in the same folder and renamed into place, so a failed write leaves the old
// file whole. Returns false when the file cannot be written (its folder missing included).
bool writeProfileString(const std::string& section, const char* key, const char* value,
                        const std::string& path);

// The folder of the running executable, without a trailing slash.
std::string programFolder();

// A deployment setting: `key` of section "Deploy" in `deploy.ini` in `folder` (the program
// folder when empty), or `defaultValue`. Keys in use: "web_host", "update_host".
std::string deploySetting(const std::string& key, const std::string& defaultValue,
                          const std::string& folder = std::string());

} // namespace osplat
