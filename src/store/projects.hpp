#pragma once
// Named projects: lists of MPNs that scope the dashboard to one board's chips.
//
// The store is one JSON file in the configuration folder. Every operation loads
// it afresh, and every change is one locked read-modify-write followed by an
// atomic replace, so concurrent kestrel processes never lose each other's
// changes and a failed write never leaves a half-written store.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "util/error.hpp"
#include "util/json_file.hpp"

namespace kestrel::store {

namespace fs = std::filesystem;
using util::Status;

// One project: a name and the MPNs it names, in the order they were added.
struct Project {
    std::string name;
    std::vector<std::string> mpns;
    std::string description;  // empty when not given
    std::string created;      // decimal Unix seconds; empty when the file lacks it
};

// The whole store file.
struct ProjectStore {
    std::map<std::string, Project> projects;  // keyed by name, ascending byte order
    std::optional<std::string> active;        // may name a project that does not exist
};

// $HOME/.config/kestrel/projects.json, or /tmp/.config/kestrel/projects.json when
// HOME is unset or not UTF-8. Creates the folder first; a failure to do so is
// ignored (the following read or write reports its own problem).
fs::path store_path();

// The store as the file holds it; a missing, unreadable or malformed file gives
// the empty store. Never fails.
ProjectStore load();

// Replaces the store file with `store` (atomically). Returns the write error.
Status save(const ProjectStore& store);

// The store as a JSON document (`projects`, then `active`; each project `name`,
// `mpns`, `description`, `created`), the shape the file and the dashboard use.
util::ordered_json to_json(const ProjectStore& store);

// Reads a store document; nothing when `doc` does not have the store's shape
// (`projects` object required, each project needing `name` and `mpns`).
std::optional<ProjectStore> from_json(const util::json& doc);

// The active project's name, or nothing.
std::optional<std::string> active_project();

// Copies of all projects, ordered by name.
std::vector<Project> list_projects();

// A copy of the project with exactly this name, or nothing.
std::optional<Project> get_project(const std::string& name);

// Creates the project unless one with that name exists (an existing one is left
// unchanged). Saves in both cases; returns the write error.
Status create_project(const std::string& name, const std::string& description);

// Appends `mpn` to the project unless it is already there, creating the project
// (empty description) when missing. Returns the write error.
Status add_mpn(const std::string& name, const std::string& mpn);

// Removes every occurrence of `mpn` from the project, if it exists. Saves even
// when nothing changed; returns the write error.
Status remove_mpn(const std::string& name, const std::string& mpn);

// Sets the active project (unchecked) or clears it with std::nullopt. Returns the
// write error.
Status set_active(const std::optional<std::string>& name);

// Removes the project if present and clears `active` when it named it. Returns
// the write error.
Status delete_project(const std::string& name);

}  // namespace kestrel::store
