// The process-wide font pool. A 16-bit key says which font is wanted:
//   bit 0 italic, bit 1 underlined, bit 2 bold (700, else 400),
//   bits 8-15 a signed size step: the character height is 11 + step pixels.
// Key 0 is the base font: Tahoma, 11 px, the weight of the system font. Fonts are created on
// first request and live until the process ends, so the same key always yields the same
// object. Window thread only: the pool takes no lock.
#pragma once

#include <QFont>
#include <cstdint>

class TkFontPool {
public:
    // Null when the font cannot be made; nothing is cached then.
    static const QFont* GetFont(uint16_t key);
    // The character height a key asks for.
    static int PixelHeight(uint16_t key) { return 11 + int(int8_t(uint8_t(key >> 8))); }
};

// Makes the bundled-with-the-system Tahoma and the Arial-compatible faces known to Qt. The
// pool calls it; windows that use faces by name before the pool may call it too. Idempotent.
void registerSkinFonts();
