#include "bridge/scrape.hpp"

#include "util/json_file.hpp"
#include "util/text.hpp"

namespace kestrel::bridge {

// Every cut backs off to a character boundary, so a stage label is always
// valid UTF-8 however the URL or expression was written.

std::string open_stage(std::string_view url) { return "scrape: opening " + util::utf8_prefix(url, 60); }

std::string navigate_stage(std::string_view url, const std::optional<std::string>& stage) {
    if (stage) {
        return *stage;
    }
    return "navigating " + util::utf8_prefix(url, 50);
}

std::string eval_stage(std::string_view expr) {
    constexpr size_t k_limit = 40;
    if (expr.size() <= k_limit) {
        return "scrape eval: " + std::string(expr);
    }
    return "scrape eval: " + util::utf8_prefix(expr, k_limit) + "…";
}

std::string screenshot_stage() { return "scrape: taking screenshot"; }

std::string eval_display(std::string_view bridge_stdout) {
    util::json shown = nullptr;
    util::json reply = util::json::parse(bridge_stdout, nullptr, false);
    if (!reply.is_discarded() && reply.is_object()) {
        auto it = reply.find("result");
        if (it != reply.end()) {
            shown = *it;
        }
    }
    return util::dump_json(shown, 2);
}

}  // namespace kestrel::bridge
