#pragma once
// Running outside programs. Arguments always travel as a vector straight to
// exec; no shell ever sees them, so nothing in an argument is interpreted.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "util/error.hpp"

namespace kestrel::util {

enum class Stream {
    Capture,  // collected into ProcessResult
    Inherit,  // shared with this process (the terminal)
    Discard,  // /dev/null
};

struct RunOptions {
    Stream out = Stream::Capture;
    Stream err = Stream::Capture;
    std::optional<std::string> input;                 // written to standard input; else /dev/null
    std::optional<std::chrono::milliseconds> timeout;  // the child is killed when it runs longer
    std::optional<std::string> cwd;
};

struct ProcessResult {
    int exit_code = -1;      // exit status, or 128 + signal number when killed by a signal
    bool timed_out = false;  // killed because the time limit ran out
    std::string out;
    std::string err;
    bool success() const { return exit_code == 0 && !timed_out; }
};

// Runs argv[0] (searched on PATH) and waits for it. Failing to start the
// program is an error ("starting {program}: {reason}"); a non-zero exit is data.
Result<ProcessResult> run(const std::vector<std::string>& argv, const RunOptions& options = {});

// Starts argv[0] in the background with all three streams on /dev/null (or
// stdout/stderr appended to `log_path` when given) in a session of its own, and
// does not wait. Returns the child's pid.
Result<int> spawn_detached(const std::vector<std::string>& argv,
                           const std::optional<std::string>& log_path = std::nullopt);

// Reaps any finished children started by spawn_detached, so none linger as zombies.
void reap_children();

// True when `program` names an executable file on PATH (or is a path to one).
bool on_path(const std::string& program);

}  // namespace kestrel::util
