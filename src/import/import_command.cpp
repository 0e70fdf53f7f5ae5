// The `import` command: the pipeline's lines and the follow-up hints.

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "hints/hints.hpp"
#include "import/import.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

Status cmd_import(const ImportArgs& args) {
    // Run the pipeline; its error carries the whole chain of causes.
    std::optional<import::Provenance> provenance =
        import::provenance_from_flags(args.discovery_source, args.content_origin, args.source_url);
    util::Result<import::ImportResult> result = import::import_path(args.path, args.mpn, provenance);
    if (!result) {
        return std::move(result).error();
    }

    // Say where the files went, one line per copy.
    line("imported into " + result->chip_dir.string());
    if (result->stored.empty()) {
        line("  (no recognized files found in " + args.path + ")");
    }
    for (const std::string& stored : result->stored) {
        line("  + " + stored);
    }

    // Tell the agent what to do next.
    std::string mpn = args.mpn ? *args.mpn : result->chip_dir.filename().string();
    if (util::valid_utf8(mpn)) {
        hints::print_next_hints("imported", mpn);
    }
    return {};
}

}  // namespace kestrel::cli
