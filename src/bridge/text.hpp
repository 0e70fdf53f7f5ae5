#pragma once
// Text shaping for what the bridge layer prints and parses.

#include <string>
#include <string_view>

namespace kestrel::bridge {

// `s` with every invalid UTF-8 sequence replaced by U+FFFD.
std::string lossy_utf8(std::string_view s);

// `s` in double quotes with backslash escapes: `\"`, `\\`, `\n`, `\r`, `\t`,
// other control characters as `\u{hex}`; invalid UTF-8 replaced.
std::string quoted(std::string_view s);

// `s` without its trailing newline and carriage-return characters.
std::string trim_line_end(std::string_view s);

}  // namespace kestrel::bridge
