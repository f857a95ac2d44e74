// The drawing utility library. Two operations serve the skinned windows:
//  - get_font: a new font of a face, a character height in pixels and a weight. Every call
//    returns a distinct font that belongs to the caller (release it with delete_font, or
//    keep it for the life of the label that uses it).
//  - gradient_fillrect: paints the whole rectangle with a blend of two colours; mode 0 runs
//    from left to right, mode 1 from top to bottom. Text drawn afterwards sits on top of it.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QPainter;

#if defined(BRACKWELL_BUILD)
#define BRACKWELL_API __attribute__((visibility("default")))
#else
#define BRACKWELL_API
#endif

// Returns null when the face name is null or the height is not positive.
BRACKWELL_API QFont* get_font(const wchar_t* face, int height, int weight);
BRACKWELL_API void delete_font(QFont* font);
BRACKWELL_API void gradient_fillrect(QPainter* dc, const QRect& rect, const QColor& first,
                                     const QColor& second, int mode);
