// Top-level window search by class and title, and ending the process that owns a window.
//
// The class is the class part of WM_CLASS; the title is _NET_WM_NAME (UTF-8), or WM_NAME when
// the window has none, compared byte for byte. The owner is the window's _NET_WM_PID, taken
// only when the window says it lives on this machine. Each call opens its own connection to
// the display named by DISPLAY; callable from any thread.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace x11window {

struct FoundWindow {
    unsigned long window = 0;
    pid_t pid = 0; // 0 when the window names no owner
};

// The first top-level window whose class and title match exactly; nothing when there is no
// display or no such window.
std::optional<FoundWindow> findTopLevelWindow(const std::string& windowClass,
                                              const std::string& title);

// Ends the process `pid` at once (it cannot catch or delay it), but only while `window` still
// exists and still names `pid` as its owner, so a reused process id is never hit. Refuses
// pid 0, 1 and the caller itself. True when the signal was delivered.
bool endWindowOwner(const FoundWindow& found);

} // namespace x11window
