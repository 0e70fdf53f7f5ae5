#pragma once
// In-browser PDF fetch: some vendors hand a datasheet only to a real browser
// holding their cookies. The page's own fetch() downloads it and the bytes come
// back as Base64 text through a page evaluation.

#include <string>
#include <string_view>

#include "util/error.hpp"

namespace kestrel::bridge {

// JavaScript that evaluates to the href of the page's PDF link: among anchors
// whose href holds ".pdf" or whose link text matches the datasheet pattern, the
// first whose href+text contains `term` (case-insensitive), else the first
// such anchor; "" when there is none. `term` is inserted as a string literal.
std::string anchor_finder_expr(std::string_view term);

// Async JavaScript that fetches `url` with the page's credentials and
// evaluates to "http {status}" on a failed response, else the Base64 text of
// the whole body. `url` is inserted as a string literal.
std::string fetcher_expr(std::string_view url);

// Standard-alphabet Base64 decoding that ignores white space and '=' anywhere.
// A trailing group of two or three characters gives one or two bytes; a single
// leftover character is dropped. Fails with "invalid char at byte {n}", n being
// where that character's group of four starts in the filtered text.
util::Result<std::string> base64_decode(std::string_view text);

}  // namespace kestrel::bridge
