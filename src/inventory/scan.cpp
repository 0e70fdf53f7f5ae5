// The inventory scan. The dashboard rescans the whole library every few
// seconds and keeps no cache, so this file is written for speed: each chip
// folder is listed exactly once (one stat per entry, through the open folder's
// descriptor), every presence flag is answered from that listing, and only the
// JSON files the listing shows are opened, each read and parsed once.

#include "inventory/scan.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/paths.hpp"
#include "library/chip.hpp"
#include "util/text.hpp"

namespace kestrel::inventory {

using util::json;
using util::ordered_json;

namespace {

// The short vendor table of the cards, in lookup order: the first prefix wins.
struct VendorPrefix {
    std::string_view prefix;
    std::string_view vendor;
};
constexpr VendorPrefix k_vendor_prefixes[] = {
    {"TPS65987", "TI"}, {"MCXN", "NXP"},      {"ESP32", "Espressif"}, {"ICE40", "Lattice"}, {"R7FA", "Renesas"},
    {"DA14", "Renesas"}, {"ATSAM", "Microchip"}, {"ATME", "Microchip"}, {"ATTI", "Microchip"}, {"VL5", "ST"},
    {"STM", "ST"},       {"LSM", "ST"},         {"BME", "Bosch"},       {"BMI", "Bosch"},       {"BMP", "Bosch"},
    {"PCA9", "NXP"},     {"LPC", "NXP"},        {"AD7", "ADI"},         {"AD8", "ADI"},         {"LTC", "ADI"},
    {"MAX", "ADI"},      {"DMG", "Diodes"},     {"DMP", "Diodes"},      {"DMN", "Diodes"},      {"WAGO", "WAGO"},
    {"NRF", "Nordic"},   {"TPS", "TI"},         {"ADS", "TI"},          {"INA", "TI"},          {"LM", "TI"},
    {"DRV", "TI"},       {"MCF", "TI"},         {"BQ", "TI"},           {"MSP", "TI"},          {"VS", "Vishay"},
    {"SI", "Vishay"},    {"CRCW", "Vishay"},
};

// Display names of source slugs.
struct SourceLabel {
    std::string_view method;
    std::string_view label;
};
constexpr SourceLabel k_source_labels[] = {
    {"ul", "Ultra Librarian"},
    {"cse", "Component Search"},
    {"mfr", "Manufacturer"},
    {"lcsc", "LCSC"},
    {"arrow", "Arrow"},
    {"quarry", "quarry \u00b7 datasheet"},
    {"cse_ul", "Ultra Librarian"},
    {"mouser", "Mouser"},
    {"snapeda", "SnapEDA"},
    {"digikey", "DigiKey"},
    {"snapmagic", "SnapEDA"},
    {"manufacturer", "Manufacturer"},
    {"ultralibrarian", "Ultra Librarian"},
    {"componentsearch", "Component Search"},
    {"kicad_community", "KiCad community"},
};

// Presence flags set by a file named `<MPN><suffix>`.
struct FlagFile {
    std::string_view suffix;
    bool ChipRow::*flag;
};
constexpr FlagFile k_flag_files[] = {
    {".step", &ChipRow::has_step},
    {".stp", &ChipRow::has_step},
    {".kicad_sym", &ChipRow::has_sym},
    {".kicad_mod", &ChipRow::has_mod},
    {".SchLib", &ChipRow::has_altium_sch},
    {".PcbLib", &ChipRow::has_altium_pcb},
    {".IntLib", &ChipRow::has_altium_intlib},
    {".lbr", &ChipRow::has_fusion_lbr},
    {".pdf", &ChipRow::has_pdf},
    {"-datasheet.pdf", &ChipRow::has_pdf},
    {"-symbol.svg", &ChipRow::has_thumb_symbol},
    {"-footprint.svg", &ChipRow::has_thumb_footprint},
    {"-3d-iso.png", &ChipRow::has_thumb_chip3d},
    {"-3d-iso-yup.png", &ChipRow::has_thumb_chip3d_yup},
};

// The JSON files a scan reads; the first two have fixed names, the others are
// `<MPN><suffix>`.
enum JsonSlot { k_info, k_stock, k_thumb_errors, k_thumbs, k_extraction, k_validation, k_provenance, k_slot_count };
struct JsonFile {
    std::string_view name;
    bool mpn_prefixed;
    JsonSlot slot;
};
constexpr JsonFile k_json_files[] = {
    {"info.json", false, k_info},
    {"stock.json", false, k_stock},
    {".thumb-errors.json", false, k_thumb_errors},
    {"-thumbs.json", true, k_thumbs},
    {"-extraction.result.json", true, k_extraction},
    {"-validation-status.json", true, k_validation},
    {"-file-provenance.json", true, k_provenance},
};

// The two kinds of source list a row carries.
struct SourceKind {
    std::string_view kind;        // "symbol" or "footprint"
    std::string_view ext;         // the KiCad file extension of the kind
    std::vector<SourceEntry> ChipRow::*list;
};
constexpr SourceKind k_source_kinds[] = {
    {"symbol", "kicad_sym", &ChipRow::symbol_sources},
    {"footprint", "kicad_mod", &ChipRow::footprint_sources},
};

// Closes a folder stream (and its descriptor) on every path out.
class DirStream {
public:
    explicit DirStream(DIR* dir) : m_dir(dir) {}
    ~DirStream() {
        if (m_dir != nullptr) {
            ::closedir(m_dir);
        }
    }
    DirStream(const DirStream&) = delete;
    DirStream& operator=(const DirStream&) = delete;
    DIR* get() const { return m_dir; }
    int fd() const { return ::dirfd(m_dir); }

private:
    DIR* m_dir;
};

// Opens a folder for listing; the error names the folder and the reason.
util::Result<DIR*> open_dir(const fs::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return util::Error(util::errno_message("listing " + dir.string(), errno));
    }
    DIR* stream = ::fdopendir(fd);
    if (stream == nullptr) {
        int saved = errno;
        ::close(fd);
        return util::Error(util::errno_message("listing " + dir.string(), saved));
    }
    return stream;
}

bool is_dot_entry(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// Type of an entry with links followed. The listing's type is trusted unless
// it is a link or unknown; `st` is filled only when a stat was needed.
enum class EntryKind { File, Folder, Other };
EntryKind entry_kind(int dirfd, const dirent* entry, struct stat* st, bool* stated) {
    *stated = false;
    if (entry->d_type == DT_DIR) {
        return EntryKind::Folder;
    }
    if (entry->d_type != DT_REG && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) {
        return EntryKind::Other;
    }
    if (::fstatat(dirfd, entry->d_name, st, 0) != 0) {
        return EntryKind::Other;  // a dangling link or an entry that vanished
    }
    *stated = true;
    if (S_ISREG(st->st_mode)) {
        return EntryKind::File;
    }
    return S_ISDIR(st->st_mode) ? EntryKind::Folder : EntryKind::Other;
}

// Reads a whole file relative to an open folder; nothing when it cannot be read.
std::optional<std::string> read_at(int dirfd, const std::string& name, std::uint64_t size_hint) {
    int fd = ::openat(dirfd, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string out;
    out.resize(static_cast<size_t>(size_hint) + 1);
    size_t used = 0;
    for (;;) {
        if (used == out.size()) {
            out.resize(out.size() * 2 + 4096);
        }
        ssize_t n = ::read(fd, out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    out.resize(used);
    return out;
}

// Parses a file relative to an open folder; null when unreadable or not JSON.
json parse_at(int dirfd, const std::string& name, std::uint64_t size_hint) {
    std::optional<std::string> text = read_at(dirfd, name, size_hint);
    if (!text) {
        return nullptr;
    }
    json value = json::parse(*text, nullptr, false);
    return value.is_discarded() ? json(nullptr) : value;
}

// `text` with every ill-formed UTF-8 sequence replaced by U+FFFD.
std::string lossy_utf8(std::string_view text) {
    if (util::valid_utf8(text)) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size() + 8);
    size_t i = 0;
    while (i < text.size()) {
        // Find the longest valid sequence start here by testing the candidate lengths.
        size_t len = 0;
        for (size_t n = 1; n <= 4 && i + n <= text.size(); ++n) {
            if (util::valid_utf8(text.substr(i, n))) {
                len = n;
                break;
            }
        }
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text.substr(i, len));
            i += len;
        }
    }
    return out;
}

// A string member of an object, or nothing.
const std::string* string_at(const json& value, std::string_view key) {
    if (!value.is_object()) {
        return nullptr;
    }
    auto it = value.find(key);
    if (it == value.end() || !it->is_string()) {
        return nullptr;
    }
    return it->get_ptr<const std::string*>();
}

// An object member of an object, or nothing.
const json* object_at(const json& value, std::string_view key) {
    if (!value.is_object()) {
        return nullptr;
    }
    auto it = value.find(key);
    if (it == value.end() || !it->is_object()) {
        return nullptr;
    }
    return &*it;
}

// The final component of a slash-separated path; nothing when there is none.
std::optional<std::string> final_component(std::string_view path) {
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    size_t slash = path.rfind('/');
    std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (last.empty() || last == "..") {
        return std::nullopt;
    }
    return std::string(last);
}

// One regular file of a chip folder.
struct FileEntry {
    std::string name;
    std::uint64_t size = 0;
};

// The folder's regular files (links followed) in ascending byte order of name.
util::Result<std::vector<FileEntry>> list_files(const DirStream& stream, const fs::path& dir) {
    std::vector<FileEntry> files;
    const int dirfd = stream.fd();
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) {
            if (errno != 0) {
                return util::Error(util::errno_message("listing " + dir.string(), errno));
            }
            break;
        }
        if (is_dot_entry(entry->d_name)) {
            continue;
        }
        struct stat st;
        bool stated = false;
        if (entry_kind(dirfd, entry, &st, &stated) != EntryKind::File) {
            continue;
        }
        files.push_back(FileEntry{entry->d_name, static_cast<std::uint64_t>(st.st_size)});
    }
    std::sort(files.begin(), files.end(), [](const FileEntry& a, const FileEntry& b) { return a.name < b.name; });
    return files;
}

// Name lookups on the sorted listing.
class Names {
public:
    explicit Names(const std::vector<FileEntry>& files) : m_files(files) {}
    const FileEntry* find(std::string_view name) const {
        auto it = std::lower_bound(m_files.begin(), m_files.end(), name,
                                   [](const FileEntry& e, std::string_view n) { return e.name < n; });
        return it != m_files.end() && it->name == name ? &*it : nullptr;
    }
    bool has(std::string_view name) const { return find(name) != nullptr; }

private:
    const std::vector<FileEntry>& m_files;
};

// The symbol or footprint entries of one kind.
std::vector<SourceEntry> build_sources(const SourceKind& kind, const std::string& mpn,
                                       const std::vector<FileEntry>& files, const Names& names, const json& info,
                                       const json& provenance) {
    std::vector<SourceEntry> out;
    const std::string kind_s(kind.kind);
    const std::string ext(kind.ext);
    const std::string current_file = mpn + "." + ext;
    const bool has_current = names.has(current_file);

    // The file the chip uses now, and where it came from.
    if (has_current) {
        std::string method = "vendor";
        const json* entry = object_at(provenance, current_file);
        const std::string* origin = entry ? string_at(*entry, "content_origin") : nullptr;
        const std::string* discovery = entry ? string_at(*entry, "discovery_source") : nullptr;
        const json* of_record = object_at(info, "source_of_record");
        const std::string* recorded = of_record ? string_at(*of_record, kind_s) : nullptr;
        if (origin != nullptr) {
            method = *origin;
        } else if (discovery != nullptr) {
            method = *discovery;
        } else if (recorded != nullptr) {
            method = *recorded;
        }
        out.push_back(SourceEntry{method, source_label(method), true, names.has(mpn + "-" + kind_s + ".svg")});
    }

    // The datasheet extraction, when it produced a preview.
    if (names.has(mpn + "-" + kind_s + ".extracted.json") && names.has(mpn + "-" + kind_s + ".quarry.svg")) {
        out.push_back(SourceEntry{"quarry", source_label("quarry"), !has_current, true});
    }

    // Per-origin copies `<MPN>.<method>.<ext>`, in byte order of file name.
    const std::string prefix = mpn + ".";
    const std::string suffix = "." + ext;
    for (const FileEntry& file : files) {
        const std::string& name = file.name;
        if (name.size() <= prefix.size() + suffix.size() || !util::starts_with(name, prefix) ||
            !util::ends_with(name, suffix)) {
            continue;
        }
        std::string method = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (method.empty() || method.find('.') != std::string::npos || method == "extracted") {
            continue;
        }
        bool known = std::any_of(out.begin(), out.end(), [&](const SourceEntry& e) { return e.method == method; });
        if (known) {
            continue;
        }
        bool thumb = names.has(mpn + "-" + kind_s + "." + method + ".svg");
        out.push_back(SourceEntry{method, source_label(method), false, thumb});
    }
    return out;
}

// A folder entry of the library root that is a directory (links followed).
bool is_folder(int dirfd, const dirent* entry) {
    struct stat st;
    bool stated = false;
    return entry_kind(dirfd, entry, &st, &stated) == EntryKind::Folder;
}

// Whether any entry named `name` exists in `dir` (a link counts even when dangling).
bool entry_exists(const fs::path& dir, const std::string& name) {
    struct stat st;
    return ::lstat((dir / name).c_str(), &st) == 0;
}

QuickFlags quick_flags_in(const fs::path& dir, const std::string& mpn) {
    QuickFlags flags;
    flags.step = entry_exists(dir, mpn + ".step");
    flags.mod = entry_exists(dir, mpn + ".kicad_mod");
    flags.sym = entry_exists(dir, mpn + ".kicad_sym");
    flags.pdf = entry_exists(dir, mpn + ".pdf");
    return flags;
}

}  // namespace

std::string_view vendor_for_mpn(std::string_view mpn) {
    const std::string upper = util::to_upper(mpn);
    for (const VendorPrefix& row : k_vendor_prefixes) {
        if (util::starts_with(upper, row.prefix)) {
            return row.vendor;
        }
    }
    return "?";
}

std::string source_label(std::string_view method) {
    for (const SourceLabel& row : k_source_labels) {
        if (row.method == method) {
            return std::string(row.label);
        }
    }
    return std::string(method);
}

util::Result<ChipRow> scan_chip(const fs::path& dir, const std::string& mpn) {
    util::Result<DIR*> opened = open_dir(dir);
    if (!opened) {
        return std::move(opened).error();
    }
    DirStream stream(*opened);

    // One listing: the regular files and their sizes.
    util::Result<std::vector<FileEntry>> listed = list_files(stream, dir);
    if (!listed) {
        return std::move(listed).error();
    }
    const std::vector<FileEntry>& files = *listed;
    const Names names(files);

    ChipRow row;
    row.mpn = lossy_utf8(mpn);
    row.files.reserve(files.size());

    // Presence flags, sizes and the JSON files to read, all from the listing.
    std::array<const FileEntry*, k_slot_count> json_files{};
    for (const FileEntry& file : files) {
        row.size_bytes += file.size;
        row.files.push_back(lossy_utf8(file.name));
        if (util::ends_with(file.name, ".pdf")) {
            ++row.pdf_count;
        }
        const bool mpn_named = util::starts_with(file.name, mpn);
        const std::string_view rest = mpn_named ? std::string_view(file.name).substr(mpn.size()) : std::string_view();
        if (mpn_named) {
            for (const FlagFile& flag : k_flag_files) {
                if (rest == flag.suffix) {
                    row.*(flag.flag) = true;
                }
            }
        }
        for (const JsonFile& jf : k_json_files) {
            if (jf.mpn_prefixed ? (mpn_named && rest == jf.name) : file.name == jf.name) {
                json_files[jf.slot] = &file;
            }
        }
    }
    row.has_info = json_files[k_info] != nullptr;
    row.has_altium = (row.has_altium_sch && row.has_altium_pcb) || row.has_altium_intlib;
    row.fully_bundled = row.has_step && row.has_sym && row.has_mod && row.has_altium && row.has_fusion_lbr;

    // Each JSON file the listing shows, read and parsed once.
    std::array<json, k_slot_count> docs;
    for (size_t slot = 0; slot < k_slot_count; ++slot) {
        if (json_files[slot] != nullptr) {
            docs[slot] = parse_at(stream.fd(), json_files[slot]->name, json_files[slot]->size);
        }
    }

    // The record's fields.
    const json& info = docs[k_info];
    const std::string* manufacturer = string_at(info, "manufacturer");
    row.vendor = manufacturer ? *manufacturer : std::string(vendor_for_mpn(mpn));
    const std::string* package = string_at(info, "package");
    row.package = package ? *package : "?";
    const std::string* family = string_at(info, "family");
    row.family = family ? *family : "";
    const std::string* step_source = string_at(info, "step_source");
    row.step_source = step_source ? *step_source : "\u2014";
    const std::string* altium = string_at(info, "altium_source");
    row.altium_not_available = altium && *altium == "not_available";
    const std::string* fusion = string_at(info, "fusion_source");
    row.fusion_not_available = fusion && *fusion == "not_available";

    // Preview orientation: the renderer's guess, overridden by the user's choice.
    const json* thumbnails = object_at(docs[k_thumbs], "thumbnails");
    const json* three_d = thumbnails ? object_at(*thumbnails, "threeD") : nullptr;
    const std::string* inferred = three_d ? string_at(*three_d, "inferredSourceUpAxis") : nullptr;
    row.inferred_up_axis = inferred ? *inferred : "z";
    const std::string* chosen = string_at(info, "chosen_up_axis");
    row.chosen_up_axis = chosen ? *chosen : row.inferred_up_axis;

    // Extraction and validation results.
    if (const json* outputs = object_at(docs[k_extraction], "outputs")) {
        if (const std::string* svg = string_at(*outputs, "footprint_svg")) {
            row.authoritative_footprint_svg = final_component(*svg);
        }
        if (const std::string* svg_source = string_at(*outputs, "footprint_svg_source")) {
            row.authoritative_footprint_svg_source = *svg_source;
        }
    }
    const json& validation = docs[k_validation];
    if (const std::string* status = string_at(validation, "arbiter_status")) {
        row.validation_status = *status;
    }
    if (validation.is_object()) {
        auto variants = validation.find("variants");
        if (variants != validation.end() && variants->is_array()) {
            for (const json& variant : *variants) {
                if (const std::string* kind = string_at(variant, "kind")) {
                    row.validation_variants.push_back(*kind);
                }
            }
        }
    }

    // Symbol and footprint sources.
    for (const SourceKind& kind : k_source_kinds) {
        row.*(kind.list) = build_sources(kind, mpn, files, names, info, docs[k_provenance]);
    }

    row.info = std::move(docs[k_info]);
    row.stock = std::move(docs[k_stock]);
    row.file_provenance = std::move(docs[k_provenance]);
    row.thumb_errors = std::move(docs[k_thumb_errors]);
    return row;
}

util::Result<LibrarySummary> scan_library(const fs::path& root) {
    LibrarySummary summary;
    struct stat root_st;
    if (::stat(root.c_str(), &root_st) != 0 && errno == ENOENT) {
        return summary;  // no library yet: an empty one
    }
    util::Result<DIR*> opened = open_dir(root);
    if (!opened) {
        return std::move(opened).error();
    }
    DirStream stream(*opened);

    // The chip folders, in ascending byte order of name.
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(stream.get());
        if (entry == nullptr) {
            if (errno != 0) {
                return util::Error(util::errno_message("listing " + root.string(), errno));
            }
            break;
        }
        if (!is_dot_entry(entry->d_name) && is_folder(stream.fd(), entry)) {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());

    // One row per folder; any folder that cannot be listed fails the scan.
    summary.chips.reserve(names.size());
    for (const std::string& name : names) {
        util::Result<ChipRow> row = scan_chip(root / name, name);
        if (!row) {
            return std::move(row).error();
        }
        summary.total_size += row->size_bytes;
        if (row->fully_bundled) {
            ++summary.fully_count;
        } else {
            ++summary.stub_count;
        }
        summary.chips.push_back(std::move(*row));
    }
    return summary;
}

util::Result<LibrarySummary> scan_library() { return scan_library(cli::library_root()); }

QuickFlags quick_flags(const std::string& mpn) {
    if (!library::is_safe_mpn(mpn)) {
        return QuickFlags{};
    }
    return quick_flags_in(library::chip_dir(mpn), mpn);
}

std::vector<ListedChip> list_chips() {
    std::vector<ListedChip> out;
    const fs::path root = cli::library_root();
    util::Result<DIR*> opened = open_dir(root);
    if (!opened) {
        return out;
    }
    DirStream stream(*opened);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(stream.get())) {
        if (!is_dot_entry(entry->d_name) && is_folder(stream.fd(), entry)) {
            names.emplace_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    out.reserve(names.size());
    for (const std::string& name : names) {
        out.push_back(ListedChip{lossy_utf8(name), quick_flags_in(root / name, name)});
    }
    return out;
}

ordered_json to_json(const SourceEntry& entry) {
    ordered_json out = ordered_json::object();
    out["method"] = entry.method;
    out["label"] = entry.label;
    out["current"] = entry.current;
    out["thumb"] = entry.thumb;
    return out;
}

namespace {

ordered_json optional_string(const std::optional<std::string>& value) {
    return value ? ordered_json(*value) : ordered_json(nullptr);
}

ordered_json source_list(const std::vector<SourceEntry>& entries) {
    ordered_json out = ordered_json::array();
    for (const SourceEntry& entry : entries) {
        out.push_back(to_json(entry));
    }
    return out;
}

}  // namespace

ordered_json to_json(const ChipRow& row) {
    ordered_json out = ordered_json::object();
    out["mpn"] = row.mpn;
    out["vendor"] = row.vendor;
    out["package"] = row.package;
    out["family"] = row.family;
    out["fully_bundled"] = row.fully_bundled;
    out["has_step"] = row.has_step;
    out["has_sym"] = row.has_sym;
    out["has_mod"] = row.has_mod;
    out["has_altium_sch"] = row.has_altium_sch;
    out["has_altium_pcb"] = row.has_altium_pcb;
    out["has_altium_intlib"] = row.has_altium_intlib;
    out["has_altium"] = row.has_altium;
    out["altium_not_available"] = row.altium_not_available;
    out["has_fusion_lbr"] = row.has_fusion_lbr;
    out["fusion_not_available"] = row.fusion_not_available;
    out["has_pdf"] = row.has_pdf;
    out["pdf_count"] = row.pdf_count;
    out["has_info"] = row.has_info;
    out["has_thumb_symbol"] = row.has_thumb_symbol;
    out["has_thumb_footprint"] = row.has_thumb_footprint;
    out["has_thumb_chip3d"] = row.has_thumb_chip3d;
    out["has_thumb_chip3d_yup"] = row.has_thumb_chip3d_yup;
    out["inferred_up_axis"] = row.inferred_up_axis;
    out["chosen_up_axis"] = row.chosen_up_axis;
    out["step_source"] = row.step_source;
    out["size_bytes"] = row.size_bytes;
    out["files"] = row.files;
    out["info"] = ordered_json(row.info);
    out["stock"] = ordered_json(row.stock);
    out["authoritative_footprint_svg"] = optional_string(row.authoritative_footprint_svg);
    out["authoritative_footprint_svg_source"] = optional_string(row.authoritative_footprint_svg_source);
    out["validation_status"] = optional_string(row.validation_status);
    out["validation_variants"] = row.validation_variants;
    out["file_provenance"] = ordered_json(row.file_provenance);
    out["symbol_sources"] = source_list(row.symbol_sources);
    out["footprint_sources"] = source_list(row.footprint_sources);
    out["thumb_errors"] = ordered_json(row.thumb_errors);
    return out;
}

ordered_json to_json(const LibrarySummary& summary) {
    ordered_json out = ordered_json::object();
    ordered_json chips = ordered_json::array();
    for (const ChipRow& row : summary.chips) {
        chips.push_back(to_json(row));
    }
    out["chips"] = std::move(chips);
    out["total_size"] = summary.total_size;
    out["fully_count"] = summary.fully_count;
    out["stub_count"] = summary.stub_count;
    return out;
}

}  // namespace kestrel::inventory
