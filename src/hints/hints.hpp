#pragma once
// The two follow-up HINT lines printed after a command's work.

#include <optional>
#include <string>

namespace kestrel::hints {

// Prints the two HINT lines of `event` (exact, case-sensitive match), with the
// MPN filled in. Unknown events, and events that need an MPN when none is
// given, print nothing. Never fails.
void print_next_hints(const std::string& event, const std::optional<std::string>& mpn);

}  // namespace kestrel::hints
