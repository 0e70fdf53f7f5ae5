#pragma once
// The whole command tree: parses argv, runs the one handler it names, and
// returns the process exit status (0 success, 1 handler error, 2 command line).

namespace kestrel::cli {

int run_command_line(int argc, char** argv);

}  // namespace kestrel::cli
