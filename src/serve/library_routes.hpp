#pragma once
// The dashboard's read-only routes: the page, the library listing, one chip,
// the projects, and a chip's files, thumbnails and footprint drawing. Each one
// reads the disk afresh; nothing is cached between requests.

#include <filesystem>
#include <string_view>

#include "serve/http.hpp"

namespace kestrel::serve {

// GET / and /index.html: the dashboard page carried inside the program.
Reply get_page(const Request& request);

// GET /api/library: the inventory scan as {"chips","total_size","fully_count",
// "stub_count"}; 500 {"error":...} when the scan fails.
Reply get_library(const Request& request);

// GET /api/chip/<MPN>: the row whose MPN equals the segment byte for byte; not
// found when there is none or the scan fails.
Reply get_chip(const Request& request);

// GET /api/projects: the project store (an unreadable one reads as empty).
Reply get_projects(const Request& request);

// GET /asset/<MPN>/<file>: any file of a chip, typed by its extension.
Reply get_asset(const Request& request);

// GET /thumb/<MPN>/<kind>: a preview image, cacheable for a minute.
Reply get_thumb(const Request& request);

// GET /svg/<MPN>: the chip's authoritative footprint drawing.
Reply get_svg(const Request& request);

// The Content-Type of an asset file, from the text after its last '.'.
std::string_view asset_content_type(std::string_view file_name);

// The file name a thumbnail kind selects for `mpn` and its Content-Type; an
// empty name for an unknown kind.
struct ThumbFile {
    std::string name;
    std::string_view content_type;
};
ThumbFile thumb_file(std::string_view mpn, std::string_view kind);

}  // namespace kestrel::serve
