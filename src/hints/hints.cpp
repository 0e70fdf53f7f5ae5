#include "hints/hints.hpp"

#include <string_view>

#include "cli/output.hpp"
#include "util/text.hpp"

namespace kestrel::hints {

namespace {

struct HintRow {
    std::string_view event;
    bool needs_mpn;
    std::string_view first;
    std::string_view second;
};

// "{mpn}" is replaced by the caller's MPN; "<MPN>" placeholders stay as written.
constexpr HintRow k_hints[] = {
    {"login", false, "after sign-in, heartbeat: `kestrel heartbeat <MPN> \"logged in to <source>\"`",
     "verify rails: `kestrel selfcheck`"},
    {"listed", false, "inspect one: `kestrel status <MPN>`", "fetch a missing one: `kestrel fetch <MPN>`"},
    {"pulled", true, "heartbeat: `kestrel heartbeat {mpn} \"pulled to incoming\"`",
     "import next: `kestrel import <path> --mpn <MPN>`"},
    {"status", true, "if anything is missing, fetch with `kestrel fetch {mpn}`",
     "heartbeat any user-visible action with `kestrel heartbeat {mpn} \"<stage>\"`"},
    {"fetched", true, "heartbeat the result: `kestrel heartbeat {mpn} imported`", "verify on disk: `kestrel status {mpn}`"},
    {"imported", true, "heartbeat: `kestrel heartbeat {mpn} imported`", "dashboard view: `kestrel status {mpn}`"},
};

}  // namespace

void print_next_hints(const std::string& event, const std::optional<std::string>& mpn) {
    for (const HintRow& row : k_hints) {
        if (row.event != event) {
            continue;
        }
        if (row.needs_mpn && !mpn) {
            return;
        }
        const std::string value = mpn.value_or("");
        cli::hint(util::replace_all(std::string(row.first), "{mpn}", value));
        cli::hint(util::replace_all(std::string(row.second), "{mpn}", value));
        return;
    }
}

}  // namespace kestrel::hints
