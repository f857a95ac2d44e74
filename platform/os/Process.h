// Runs a child program from an argument vector, never through a shell, so blanks, quotes or
// other shell characters in a path are harmless. The child gets no terminal: its standard
// input is /dev/null and its output is captured or discarded. A time limit ends a child that
// makes no progress: first SIGTERM to its process group, then SIGKILL, and it is always
// reaped, so no zombie is left behind.
//
// Thread rules: runProcess blocks the calling thread until the child has ended and been
// reaped; calls on different threads are independent.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace osplat {

struct ProcessOptions {
    // argv[0] is the program's path; it is run as given (no search of PATH).
    std::vector<std::string> argv;
    // The child's environment as NAME=VALUE entries; none: the caller's own.
    std::optional<std::vector<std::string>> environment;
    // The child's working folder; empty: the caller's.
    std::string workingFolder;
    // The child is ended when it has made no progress for this long (0 or less: no limit).
    int idleLimitMs = 3000;
    // Asked about every 50 ms while the child runs; returning true counts as progress and
    // restarts the idle limit (for example a copy that is still growing). None: only the
    // passing of time counts, so idleLimitMs is a plain time limit.
    std::function<bool()> progressed;
    // The child is ended as soon as this becomes nonzero (for example at shutdown).
    const std::atomic<int>* cancel = nullptr;
    // Standard output and standard error are collected into ProcessResult::output;
    // otherwise they go to /dev/null.
    bool captureOutput = true;
    // How long SIGTERM is given before SIGKILL follows.
    int termGraceMs = 500;
};

struct ProcessResult {
    bool started = false;   // false: the program could not be run at all
    bool ended = false;     // true: the child was ended for want of progress or on cancel
    bool cancelled = false; // the child was ended because `cancel` was raised
    int exitCode = -1;      // the exit status when the child exited by itself, else -1
    int signal = 0;         // the signal that ended the child, else 0
    std::string output;     // standard output and error, interleaved, when captured

    // The child ran to its end by itself and reported success.
    bool succeeded() const { return started && !ended && exitCode == 0; }
};

ProcessResult runProcess(const ProcessOptions& options);

// The caller's environment as NAME=VALUE entries, to edit and pass on.
std::vector<std::string> currentEnvironment();

// Sets NAME=VALUE in `env` (replacing an entry of that name); a null value removes it.
void setEnvironmentEntry(std::vector<std::string>& env, const std::string& name, const char* value);

} // namespace osplat
