#include "import/check.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "util/text.hpp"

namespace kestrel::import {

namespace {

struct KindRow {
    std::string_view extension;  // lower-case key
    FileKind kind;
    std::string_view stored_extension;
    bool checked;
};

// Every extension the library keeps, with the name it is stored under. Altium
// files keep their mixed-case names whatever case the download used.
constexpr KindRow k_kinds[] = {
    {"zip", FileKind::Archive, "", false},
    {"pdf", FileKind::Datasheet, "pdf", true},
    {"step", FileKind::Model3d, "step", true},
    {"stp", FileKind::Model3d, "step", true},
    {"wrl", FileKind::VrmlModel, "wrl", true},
    {"kicad_sym", FileKind::KicadSymbol, "kicad_sym", true},
    {"kicad_mod", FileKind::KicadFootprint, "kicad_mod", true},
    {"lbr", FileKind::EagleLibrary, "lbr", false},
    {"schlib", FileKind::AltiumSchematic, "SchLib", false},
    {"pcblib", FileKind::AltiumPcb, "PcbLib", false},
    {"intlib", FileKind::AltiumIntegrated, "IntLib", false},
    {"libpkg", FileKind::AltiumPackage, "LibPkg", false},
};

constexpr size_t k_head_size = 64;
constexpr size_t k_sniff_size = 32;

// Markers an HTML page begins with (the first two) or carries (the last).
constexpr std::string_view k_doctype = "<!doctype html";
constexpr std::string_view k_html = "<html";
constexpr std::string_view k_head = "<head>";

struct TypeMarker {
    std::string_view extension;
    bool at_start;  // the marker must open the head; otherwise it may sit anywhere in it
    std::string_view marker;
    std::string_view alternative;  // a second accepted marker, or empty
    std::string_view failure;      // message prefix, followed by the path
};

constexpr TypeMarker k_markers[] = {
    {"pdf", true, "%PDF", "", "not a real PDF (missing %PDF magic): "},
    {"step", false, "ISO-10303-21", "", "not a real STEP (missing ISO-10303-21 header): "},
    {"stp", false, "ISO-10303-21", "", "not a real STEP (missing ISO-10303-21 header): "},
    {"kicad_sym", false, "kicad_symbol_lib", "", "not a real KiCad symbol library: "},
    {"kicad_mod", false, "footprint", "module", "not a real KiCad footprint: "},
};

bool looks_like_html(std::string_view head) {
    std::string sniff = util::to_lower(head.substr(0, k_sniff_size));
    return util::starts_with(sniff, k_doctype) || util::starts_with(sniff, k_html) ||
           sniff.find(k_head) != std::string::npos;
}

bool has_marker(std::string_view head, const TypeMarker& row) {
    auto found = [&](std::string_view marker) {
        if (marker.empty()) {
            return false;
        }
        return row.at_start ? util::starts_with(head, marker) : head.find(marker) != std::string_view::npos;
    };
    return found(row.marker) || found(row.alternative);
}

// One read of up to 64 bytes, as the checks promise; a short read is the head.
util::Result<std::string> read_head(const fs::path& path) {
    // O_NONBLOCK: a named pipe called x.pdf must not hang the check.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return util::Error(util::errno_message("opening " + path.string(), errno));
    }
    char buf[k_head_size];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    int read_errno = errno;
    ::close(fd);
    if (n < 0) {
        return util::Error(util::errno_message("reading " + path.string(), read_errno));
    }
    return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

std::optional<std::string> file_extension(const fs::path& path) {
    std::string name = path.filename().string();
    if (name == "..") {
        return std::nullopt;
    }
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) {
        return std::nullopt;
    }
    std::string ext = name.substr(dot + 1);
    if (!util::valid_utf8(ext)) {
        return std::nullopt;
    }
    return ext;
}

std::optional<Classification> classify(const fs::path& path) {
    std::optional<std::string> ext = file_extension(path);
    if (!ext) {
        return std::nullopt;
    }
    std::string key = util::to_lower(*ext);
    for (const KindRow& row : k_kinds) {
        if (row.extension == key) {
            return Classification{row.kind, row.extension, row.stored_extension, row.checked};
        }
    }
    return std::nullopt;
}

util::Status check_content(const fs::path& path, std::string_view extension) {
    std::string ext = util::to_lower(extension);
    // Archives, EAGLE and Altium files and unknown kinds carry no check: they
    // pass without the file being opened.
    bool checked = false;
    for (const KindRow& row : k_kinds) {
        checked = checked || (row.extension == ext && row.checked);
    }
    if (!checked) {
        return {};
    }
    util::Result<std::string> head = read_head(path);
    if (!head) {
        return std::move(head).error();
    }
    if (looks_like_html(*head)) {
        return util::Error("file looks like HTML (probably a CDN denial / 404 page), not a " + ext + ": " +
                           path.string());
    }
    for (const TypeMarker& row : k_markers) {
        if (row.extension == ext && !has_marker(*head, row)) {
            return util::Error(std::string(row.failure) + path.string());
        }
    }
    return {};
}

}  // namespace kestrel::import
