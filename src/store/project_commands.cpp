// The `kestrel project` commands: thin printers around the project store.

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "store/projects.hpp"

namespace kestrel::cli {

Status cmd_project_create(const ProjectCreateArgs& args) {
    if (Status st = store::create_project(args.name, args.description); !st) {
        return st;
    }
    ok("created project '" + args.name + "'");
    return {};
}

Status cmd_project_list(const ProjectListArgs& /*args*/) {
    std::optional<std::string> active = store::active_project();
    std::vector<store::Project> projects = store::list_projects();
    if (projects.empty()) {
        line("no projects. create one with: kestrel project create <name>");
        return {};
    }
    for (const store::Project& project : projects) {
        std::string marker = active == project.name ? " (active)" : "";
        line("  " + project.name + " \u2014 " + std::to_string(project.mpns.size()) + " chips" + marker);
    }
    return {};
}

Status cmd_project_show(const ProjectShowArgs& args) {
    std::optional<store::Project> project = store::get_project(args.name);
    if (!project) {
        line("project '" + args.name + "' not found");
        return {};
    }
    line("project: " + project->name);
    if (!project->description.empty()) {
        line("  " + project->description);
    }
    line("  chips (" + std::to_string(project->mpns.size()) + "):");
    for (const std::string& mpn : project->mpns) {
        line("    " + mpn);
    }
    return {};
}

Status cmd_project_add(const ProjectAddArgs& args) {
    if (Status st = store::add_mpn(args.name, args.mpn); !st) {
        return st;
    }
    ok("added " + args.mpn + " to project '" + args.name + "'");
    return {};
}

Status cmd_project_remove(const ProjectRemoveArgs& args) {
    if (Status st = store::remove_mpn(args.name, args.mpn); !st) {
        return st;
    }
    ok("removed " + args.mpn + " from project '" + args.name + "'");
    return {};
}

Status cmd_project_activate(const ProjectActivateArgs& args) {
    if (Status st = store::set_active(args.name); !st) {
        return st;
    }
    ok("active project set to '" + args.name + "'");
    hint("dashboard will now filter to this project's chips");
    return {};
}

Status cmd_project_deactivate(const ProjectDeactivateArgs& /*args*/) {
    if (Status st = store::set_active(std::nullopt); !st) {
        return st;
    }
    ok("active project cleared \u2014 dashboard shows full library");
    return {};
}

Status cmd_project_delete(const ProjectDeleteArgs& args) {
    if (Status st = store::delete_project(args.name); !st) {
        return st;
    }
    ok("deleted project '" + args.name + "' (library chips untouched)");
    return {};
}

}  // namespace kestrel::cli
