// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_selfcheck(const SelfcheckArgs& /*args*/) { return not_available("selfcheck"); }
Status cmd_hint(const HintArgs& /*args*/) { return not_available("hint"); }

}  // namespace kestrel::cli
