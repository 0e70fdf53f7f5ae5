// `kestrel install`: deploys the skill file and the playbooks into the agent's
// skill folder. Documents are written in place rather than swapped in by a
// rename, so a file the user made read-only is refused instead of silently
// replaced. Nothing is ever deleted: the user's own files stay.

#include "store/install.hpp"

#include <algorithm>
#include <string>
#include <system_error>

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "cli/paths.hpp"
#include "util/assets.hpp"
#include "util/json_file.hpp"

namespace kestrel::store {

namespace {

constexpr std::string_view k_skill_asset = "skill/SKILL.md";
constexpr std::string_view k_playbook_assets = "skill/playbooks/";

util::Status create_folder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return util::Error(util::errno_message("creating " + folder.string(), ec.value()));
    }
    return {};
}

}  // namespace

std::string_view skill_text() { return util::find_asset(k_skill_asset).value_or(std::string_view()); }

std::string_view playbook_text(std::string_view file) {
    std::string path = std::string(k_playbook_assets) + std::string(file);
    return util::find_asset(path).value_or(std::string_view());
}

size_t count_lines(std::string_view text) {
    size_t newlines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    return (text.empty() || text.back() == '\n') ? newlines : newlines + 1;
}

util::Status write_document(const fs::path& path, std::string_view text) {
    return util::write_file_in_place(path, text);
}

}  // namespace kestrel::store

namespace kestrel::cli {

Status cmd_install(const InstallArgs& /*args*/) {
    // The skill folder lives in the user's home; without one nothing is written.
    std::optional<fs::path> home = home_dir();
    if (!home) {
        return util::Error("HOME not set");
    }
    fs::path skill_folder = *home / ".claude" / "skills" / "kestrel";
    if (Status st = store::create_folder(skill_folder); !st) {
        return st;
    }

    // The skill file first, so a refused SKILL.md stops before any playbook.
    std::string_view skill = store::skill_text();
    fs::path skill_path = skill_folder / "SKILL.md";
    if (Status st = store::write_document(skill_path, skill); !st) {
        return st;
    }
    ok("kestrel SKILL.md deployed to " + skill_path.string());
    line("    " + std::to_string(skill.size()) + " bytes, " + std::to_string(store::count_lines(skill)) + " lines");

    // Then every playbook in table order; the first failure ends the command.
    fs::path playbook_folder = skill_folder / "playbooks";
    if (Status st = store::create_folder(playbook_folder); !st) {
        return st;
    }
    size_t bytes = 0;
    size_t lines = 0;
    for (const store::Playbook& playbook : store::k_playbooks) {
        std::string_view text = store::playbook_text(playbook.file);
        if (Status st = store::write_document(playbook_folder / playbook.file, text); !st) {
            return st;
        }
        bytes += text.size();
        lines += store::count_lines(text);
    }
    ok(std::to_string(store::k_playbooks.size()) + " playbook(s) deployed to " + playbook_folder.string());
    line("    " + std::to_string(bytes) + " bytes, " + std::to_string(lines) + " lines across all playbooks");

    line("");
    line("Try `kestrel --help` to see commands.");
    return {};
}

}  // namespace kestrel::cli
