#include "library/ledger.hpp"

#include <climits>

#include "library/chip.hpp"
#include "util/text.hpp"

namespace kestrel::library {

using util::json;

std::vector<ChainEntry> parse_chain(const json& chain) {
    std::vector<ChainEntry> entries;
    if (!chain.is_array()) {
        return entries;
    }
    for (const json& el : chain) {
        if (el.is_object()) {
            auto src = el.find("source");
            auto out = el.find("outcome");
            auto at = el.find("at");
            if (src == el.end() || !src->is_string() || out == el.end() || !out->is_string() || at == el.end() ||
                !at->is_number_integer()) {
                continue;
            }
            // A time past the range of a signed 64-bit integer is not a usable time.
            if (at->is_number_unsigned() && at->get<unsigned long long>() > static_cast<unsigned long long>(LLONG_MAX)) {
                continue;
            }
            ChainEntry e;
            e.source = src->get<std::string>();
            e.outcome = out->get<std::string>();
            e.at = at->get<long long>();
            auto note = el.find("note");
            if (note != el.end()) {
                if (note->is_string()) {
                    e.note = note->get<std::string>();
                } else if (!note->is_null()) {
                    continue;  // a note of the wrong type makes the whole element unusable
                }
            }
            entries.push_back(std::move(e));
        } else if (el.is_string()) {
            std::vector<std::string> pieces = util::split(el.get<std::string>(), ':');
            ChainEntry e;
            e.source = pieces[0];
            if (pieces.size() >= 2) {
                e.note = pieces[1];
            }
            e.outcome = pieces.size() >= 3 ? pieces[2] : "?";
            entries.push_back(std::move(e));
        }
    }
    return entries;
}

util::Result<std::vector<ChainEntry>> read_chain(const std::string& mpn) {
    if (!is_safe_mpn(mpn)) {
        return std::vector<ChainEntry>{};
    }
    util::JsonRead doc = util::read_json(info_path(mpn));
    switch (doc.state) {
        case util::ReadState::Missing:
        case util::ReadState::Unparseable:
            return std::vector<ChainEntry>{};
        case util::ReadState::Unreadable:
            return util::Error("reading " + info_path(mpn).string(), {doc.error});
        case util::ReadState::Ok:
            break;
    }
    if (!doc.value.is_object() || !doc.value.contains("fetched_via_chain")) {
        return std::vector<ChainEntry>{};
    }
    return parse_chain(doc.value["fetched_via_chain"]);
}

json chain_entry_json(const ChainEntry& entry) {
    json out = json::object();
    out["at"] = entry.at;
    out["note"] = entry.note ? json(*entry.note) : json(nullptr);
    out["outcome"] = entry.outcome;
    out["source"] = entry.source;
    return out;
}

util::Result<bool> append_chain_entry(const std::string& mpn, size_t ladder_index, const std::string& outcome,
                                      const std::optional<std::string>& note) {
    if (ladder_index >= k_ladder_size) {
        return util::Error("ladder index " + std::to_string(ladder_index) + " is out of range");
    }
    util::Result<fs::path> dir = ensure_chip_dir(mpn);
    if (!dir) {
        return std::move(dir).error();
    }
    const std::string slug = k_ladder_slugs[ladder_index];
    bool appended = false;
    util::Status st = util::update_json(
        info_path(mpn), [&](const util::JsonRead& cur) -> util::Result<std::optional<json>> {
            if (cur.state == util::ReadState::Unreadable) {
                return util::Error("reading " + info_path(mpn).string(), {cur.error});
            }
            json doc = cur.is_object() ? cur.value : json::object({{"mpn", mpn}});
            std::vector<ChainEntry> entries;
            if (doc.contains("fetched_via_chain")) {
                entries = parse_chain(doc["fetched_via_chain"]);
            }
            for (const ChainEntry& e : entries) {
                if (e.source == slug && e.outcome == outcome) {
                    return std::optional<json>();  // already recorded: write nothing
                }
            }
            json entry = chain_entry_json(ChainEntry{slug, outcome, note, util::unix_now()});
            json& chain = doc["fetched_via_chain"];
            if (chain.is_array()) {
                chain.push_back(std::move(entry));
            } else {
                chain = json::array({std::move(entry)});
            }
            appended = true;
            return std::optional<json>(std::move(doc));
        });
    if (!st) {
        return std::move(st).error();
    }
    return appended;
}

std::optional<std::string> last_chain_source(const std::string& mpn) {
    util::Result<std::vector<ChainEntry>> chain = read_chain(mpn);
    if (!chain || chain->empty()) {
        return std::nullopt;
    }
    return chain->back().source;
}

}  // namespace kestrel::library
