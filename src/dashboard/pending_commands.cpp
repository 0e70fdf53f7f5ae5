// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_app(const AppArgs& /*args*/) { return not_available("app"); }
Status cmd_dashboard_ensure(const DashboardEnsureArgs& /*args*/) { return not_available("dashboard ensure"); }
Status cmd_dashboard_set_surface(const DashboardSetSurfaceArgs& /*args*/) { return not_available("dashboard set-surface"); }
Status cmd_dashboard_surface(const DashboardSurfaceArgs& /*args*/) { return not_available("dashboard surface"); }

}  // namespace kestrel::cli
