// Text conversion at the window and export-file boundaries: records hold UTF-8, windows and
// exported files use UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace core {

// UTF-8 to UTF-16. Every malformed sequence (a stray continuation byte, a cut sequence, an
// overlong form, a surrogate or a value above U+10FFFF) becomes one U+FFFD; nothing is
// dropped silently and nothing reads past the end.
std::u16string utf8ToUtf16(std::string_view text);

// A narrow record text, where null converts to an empty text.
inline std::u16string narrowToWide(const char* text) {
    return text ? utf8ToUtf16(text) : std::u16string();
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

} // namespace core
