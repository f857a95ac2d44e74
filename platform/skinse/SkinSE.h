// The skin engine's four calls. Window handles are QWidget pointers; names and texts are
// narrow (UTF-8). Results are 1 on success and 0 otherwise; callers may ignore them. Call from
// the user-interface thread only.
//
// A skin folder holds "skin.ini" and the pictures it names. Each section is an element name;
// its keys:
//   style    a Qt style sheet for the bound widget; "@skin@" stands for the skin folder
//   title    x,y,w,h: the bound window's title is drawn in that rectangle ...
//   titlestyle  ... with this style sheet
// Without a loaded skin, or for an element the skin lacks, the widget keeps its plain look;
// texts and layout still apply.
#pragma once

#if defined(SKINSE_BUILDING)
#define SKINSE_API __attribute__((visibility("default")))
#else
#define SKINSE_API
#endif

extern "C" {

// Loads "skin.ini" from `folder` (relative paths are taken from the working folder).
SKINSE_API int SkinSE_LoadSkinResourceFromFolder(const char* folder);

// Binds `window` to the skin element `element`.
SKINSE_API int SkinSE_SubclassWindow(void* window, const char* element);

// Places `window` inside its parent by the rectangle (left, top, right, bottom); a negative
// value counts from the parent's right (left, right) or bottom (top, bottom) edge, and the
// placement follows the parent's size from then on.
SKINSE_API int SkinSE_SetLayoutWindowPos(void* window, int left, int top, int right, int bottom);

// Sets a sub-item of a skinned control: "text.normal" is the text a static control shows.
SKINSE_API int SkinSE_DirectUI_SetSubItemValue(void* window, const char* subItem, const char* value,
                                               int flags);
}
