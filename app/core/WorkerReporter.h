// How the workers (acquisition, scan, export) reach the window. The window implements this
// interface; tests implement it without a display.
//
// Thread rules: every call comes from the worker thread. An implementation must route each
// change to the window's thread in the order the calls are made, and must not block the
// worker for long (the scan and export go on while the window paints), and must never wait
// for the window's thread: stopAndJoin joins the worker from that thread. setProgress is called
// only when the position changes (at most 101 times per pass), so an implementation may
// queue each call or coalesce them into the latest position. A done call is the worker's
// last call: the window joins the worker (RecoveryState::joinWorker) when it handles it.
#pragma once

#include <cstdint>
#include <string>

namespace core {

// Numbers of the done messages (WM_USER + 109, 110, 111).
enum DoneMessage : int {
    ScanDoneMessage = 0x46D,
    ExportDoneMessage = 0x46E,
    AcquisitionDoneMessage = 0x46F,
};

// Ids of the control buttons a worker shows or hides.
enum WorkerButton : int {
    PauseButton = 1006,
    StopButton = 1007,
    ContinueButton = 1008,
};

class WorkerReporter {
public:
    virtual ~WorkerReporter() = default;

    // The progress bar's position, 0 to 100.
    virtual void setProgress(int position) = 0;

    // The contacts category's text (for example "Contacts (42)") and its hasData mark.
    virtual void setCategory(const std::string& text, int hasData) = 0;

    // Shows or hides one of the control buttons (PauseButton, StopButton).
    virtual void showButton(int id, bool shown) = 0;

    // Posts a done message with its parameters: AcquisitionDoneMessage (wParam 1, lParam 0),
    // ScanDoneMessage (0, 0), ExportDoneMessage (wParam = the lines the export could not
    // write, lParam 0).
    virtual void postDone(int message, std::intptr_t wParam, std::intptr_t lParam) = 0;
};

} // namespace core
