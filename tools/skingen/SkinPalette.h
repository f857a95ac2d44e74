// The one palette of the skin. Every picture the generator draws takes its colours from
// here, so the look changes in one place. Header-only, so other skins may share it.
#pragma once

#include <QColor>

namespace skin {

// Title band and accents.
inline const QColor bandTop{0x1D, 0x4F, 0x7C};
inline const QColor bandBottom{0x17, 0x40, 0x66};
inline const QColor accent{0x2B, 0x86, 0xC9};
inline const QColor accentLight{0x5F, 0xA9, 0xE0};
inline const QColor accentDark{0x1F, 0x66, 0x9E};

// Surfaces.
inline const QColor window{0xF4, 0xF7, 0xFA};
inline const QColor windowLow{0xE8, 0xEE, 0xF4};
inline const QColor panel{0xFF, 0xFF, 0xFF};
inline const QColor bottomBar{240, 240, 239};  // the busy animation paints on this colour
inline const QColor dialogBody{238, 244, 248}; // the about box's link sits on this colour
inline const QColor border{0xCF, 0xD8, 0xE1};
inline const QColor headerTop{0xFA, 0xFB, 0xFD};
inline const QColor headerBottom{0xE6, 0xEC, 0xF2};

// Text.
inline const QColor text{0x23, 0x31, 0x3F};
inline const QColor textMuted{0x6B, 0x7A, 0x89};
inline const QColor textOnBand{0xFF, 0xFF, 0xFF};

// Meanings.
inline const QColor success{0x2E, 0x9E, 0x6A};
inline const QColor warning{0xE3, 0x9B, 0x2F};
inline const QColor danger{0xD6, 0x45, 0x45};
inline const QColor info{0x2F, 0x80, 0xCC};
inline const QColor neutralButton{0x8A, 0x97, 0xA6};

// Fixed sizes the layout depends on.
constexpr int windowWidth = 984;
constexpr int windowHeight = 674;
constexpr int bandHeight = 32;

} // namespace skin
