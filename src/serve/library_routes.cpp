#include "serve/library_routes.hpp"

#include <array>
#include <optional>
#include <string>

#include "cli/paths.hpp"
#include "inventory/scan.hpp"
#include "serve/guard.hpp"
#include "serve/library_json.hpp"
#include "store/projects.hpp"
#include "util/assets.hpp"
#include "util/text.hpp"

namespace kestrel::serve {

namespace {

struct ExtensionType {
    std::string_view extension;
    std::string_view content_type;
};

constexpr std::array<ExtensionType, 10> k_asset_types{{
    {"kicad_sym", "text/plain; charset=utf-8"},
    {"kicad_mod", "text/plain; charset=utf-8"},
    {"pdf", "application/pdf"},
    {"step", "application/STEP"},
    {"stp", "application/STEP"},
    {"png", "image/png"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"json", "application/json"},
    {"html", "text/html; charset=utf-8"},
}};

struct ThumbKind {
    std::string_view kind;
    std::string_view suffix;  // appended to the MPN
    std::string_view content_type;
};

constexpr std::array<ThumbKind, 14> k_thumb_kinds{{
    {"symbol", "-symbol.svg", "image/svg+xml"},
    {"footprint", "-footprint.svg", "image/svg+xml"},
    {"chip3d", "-3d-iso.png", "image/png"},
    {"chip3d-lg", "-3d-iso-lg.png", "image/png"},
    {"chip3d-xup", "-3d-iso-xup.png", "image/png"},
    {"chip3d-yup", "-3d-iso-yup.png", "image/png"},
    {"chip3d-xdown", "-3d-iso-xdown.png", "image/png"},
    {"chip3d-ydown", "-3d-iso-ydown.png", "image/png"},
    {"chip3d-zdown", "-3d-iso-zdown.png", "image/png"},
    {"chip3d-xup-lg", "-3d-iso-xup-lg.png", "image/png"},
    {"chip3d-yup-lg", "-3d-iso-yup-lg.png", "image/png"},
    {"chip3d-xdown-lg", "-3d-iso-xdown-lg.png", "image/png"},
    {"chip3d-ydown-lg", "-3d-iso-ydown-lg.png", "image/png"},
    {"chip3d-zdown-lg", "-3d-iso-zdown-lg.png", "image/png"},
}};

// Drawings made by one particular method: "<kind>.<method>" selects
// "<MPN>-<kind>.<method>.svg".
constexpr std::array<std::string_view, 2> k_method_kinds{"symbol", "footprint"};

// The text after `prefix` in the routing path.
std::string_view remainder(const Request& request, std::string_view prefix) {
    std::string_view path = request.path;
    return path.substr(std::min(prefix.size(), path.size()));
}

// Splits "<MPN>/<name>"; nothing unless there are exactly two parts and no "..".
std::optional<std::pair<std::string, std::string>> two_parts(std::string_view rest) {
    if (rest.find("..") != std::string_view::npos) {
        return std::nullopt;
    }
    std::vector<std::string> parts = util::split(rest, '/');
    if (parts.size() != 2) {
        return std::nullopt;
    }
    return std::make_pair(parts[0], parts[1]);
}

// A file of the chip's own folder as a reply; not found when it is outside the
// folder, not a regular file or unreadable.
Reply chip_file_reply(const std::string& mpn, const std::string& name, std::string_view content_type) {
    std::optional<fs::path> file = resolve_chip_file(cli::library_root(), mpn, name);
    if (!file) {
        return not_found();
    }
    util::Result<std::string> bytes = util::read_text(*file);
    if (!bytes) {
        return not_found();
    }
    return Reply{200, std::string(content_type), std::move(bytes).value(), {}};
}

}  // namespace

std::string_view asset_content_type(std::string_view file_name) {
    size_t dot = file_name.rfind('.');
    if (dot != std::string_view::npos) {
        std::string extension = util::to_lower(file_name.substr(dot + 1));
        for (const ExtensionType& row : k_asset_types) {
            if (row.extension == extension) {
                return row.content_type;
            }
        }
    }
    return "application/octet-stream";
}

ThumbFile thumb_file(std::string_view mpn, std::string_view kind) {
    for (const ThumbKind& row : k_thumb_kinds) {
        if (row.kind == kind) {
            return ThumbFile{std::string(mpn) + std::string(row.suffix), row.content_type};
        }
    }
    for (std::string_view base : k_method_kinds) {
        if (kind.size() > base.size() && util::starts_with(kind, base) && kind[base.size()] == '.') {
            std::string_view method = kind.substr(base.size() + 1);
            if (method.find('/') != std::string_view::npos || method.find("..") != std::string_view::npos) {
                return {};
            }
            return ThumbFile{std::string(mpn) + "-" + std::string(kind) + ".svg", "image/svg+xml"};
        }
    }
    return {};
}

Reply get_page(const Request& /*request*/) {
    std::optional<std::string_view> page = util::find_asset("dashboard/index.html");
    if (!page) {
        return not_found();
    }
    return Reply{200, "text/html; charset=utf-8", std::string(*page), {}};
}

Reply get_library(const Request& /*request*/) {
    util::Result<inventory::LibrarySummary> summary = inventory::scan_library();
    if (!summary) {
        return json_reply({{"error", summary.error().one_line()}}, 500);
    }
    return Reply{200, "application/json", library_json(*summary), {}};
}

Reply get_chip(const Request& request) {
    std::string_view mpn = remainder(request, "/api/chip/");
    util::Result<inventory::LibrarySummary> summary = inventory::scan_library();
    if (!summary) {
        return not_found();
    }
    for (const inventory::ChipRow& row : summary->chips) {
        if (row.mpn == mpn) {
            std::string body;
            append_row_json(body, row);
            return Reply{200, "application/json", std::move(body), {}};
        }
    }
    return not_found();
}

Reply get_projects(const Request& /*request*/) {
    return ordered_json_reply(store::to_json(store::load()));
}

Reply get_asset(const Request& request) {
    std::optional<std::pair<std::string, std::string>> parts = two_parts(remainder(request, "/asset/"));
    if (!parts) {
        return not_found();
    }
    return chip_file_reply(parts->first, parts->second, asset_content_type(parts->second));
}

Reply get_thumb(const Request& request) {
    std::optional<std::pair<std::string, std::string>> parts = two_parts(remainder(request, "/thumb/"));
    if (!parts) {
        return not_found();
    }
    ThumbFile file = thumb_file(parts->first, parts->second);
    if (file.name.empty()) {
        return not_found();
    }
    Reply reply = chip_file_reply(parts->first, file.name, file.content_type);
    if (reply.status == 200) {
        reply.headers.emplace_back("Cache-Control", "public, max-age=60");
    }
    return reply;
}

Reply get_svg(const Request& request) {
    std::string mpn(remainder(request, "/svg/"));
    if (mpn.find('/') != std::string::npos || mpn.find("..") != std::string::npos) {
        return not_found();
    }
    return chip_file_reply(mpn, mpn + "-footprint.authoritative.svg", "image/svg+xml");
}

}  // namespace kestrel::serve
