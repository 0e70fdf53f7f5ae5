// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_install(const InstallArgs& /*args*/) { return not_available("install"); }
Status cmd_creds_list(const CredsListArgs& /*args*/) { return not_available("creds list"); }
Status cmd_creds_save(const CredsSaveArgs& /*args*/) { return not_available("creds save"); }
Status cmd_creds_delete(const CredsDeleteArgs& /*args*/) { return not_available("creds delete"); }
Status cmd_project_create(const ProjectCreateArgs& /*args*/) { return not_available("project create"); }
Status cmd_project_list(const ProjectListArgs& /*args*/) { return not_available("project list"); }
Status cmd_project_show(const ProjectShowArgs& /*args*/) { return not_available("project show"); }
Status cmd_project_add(const ProjectAddArgs& /*args*/) { return not_available("project add"); }
Status cmd_project_remove(const ProjectRemoveArgs& /*args*/) { return not_available("project remove"); }
Status cmd_project_activate(const ProjectActivateArgs& /*args*/) { return not_available("project activate"); }
Status cmd_project_deactivate(const ProjectDeactivateArgs& /*args*/) { return not_available("project deactivate"); }
Status cmd_project_delete(const ProjectDeleteArgs& /*args*/) { return not_available("project delete"); }

}  // namespace kestrel::cli
