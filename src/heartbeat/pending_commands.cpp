// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_heartbeat(const HeartbeatArgs& /*args*/) { return not_available("heartbeat"); }

}  // namespace kestrel::cli
