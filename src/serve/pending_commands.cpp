// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_serve(const ServeArgs& /*args*/) { return not_available("serve"); }

}  // namespace kestrel::cli
