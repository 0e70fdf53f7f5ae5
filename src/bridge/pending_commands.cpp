// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_pull(const PullArgs& /*args*/) { return not_available("pull"); }
Status cmd_refetch(const RefetchArgs& /*args*/) { return not_available("refetch"); }

}  // namespace kestrel::cli
