// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_validate(const ValidateArgs& /*args*/) { return not_available("validate"); }

}  // namespace kestrel::cli
