// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_fetch(const FetchArgs& /*args*/) { return not_available("fetch"); }

}  // namespace kestrel::cli
