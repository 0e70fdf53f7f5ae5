#pragma once
// Heartbeats: the one-line progress reports ("working on MPN, at stage S") that
// the agent and several commands send. One report is recorded under /tmp,
// posted to the dashboard server, shown on the dashboard window, and may add a
// ledger entry or warn about skipped phases.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "util/error.hpp"

namespace kestrel::heartbeat {

// The port every client-side caller talks to the dashboard on.
inline constexpr std::uint16_t k_dashboard_port = 8786;

// Where the last heartbeat is recorded (fixed, not under TMPDIR).
inline constexpr const char* k_last_heartbeat_path = "/tmp/kestrel-last-heartbeat.json";

// One progress report: the same three fields in the file and in the POST body.
struct Heartbeat {
    std::string mpn;    // verbatim
    std::string stage;  // verbatim, free text
    long long ts = 0;   // send time in whole Unix seconds
};

// The record as compact JSON with the keys mpn, stage, ts in that order.
// Fails only when the record cannot be serialised.
util::Result<std::string> heartbeat_json(const Heartbeat& hb);

// Sends one heartbeat: records it under /tmp, creates a stub info.json for a new
// chip, posts it to the dashboard, scrolls the chip's card into view, reminds of
// incomplete cards, records a ledger entry and warns about skipped phases,
// printing the lines of each step. Fails only when the record cannot be
// serialised; every other problem is a printed warning or silence.
util::Status post_heartbeat(const std::string& mpn, const std::string& stage);

// The last recorded heartbeat; nothing when the file is missing, unreadable or
// not a valid record.
std::optional<Heartbeat> read_last_heartbeat();

// Seconds since the record's ts; 0 when the clock fails or ts lies in the future.
long long heartbeat_age(const Heartbeat& hb);
long long heartbeat_age(const Heartbeat& hb, long long now);

// The workflow phase (0 queued .. 6 imported) a stage label names, by the first
// matching keyword row; nothing when no keyword matches.
std::optional<int> stage_phase(std::string_view stage);

// The name of a phase number ("queued" .. "imported"; "?" beyond the table).
std::string_view phase_name(std::uint64_t phase);

// The ledger entry a stage label describes: (source slug, outcome); nothing when
// it names no source or describes an attempt still under way.
std::optional<std::pair<std::string, std::string>> stage_chain_entry(std::string_view stage);

// `/tmp/kestrel-stage-<mpn>.json`, or nothing when the MPN holds a '/' or a
// NUL byte and so cannot name a file there.
std::optional<std::string> stage_file_path(const std::string& mpn);

// Reads a heartbeat record file; nothing when it is missing, unreadable or not
// a valid record (an object with string mpn and stage and a non-negative
// integer ts).
std::optional<Heartbeat> read_heartbeat_file(const std::string& path);

}  // namespace kestrel::heartbeat
