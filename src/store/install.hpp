#pragma once
// The agent guidance the executable carries: the skill file and its playbooks,
// written out by `kestrel install`.

#include <array>
#include <filesystem>
#include <string_view>

#include "util/error.hpp"

namespace kestrel::store {

namespace fs = std::filesystem;

// One playbook: its file name under playbooks/ and its title.
struct Playbook {
    std::string_view file;
    std::string_view title;
};

// The playbooks in the order they are deployed and indexed.
inline constexpr std::array<Playbook, 9> k_playbooks = {{
    {"sourcing-ladder.md", "Sourcing ladder"},
    {"manufacturer-direct.md", "Manufacturer-direct"},
    {"ultra-librarian.md", "Ultra Librarian"},
    {"snapmagic.md", "SnapEDA / SnapMagic"},
    {"mouser-cse.md", "Mouser + Component Search Engine"},
    {"digikey-models.md", "DigiKey CAD Models page"},
    {"credentials-and-logins.md", "Credentials and logins"},
    {"velm-desktop-api.md", "velm-desktop API patterns"},
    {"handoff-and-watching.md", "Handoff + watching"},
}};

// The embedded SKILL.md text.
std::string_view skill_text();

// The embedded text of one playbook (by its file name); empty when unknown.
std::string_view playbook_text(std::string_view file);

// Lines of a text as an editor counts them: its newline characters, plus one
// when the text does not end with a newline.
size_t count_lines(std::string_view text);

// Writes `text` to `path`, replacing its content in place (so a read-only file
// refuses). Returns "writing {path}: {reason}" on failure.
util::Status write_document(const fs::path& path, std::string_view text);

}  // namespace kestrel::store
