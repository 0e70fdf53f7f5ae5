#include "cli/report.hpp"

#include <cstdio>

#include "util/text.hpp"

namespace kestrel::cli {

std::string format_error_report(const util::Error& error) {
    std::string out = "Error: " + error.message + "\n";
    if (error.causes.empty()) {
        return out;
    }
    out += "\nCaused by:\n";
    const bool numbered = error.causes.size() > 1;
    const std::string continuation(numbered ? 7 : 4, ' ');
    for (size_t i = 0; i < error.causes.size(); ++i) {
        std::string lead;
        if (numbered) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%5zu: ", i);
            lead = buf;
        } else {
            lead = "    ";
        }
        std::vector<std::string> lines = util::split(error.causes[i], '\n');
        for (size_t k = 0; k < lines.size(); ++k) {
            out += (k == 0 ? lead : continuation) + lines[k] + "\n";
        }
    }
    return out;
}

}  // namespace kestrel::cli
