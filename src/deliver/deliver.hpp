#pragma once
// Handing a chip's parts to a desktop EDA tool on the user's laptop. KiCad gets
// the symbol and footprint installed as libraries; Fusion 360 gets a generated
// EAGLE library (.lbr) opened; Altium and OrCAD get the .lbr as a download with
// import instructions. Every transfer goes through the desktop bridge; the .lbr
// comes from the generator `velm-lbr`.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "util/error.hpp"
#include "util/json_file.hpp"

namespace kestrel::deliver {

namespace fs = std::filesystem;

// Delivers the chip `mpn` (its folder must exist) to `target` ("kicad",
// "fusion360"/"fusion", "altium", "orcad"). Never fails: every problem, from
// missing KiCad files to an offline bridge, is a reply object with `ok` false.
util::json deliver(const std::string& mpn, const std::string& target);

// The argument vector of `velm-lbr generate` for the chip folder `chip_dir`:
// --sym and --fp each only when <MPN>.kicad_sym / <MPN>.kicad_mod exist there.
std::vector<std::string> lbr_generate_argv(const fs::path& chip_dir, const std::string& mpn,
                                           const fs::path& output);

// What one run of the generator gave.
struct LbrRun {
    int exit_code = -1;
    bool output_exists = false;  // the .lbr exists after the run
    std::string err;             // the generator's standard error (invalid UTF-8 replaced)
};

// Runs `velm-lbr generate` with output captured. Fails only when the generator
// cannot be started.
util::Result<LbrRun> run_lbr_generate(const fs::path& chip_dir, const std::string& mpn, const fs::path& output);

// One direct call of the desktop bridge (no session recovery): the reply parsed
// from standard output, or {"ok":<exit status was 0>,"raw":<output>} when the
// output is not JSON. Fails with "velm-desktop unreachable: {error}" when the
// bridge cannot be started.
struct BridgeReply {
    util::json reply;
    int exit_code = 0;
    std::string err;  // standard error, kept to explain a failed call
};
util::Result<BridgeReply> bridge_send(const std::string& operation, const util::ordered_json& request);

// One collected bridge call of a delivery, in the order the calls were made.
struct BridgeOutcome {
    std::string operation;
    util::Result<BridgeReply> result;
};

// Judges the collected calls of a delivery to `display` of `what`, stopping at
// the first that decides: an unrunnable bridge, a disconnected bridge, a call
// the bridge refused; else the delivered reply.
util::json evaluate_bridge_results(const std::vector<BridgeOutcome>& outcomes, const std::string& display,
                                   const std::string& what);

}  // namespace kestrel::deliver
