#pragma once
// The chip folder `<library root>/<MPN>/` and the names of the files in it.
//
// The MPN names the folder verbatim (case, dots, spaces and non-ASCII kept),
// so an MPN that could climb out of the library or nest folders is refused by
// everything that creates or writes: empty, "." or "..", or one holding '/' or
// a NUL byte. Readers treat such an MPN as a chip that does not exist.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "util/error.hpp"
#include "util/json_file.hpp"

namespace kestrel::library {

namespace fs = std::filesystem;

// Why `mpn` cannot name a folder, or nothing when it can.
std::optional<std::string> mpn_problem(std::string_view mpn);

// True when `mpn` may name a chip folder.
inline bool is_safe_mpn(std::string_view mpn) { return !mpn_problem(mpn).has_value(); }

// Fails with "invalid MPN '{mpn}': {reason}" when `mpn` cannot name a folder.
util::Status check_mpn(std::string_view mpn);

// `<library root>/<mpn>`; creates nothing and checks nothing.
fs::path chip_dir(const std::string& mpn);

// `chip_dir`, created with all missing parents when absent. Fails for an unsafe
// MPN and with the file system's error.
util::Result<fs::path> ensure_chip_dir(const std::string& mpn);

// `<library root>/<mpn>/info.json`.
fs::path info_path(const std::string& mpn);

// `<chip_dir>/<mpn><suffix>`, e.g. chip_file("X", ".pdf") is `<root>/X/X.pdf`.
fs::path chip_file(const std::string& mpn, std::string_view suffix);

// True when the chip's folder exists (never for an unsafe MPN).
bool chip_exists(const std::string& mpn);

// Field access on a leniently read record: the value only when the document is
// an object holding `key` with the expected JSON type.
std::optional<std::string> string_field(const util::json& record, const std::string& key);

}  // namespace kestrel::library
