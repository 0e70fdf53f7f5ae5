// The import pipeline. A download (file, folder or zip) is walked into a list
// of files first and then imported file by file, so a failure stops at the
// first bad file and leaves everything copied before it in place.
//
// Two kinds of walk exist. A folder the user names is walked as the user sees
// it: links to folders are followed, but a folder already visited (through a
// link cycle or a second link) is never entered twice. A folder unpacked from
// an archive holds whatever the archive's author put there, including symbolic
// links to any file on this machine, so its walk takes regular files and real
// folders only and never follows a link.

#include "import/import.hpp"

#include <set>
#include <system_error>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include "cli/paths.hpp"
#include "import/check.hpp"
#include "library/chip.hpp"
#include "util/json_file.hpp"
#include "util/process.hpp"
#include "util/text.hpp"

namespace kestrel::import {

namespace {

using util::json;

enum class WalkMode {
    FollowLinks,  // a folder the user named
    RegularOnly,  // a folder unpacked from an archive
};

// What one import carries through its walks.
struct ImportRun {
    std::string mpn;
    fs::path chip_dir;
    std::vector<std::string>& names;
    int archive_depth = 0;  // how many archives are being walked right now
};

util::Status import_one(const fs::path& file, ImportRun& run);
util::Status walk_tree(const fs::path& dir, WalkMode mode, ImportRun& run);

// The folder an archive unpacks into. The outermost archive uses
// `<temp>/kestrel-<pid>`; an archive found inside it gets a folder of its own
// (`kestrel-<pid>-<depth>`), so removing it never takes the outer archive's
// files that are still waiting to be imported.
fs::path unpack_dir(int depth) {
    std::string name = "kestrel-" + std::to_string(::getpid());
    if (depth > 0) {
        name += "-" + std::to_string(depth);
    }
    return cli::temp_dir() / name;
}

// unzip reads an argument starting with '-' as an option; "./" keeps a
// relative file name a file name.
std::string archive_argument(const fs::path& archive) {
    std::string text = archive.string();
    if (util::starts_with(text, "-")) {
        return "./" + text;
    }
    return text;
}

util::Status import_archive(const fs::path& archive, ImportRun& run) {
    fs::path dir = unpack_dir(run.archive_depth);
    std::error_code ec;
    // A folder of the same name may be left from a failed import of an earlier
    // process with the same id; its files must not join this import.
    fs::remove_all(dir, ec);
    fs::create_directories(dir, ec);
    if (ec) {
        return util::Error("creating " + dir.string() + ": " + ec.message());
    }
    util::RunOptions options;
    options.out = util::Stream::Inherit;
    options.err = util::Stream::Inherit;
    util::Result<util::ProcessResult> unzip =
        util::run({"unzip", "-q", "-o", archive_argument(archive), "-d", dir.string()}, options);
    if (!unzip) {
        fs::remove_all(dir, ec);
        return std::move(unzip).error().context("running unzip — install `unzip` if missing");
    }
    if (!unzip->success()) {
        fs::remove_all(dir, ec);
        return util::Error("unzip failed for " + archive.string());
    }
    ++run.archive_depth;
    util::Status walked = walk_tree(dir, WalkMode::RegularOnly, run);
    --run.archive_depth;
    if (!walked) {
        return walked;  // the unpacked files stay for inspection
    }
    fs::remove_all(dir, ec);
    return {};
}

// Copies through a temporary file in the chip folder and a rename, so a copy
// that fails half-way never leaves a truncated file under the stored name.
util::Status copy_into(const fs::path& from, const fs::path& to) {
    fs::path temp = to;
    temp += ".kestrel-copy-" + std::to_string(::getpid());
    std::error_code ec;
    fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        fs::rename(temp, to, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return util::Error(ec.message());
    }
    return {};
}

util::Status import_one(const fs::path& file, ImportRun& run) {
    std::optional<Classification> kind = classify(file);
    if (!kind) {
        return {};
    }
    if (kind->kind == FileKind::Archive) {
        return import_archive(file, run);
    }
    if (kind->checked) {
        if (util::Status st = check_content(file, kind->extension); !st) {
            return std::move(st).error().context("magic-byte check failed for " + file.string());
        }
    }
    std::string stored = run.mpn + "." + std::string(kind->stored_extension);
    fs::path destination = run.chip_dir / stored;
    if (util::Status st = copy_into(file, destination); !st) {
        return std::move(st).error().context("copying " + file.string() + " → " + destination.string());
    }
    run.names.push_back(stored);
    (void)append_fetch_log(run.chip_dir, run.mpn, stored, file);  // the log never fails an import
    return {};
}

struct DirId {
    dev_t dev;
    ino_t ino;
    auto operator<=>(const DirId&) const = default;
};

std::optional<DirId> dir_id(const fs::path& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return DirId{st.st_dev, st.st_ino};
}

util::Status walk_tree(const fs::path& root, WalkMode mode, ImportRun& run) {
    std::vector<fs::path> stack{root};
    std::vector<fs::path> files;
    std::set<DirId> visited;
    if (std::optional<DirId> id = dir_id(root)) {
        visited.insert(*id);
    }
    while (!stack.empty()) {
        fs::path dir = std::move(stack.back());
        stack.pop_back();
        std::error_code ec;
        fs::directory_iterator it(dir, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            const fs::path& entry = it->path();
            std::error_code type_ec;
            if (mode == WalkMode::RegularOnly) {
                fs::file_status st = fs::symlink_status(entry, type_ec);
                if (fs::is_directory(st)) {
                    stack.push_back(entry);
                } else if (fs::is_regular_file(st)) {
                    files.push_back(entry);
                }
                continue;  // links, devices and sockets from an archive are never read
            }
            if (fs::is_directory(fs::status(entry, type_ec))) {
                std::optional<DirId> id = dir_id(entry);
                if (id && visited.insert(*id).second) {
                    stack.push_back(entry);
                }
                continue;
            }
            files.push_back(entry);
        }
        if (ec) {
            return util::Error("listing " + dir.string() + ": " + ec.message());
        }
    }
    for (const fs::path& file : files) {
        if (util::Status st = import_one(file, run); !st) {
            return st;
        }
    }
    return {};
}

// The path's last component, ignoring trailing slashes ("a/b/" names "b").
std::string last_component(const fs::path& path) {
    fs::path p = path;
    while (!p.empty() && p.filename().empty() && p.has_parent_path() && p.parent_path() != p) {
        p = p.parent_path();
    }
    return p.filename().string();
}

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool could_be_mpn(std::string_view piece) {
    if (piece.size() < 4 || piece.size() > 24) {
        return false;
    }
    bool letter = false;
    bool digit = false;
    for (char c : piece) {
        letter = letter || is_ascii_letter(c);
        digit = digit || is_ascii_digit(c);
    }
    return letter && digit;
}

void copy_per_origin(const ImportResult& result, const Provenance& provenance) {
    std::string slug = origin_slug(provenance);
    // "quarry" copies would be mistaken for the extractor's own files, and an
    // empty slug names no origin at all.
    if (slug == "quarry" || slug.empty()) {
        return;
    }
    std::string stem = result.chip_dir.filename().string();
    for (const char* ext : {"kicad_sym", "kicad_mod"}) {
        std::string name = stem + "." + ext;
        bool imported = false;
        for (const std::string& stored : result.stored) {
            imported = imported || stored == name;
        }
        if (imported) {
            (void)copy_into(result.chip_dir / name, result.chip_dir / (stem + "." + slug + "." + ext));
        }
    }
}

}  // namespace

std::optional<Provenance> provenance_from_flags(const std::string& discovery_source,
                                                const std::string& content_origin, const std::string& url) {
    if (discovery_source == "unknown" && content_origin == "unknown" && url.empty()) {
        return std::nullopt;
    }
    return Provenance{discovery_source, content_origin, url};
}

std::string origin_slug(const Provenance& provenance) {
    const std::string& origin =
        provenance.content_origin.empty() ? provenance.discovery_source : provenance.content_origin;
    std::string slug;
    for (char c : origin) {
        if (is_ascii_letter(c) || is_ascii_digit(c)) {
            slug += c;
        }
    }
    return util::to_lower(slug);
}

std::optional<std::string> infer_mpn(const fs::path& path) {
    std::string name = last_component(path);
    size_t dot = name.rfind('.');
    std::string stem = (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
    if (!util::valid_utf8(stem)) {
        return std::nullopt;
    }
    size_t start = 0;
    for (size_t i = 0; i <= stem.size(); ++i) {
        if (i == stem.size() || stem[i] == ' ' || stem[i] == '-' || stem[i] == '.' || stem[i] == '_') {
            std::string_view piece = std::string_view(stem).substr(start, i - start);
            if (could_be_mpn(piece)) {
                return std::string(piece);
            }
            start = i + 1;
        }
    }
    return std::nullopt;
}

util::Result<ImportResult> import_path(const fs::path& path, const std::optional<std::string>& mpn,
                                       const std::optional<Provenance>& provenance) {
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        return util::Error("path does not exist: " + path.string());
    }
    std::optional<std::string> chosen = mpn ? mpn : infer_mpn(path);
    if (!chosen) {
        return util::Error("could not infer MPN from path '" + path.string() + "' — pass --mpn");
    }
    util::Result<fs::path> dir = library::ensure_chip_dir(*chosen);
    if (!dir) {
        return std::move(dir).error();
    }
    ImportResult result{*chosen, *dir, {}};
    ImportRun run{result.mpn, result.chip_dir, result.stored};
    if (fs::is_regular_file(status)) {
        if (util::Status st = import_one(path, run); !st) {
            return std::move(st).error();
        }
    } else if (fs::is_directory(status)) {
        if (util::Status st = walk_tree(path, WalkMode::FollowLinks, run); !st) {
            return std::move(st).error();
        }
    }
    // Provenance and the per-origin copies are bookkeeping: their errors never
    // undo or fail an import whose files are already in place.
    if (provenance) {
        for (const std::string& stored : result.stored) {
            (void)record_provenance(result.chip_dir, stored, *provenance);
        }
        copy_per_origin(result, *provenance);
    }
    return result;
}

util::Status import_file(const fs::path& file, const std::string& mpn, const fs::path& chip_dir,
                         std::vector<std::string>& names) {
    ImportRun run{mpn, chip_dir, names};
    return import_one(file, run);
}

util::Status import_tree(const fs::path& dir, const std::string& mpn, const fs::path& chip_dir,
                         std::vector<std::string>& names) {
    ImportRun run{mpn, chip_dir, names};
    return walk_tree(dir, WalkMode::FollowLinks, run);
}

util::Status append_fetch_log(const fs::path& chip_dir, const std::string& mpn, const std::string& stored_name,
                              const fs::path& source) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(source, ec);
    json entry = {
        {"at", util::unix_now()},
        {"magic_ok", true},
        {"size_bytes", ec ? std::uintmax_t{0} : size},
        {"src_path", source.string()},
        {"target", stored_name},
    };
    return util::update_json(chip_dir / (mpn + "-fetch-log.json"),
                             [&](const util::JsonRead& current) -> util::Result<std::optional<json>> {
                                 json log = (current.state == util::ReadState::Ok && current.value.is_array())
                                                ? current.value
                                                : json::array();
                                 log.push_back(entry);
                                 return std::optional<json>(std::move(log));
                             });
}

util::Status record_provenance(const fs::path& chip_dir, const std::string& stored_name,
                               const Provenance& provenance) {
    json record = {
        {"content_origin", provenance.content_origin},
        {"discovery_source", provenance.discovery_source},
        {"fetched_at", util::unix_now()},
        {"url", provenance.url},
    };
    fs::path file = chip_dir / (chip_dir.filename().string() + "-file-provenance.json");
    return util::update_json(file, [&](const util::JsonRead& current) -> util::Result<std::optional<json>> {
        json all = current.is_object() ? current.value : json::object();
        all[stored_name] = record;
        return std::optional<json>(std::move(all));
    });
}

}  // namespace kestrel::import
