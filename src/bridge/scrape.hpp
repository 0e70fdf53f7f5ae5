#pragma once
// The scrape window: the one browser session (`kestrel-scrape`, profile
// `kestrel`) the agent steers during a fetch. Each scrape command first sends
// a heartbeat whose stage says what the agent is doing.

#include <optional>
#include <string>
#include <string_view>

namespace kestrel::bridge {

// "scrape: opening {url}", the URL cut to at most 60 bytes.
std::string open_stage(std::string_view url);

// The given stage verbatim, else "navigating {url}" with the URL cut to at
// most 50 bytes.
std::string navigate_stage(std::string_view url, const std::optional<std::string>& stage);

// "scrape eval: {expr}", an expression over 40 bytes cut to 40 and followed by "…".
std::string eval_stage(std::string_view expr);

// "scrape: taking screenshot".
std::string screenshot_stage();

// The value `scrape eval` shows for the bridge's standard output: the reply's
// `result` member when the output is a JSON object holding one, else null.
std::string eval_display(std::string_view bridge_stdout);

}  // namespace kestrel::bridge
