#pragma once
// The manufacturer table: which maker an MPN belongs to, judged by its prefix,
// and the page on the maker's own site where the part can be looked up.

#include <optional>
#include <string>
#include <string_view>

namespace kestrel::sources {

// One row of the table: MPN prefix, manufacturer, site host and page pattern.
// `%MPN%` in the pattern marks where the percent-encoded MPN goes.
struct ManufacturerRow {
    std::string_view prefix;
    std::string_view name;
    std::string_view host;     // e.g. "https://www.st.com"
    std::string_view pattern;  // path, query and fragment on that host
};

// What detect_manufacturer found: the page to open and the maker's name.
struct ManufacturerMatch {
    std::string url;
    std::string name;
};

// The MPN's manufacturer by the first table prefix the MPN (ASCII upper-cased)
// starts with, with the page URL filled with the MPN as typed, percent-encoded.
// Nothing when no prefix matches.
std::optional<ManufacturerMatch> detect_manufacturer(std::string_view mpn);

}  // namespace kestrel::sources
