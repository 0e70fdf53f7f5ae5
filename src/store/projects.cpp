#include "store/projects.hpp"

#include <algorithm>
#include <functional>
#include <system_error>

#include "cli/paths.hpp"

namespace kestrel::store {

namespace {

using util::json;
using util::ordered_json;

// Where the store lives when there is no usable HOME.
constexpr const char* k_fallback_config = "/tmp/.config/kestrel";

std::optional<Project> project_from_json(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    auto name = value.find("name");
    auto mpns = value.find("mpns");
    if (name == value.end() || !name->is_string() || mpns == value.end() || !mpns->is_array()) {
        return std::nullopt;
    }
    Project project;
    project.name = name->get<std::string>();
    for (const json& mpn : *mpns) {
        if (!mpn.is_string()) {
            return std::nullopt;
        }
        project.mpns.push_back(mpn.get<std::string>());
    }
    // description and created may be missing (read as empty) but not of another type.
    for (auto [key, field] : {std::pair{"description", &project.description}, std::pair{"created", &project.created}}) {
        auto it = value.find(key);
        if (it == value.end()) {
            continue;
        }
        if (!it->is_string()) {
            return std::nullopt;
        }
        *field = it->get<std::string>();
    }
    return project;
}

// One locked read-modify-write of the store: no other kestrel process changes
// it between our read and our write.
Status update_store(const std::function<void(ProjectStore&)>& change) {
    fs::path path = store_path();
    util::Result<util::DirLock> lock = util::DirLock::acquire(path.parent_path());
    if (!lock) {
        return std::move(lock).error().context("saving " + path.string());
    }
    ProjectStore store = load();
    change(store);
    return save(store);
}

std::string now_text() { return std::to_string(util::unix_now()); }

}  // namespace

fs::path store_path() {
    std::optional<fs::path> config = cli::config_dir();
    fs::path folder = config ? *config : fs::path(k_fallback_config);
    std::error_code ec;
    fs::create_directories(folder, ec);  // a failure shows up in the read or write that follows
    return folder / "projects.json";
}

std::optional<ProjectStore> from_json(const json& doc) {
    if (!doc.is_object()) {
        return std::nullopt;
    }
    auto projects = doc.find("projects");
    if (projects == doc.end() || !projects->is_object()) {
        return std::nullopt;
    }
    ProjectStore store;
    for (const auto& [key, value] : projects->items()) {
        std::optional<Project> project = project_from_json(value);
        if (!project) {
            return std::nullopt;
        }
        store.projects.emplace(key, std::move(*project));
    }
    auto active = doc.find("active");
    if (active != doc.end() && !active->is_null()) {
        if (!active->is_string()) {
            return std::nullopt;
        }
        store.active = active->get<std::string>();
    }
    return store;
}

ordered_json to_json(const ProjectStore& store) {
    ordered_json projects = ordered_json::object();
    for (const auto& [key, project] : store.projects) {
        ordered_json entry = ordered_json::object();
        entry["name"] = project.name;
        entry["mpns"] = project.mpns;
        entry["description"] = project.description;
        entry["created"] = project.created;
        projects[key] = std::move(entry);
    }
    ordered_json doc = ordered_json::object();
    doc["projects"] = std::move(projects);
    doc["active"] = store.active ? ordered_json(*store.active) : ordered_json(nullptr);
    return doc;
}

ProjectStore load() {
    util::JsonRead read = util::read_json(store_path());
    if (read.state != util::ReadState::Ok) {
        return {};
    }
    return from_json(read.value).value_or(ProjectStore{});
}

Status save(const ProjectStore& store) {
    fs::path path = store_path();
    return util::write_json(path, to_json(store)).context("saving " + path.string());
}

std::optional<std::string> active_project() { return load().active; }

std::vector<Project> list_projects() {
    std::vector<Project> out;
    for (auto& [key, project] : load().projects) {
        out.push_back(std::move(project));
    }
    return out;
}

std::optional<Project> get_project(const std::string& name) {
    ProjectStore store = load();
    auto it = store.projects.find(name);
    if (it == store.projects.end()) {
        return std::nullopt;
    }
    return std::move(it->second);
}

Status create_project(const std::string& name, const std::string& description) {
    return update_store([&](ProjectStore& store) {
        // An existing project keeps its description and creation time.
        store.projects.try_emplace(name, Project{name, {}, description, now_text()});
    });
}

Status add_mpn(const std::string& name, const std::string& mpn) {
    return update_store([&](ProjectStore& store) {
        auto [it, inserted] = store.projects.try_emplace(name, Project{name, {}, "", now_text()});
        std::vector<std::string>& mpns = it->second.mpns;
        if (std::find(mpns.begin(), mpns.end(), mpn) == mpns.end()) {
            mpns.push_back(mpn);
        }
    });
}

Status remove_mpn(const std::string& name, const std::string& mpn) {
    return update_store([&](ProjectStore& store) {
        auto it = store.projects.find(name);
        if (it != store.projects.end()) {
            std::erase(it->second.mpns, mpn);
        }
    });
}

Status set_active(const std::optional<std::string>& name) {
    return update_store([&](ProjectStore& store) { store.active = name; });
}

Status delete_project(const std::string& name) {
    return update_store([&](ProjectStore& store) {
        store.projects.erase(name);
        if (store.active == name) {
            store.active.reset();
        }
    });
}

}  // namespace kestrel::store
