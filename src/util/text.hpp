#pragma once
// Small text helpers shared by every subsystem.

#include <string>
#include <string_view>
#include <vector>

namespace kestrel::util {

// ASCII-only case folding; other bytes pass unchanged.
std::string to_lower(std::string_view s);
std::string to_upper(std::string_view s);

bool starts_with(std::string_view s, std::string_view prefix);
bool ends_with(std::string_view s, std::string_view suffix);

// Strips ASCII white space at both ends.
std::string trim(std::string_view s);

std::vector<std::string> split(std::string_view s, char sep);
std::string join(const std::vector<std::string>& parts, std::string_view sep);

// True when `s` is well-formed UTF-8.
bool valid_utf8(std::string_view s);

// The longest prefix of `s` of at most `max_bytes` bytes that does not split a
// UTF-8 character.
std::string utf8_prefix(std::string_view s, size_t max_bytes);

// Number of characters (code points) in UTF-8 text; stray bytes count as one each.
size_t utf8_length(std::string_view s);

// `s` padded with spaces to `width` characters (code points); longer text is kept whole.
std::string pad_right(std::string_view s, size_t width);

// `s` with every occurrence of `from` (not empty) replaced by `to`, left to right.
std::string replace_all(std::string s, std::string_view from, std::string_view to);

// Percent-encodes every byte outside the unreserved set A-Z a-z 0-9 - . _ ~.
std::string percent_encode(std::string_view s);

// Decodes %XX sequences; a malformed escape is kept as it stands.
std::string percent_decode(std::string_view s);

// A JSON string literal for `s` (with quotes), safe to paste into JavaScript.
std::string js_string(std::string_view s);

}  // namespace kestrel::util
