#pragma once
// The tagged lines every command prints. Each line is flushed as it is written,
// so an agent reading a pipe (or the dashboard's log) sees it at once.

#include <string_view>

namespace kestrel::cli {

void line(std::string_view text);           // a plain line on standard output
void ok(std::string_view text);             // "OK: {text}"
void warn(std::string_view text);           // "WARN: {text}"
void error_line(std::string_view text);     // "ERROR: {text}"
void hint(std::string_view text);           // "HINT: {text}"
void tagged(std::string_view tag, std::string_view text);  // "{tag}: {text}", e.g. NEXT, GATE, URL
void err_line(std::string_view text);       // a plain line on standard error

}  // namespace kestrel::cli
