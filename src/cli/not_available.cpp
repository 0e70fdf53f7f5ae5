#include "cli/commands.hpp"

namespace kestrel::cli {

Status not_available(const char* command) {
    return util::Error(std::string("kestrel ") + command + " is not available yet");
}

}  // namespace kestrel::cli
