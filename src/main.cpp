#include <cstdio>
#include <exception>

#include "cli/command_tree.hpp"
#include "cli/report.hpp"

int main(int argc, char** argv) {
    // Line-buffer standard output so each printed line reaches a pipe at once.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        return kestrel::cli::run_command_line(argc, argv);
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::fputs(kestrel::cli::format_error_report(kestrel::util::Error(e.what())).c_str(), stderr);
        return 1;
    }
}
