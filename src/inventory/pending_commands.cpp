// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_list(const ListArgs& /*args*/) { return not_available("list"); }
Status cmd_status(const StatusArgs& /*args*/) { return not_available("status"); }
Status cmd_gate(const GateArgs& /*args*/) { return not_available("gate"); }
Status cmd_done(const DoneArgs& /*args*/) { return not_available("done"); }

}  // namespace kestrel::cli
