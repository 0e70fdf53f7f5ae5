#pragma once
// The final error report of a failed command.

#include <string>

#include "util/error.hpp"

namespace kestrel::cli {

// "Error: {message}", then (when there are causes) an empty line, "Caused by:"
// and the causes: one cause indented four spaces; two or more numbered from 0
// in a right-aligned field of five characters followed by ": ". Lines of a
// multi-line cause continue at the same column. Ends with a newline.
std::string format_error_report(const util::Error& error);

}  // namespace kestrel::cli
