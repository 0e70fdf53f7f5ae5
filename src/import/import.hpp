#pragma once
// The one import pipeline: brings a downloaded file, a folder or a zip archive
// into a chip folder, checking every file's content first. Used by the import
// command, by pulls from the desktop, by re-fetches and by the guided fetch.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "util/error.hpp"

namespace kestrel::import {

namespace fs = std::filesystem;

// Where a file came from. Recorded per stored file in the provenance file.
struct Provenance {
    std::string discovery_source;  // where the download link was found
    std::string content_origin;    // who made the file
    std::string url;               // page or download address
};

struct ImportResult {
    std::string mpn;
    fs::path chip_dir;
    std::vector<std::string> stored;  // `<MPN>.<ext>` once per copy, in copy order
};

// The provenance of the command-line flags, or nothing when all three hold
// their defaults ("unknown", "unknown", "").
std::optional<Provenance> provenance_from_flags(const std::string& discovery_source,
                                                const std::string& content_origin, const std::string& url);

// The slug of the per-origin KiCad copies: the content origin (or, when it is
// empty, the discovery source) with everything but ASCII letters and digits
// dropped and letters lower-cased.
std::string origin_slug(const Provenance& provenance);

// The MPN a file name suggests: the first piece of the stem (split at space,
// '-', '.', '_') with a letter and a digit and 4 to 24 bytes, or nothing.
std::optional<std::string> infer_mpn(const fs::path& path);

// Imports `path` (a file, a folder or a zip) for `mpn` (inferred from the name
// when absent) and records `provenance` when given. Fails on a missing path,
// an MPN that cannot be inferred or named, or the first file that fails its
// check or copy; files copied before a failure stay.
util::Result<ImportResult> import_path(const fs::path& path, const std::optional<std::string>& mpn,
                                       const std::optional<Provenance>& provenance);

// Classifies, checks, copies and logs one file (unpacking it when it is a zip),
// appending each stored name to `names`. An unrecognised file is skipped.
util::Status import_file(const fs::path& file, const std::string& mpn, const fs::path& chip_dir,
                         std::vector<std::string>& names);

// Imports every file under `dir`, following symbolic links to folders but never
// into a folder already visited. Stops at the first failure.
util::Status import_tree(const fs::path& dir, const std::string& mpn, const fs::path& chip_dir,
                         std::vector<std::string>& names);

// Appends {at, magic_ok, size_bytes, src_path, target} to `<MPN>-fetch-log.json`
// in `chip_dir`, starting afresh when the log is missing or not an array.
util::Status append_fetch_log(const fs::path& chip_dir, const std::string& mpn, const std::string& stored_name,
                              const fs::path& source);

// Sets the entry of `stored_name` in `<dir name>-file-provenance.json`,
// starting afresh when the file is missing or not an object.
util::Status record_provenance(const fs::path& chip_dir, const std::string& stored_name,
                               const Provenance& provenance);

}  // namespace kestrel::import
