#include "store/credentials.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <set>
#include <system_error>

#include "cli/paths.hpp"
#include "util/json_file.hpp"

namespace kestrel::store {

namespace {

using util::json;
using util::ordered_json;

constexpr std::array<const char*, 3> k_members = {"host", "username", "password"};

// Parses the file's text as a credential array. Nothing when it is not JSON,
// not an array of objects, or an entry lacks a member, gives one twice, or
// gives one that is not text.
std::optional<std::vector<Credential>> parse_credentials(const std::string& text) {
    // The parser keeps only the last of two equal keys, so duplicates of the
    // three members are caught while parsing. Only the entries' own members
    // count: a stack of key sets, one per open object.
    std::vector<std::set<std::string>> open_objects;
    bool duplicate = false;
    json::parser_callback_t watch = [&](int /*depth*/, json::parse_event_t event, json& parsed) {
        if (event == json::parse_event_t::object_start) {
            open_objects.emplace_back();
        } else if (event == json::parse_event_t::object_end && !open_objects.empty()) {
            open_objects.pop_back();
        } else if (event == json::parse_event_t::key && open_objects.size() == 1) {
            std::string key = parsed.get<std::string>();
            bool known = std::find(k_members.begin(), k_members.end(), key) != k_members.end();
            if (known && !open_objects.back().insert(key).second) {
                duplicate = true;
            }
        }
        return true;
    };
    json doc = json::parse(text, watch, false);
    if (doc.is_discarded() || duplicate || !doc.is_array()) {
        return std::nullopt;
    }
    std::vector<Credential> list;
    for (const json& entry : doc) {
        if (!entry.is_object()) {
            return std::nullopt;
        }
        std::array<std::string, 3> fields;
        for (size_t i = 0; i < k_members.size(); ++i) {
            auto it = entry.find(k_members[i]);
            if (it == entry.end() || !it->is_string()) {
                return std::nullopt;
            }
            fields[i] = it->get<std::string>();
        }
        list.push_back(Credential{std::move(fields[0]), std::move(fields[1]), std::move(fields[2])});
    }
    return list;
}

// Reads the store at `path` (see load_credentials).
Result<std::vector<Credential>> read_store(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        return std::vector<Credential>{};
    }
    Result<std::string> text = util::read_text(path);
    if (!text) {
        return std::move(text).error();
    }
    return parse_credentials(*text).value_or(std::vector<Credential>{});
}

Status write_store(const fs::path& path, const std::vector<Credential>& list) {
    ordered_json doc = ordered_json::array();
    for (const Credential& entry : list) {
        ordered_json object = ordered_json::object();
        object["host"] = entry.host;
        object["username"] = entry.username;
        object["password"] = entry.password;
        doc.push_back(std::move(object));
    }
    // The temporary file is created with mode 600 and renamed over the old
    // store, so the passwords are never readable by others, whatever mode the
    // old file had.
    return util::write_json(path, doc, util::WriteOptions{.secret = true})
        .context("saving " + path.string());
}

// One locked read-modify-write. `change` returns false when the store is to be
// left untouched.
Status update_store(const std::function<bool(std::vector<Credential>&)>& change) {
    Result<fs::path> path = credentials_path();
    if (!path) {
        return std::move(path).error();
    }
    Result<util::DirLock> lock = util::DirLock::acquire(path->parent_path());
    if (!lock) {
        return std::move(lock).error();
    }
    Result<std::vector<Credential>> list = read_store(*path);
    if (!list) {
        return std::move(list).error();
    }
    if (!change(*list)) {
        return {};
    }
    return write_store(*path, *list);
}

// Byte length of the UTF-8 character starting with `lead`; 1 for a stray byte.
size_t sequence_length(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}

bool is_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::string_view first_character(std::string_view s) {
    size_t n = sequence_length(static_cast<unsigned char>(s[0]));
    if (n > s.size()) {
        return s.substr(0, 1);
    }
    for (size_t i = 1; i < n; ++i) {
        if (!is_continuation(static_cast<unsigned char>(s[i]))) {
            return s.substr(0, 1);
        }
    }
    return s.substr(0, n);
}

std::string_view last_character(std::string_view s) {
    // Walk back over at most three continuation bytes to the lead byte, and
    // accept it only when its length reaches exactly to the end.
    size_t start = s.size() - 1;
    while (start > 0 && s.size() - start < 4 && is_continuation(static_cast<unsigned char>(s[start]))) {
        --start;
    }
    if (sequence_length(static_cast<unsigned char>(s[start])) == s.size() - start) {
        return s.substr(start);
    }
    return s.substr(s.size() - 1);
}

}  // namespace

Result<fs::path> credentials_path() {
    std::optional<fs::path> folder = cli::config_dir();
    if (!folder) {
        return util::Error("HOME not set");
    }
    std::error_code ec;
    fs::create_directories(*folder, ec);
    if (ec) {
        return util::Error(util::errno_message("creating " + folder->string(), ec.value()));
    }
    return *folder / "credentials.json";
}

Result<std::vector<Credential>> load_credentials() {
    Result<fs::path> path = credentials_path();
    if (!path) {
        return std::move(path).error();
    }
    return read_store(*path);
}

Status save_credentials(const std::vector<Credential>& list) {
    Result<fs::path> path = credentials_path();
    if (!path) {
        return std::move(path).error();
    }
    return write_store(*path, list);
}

Status upsert_credential(const std::string& host, const std::string& username, const std::string& password) {
    return update_store([&](std::vector<Credential>& list) {
        std::erase_if(list, [&](const Credential& c) { return c.host == host; });
        list.push_back(Credential{host, username, password});
        return true;
    });
}

Result<bool> delete_credential(const std::string& host) {
    bool removed = false;
    Status st = update_store([&](std::vector<Credential>& list) {
        removed = std::erase_if(list, [&](const Credential& c) { return c.host == host; }) > 0;
        return removed;
    });
    if (!st) {
        return std::move(st).error();
    }
    return removed;
}

std::string mask_password(std::string_view password) {
    if (password.size() < 3) {
        return "***";
    }
    return std::string(first_character(password)) + "\u2026" + std::string(last_character(password));
}

}  // namespace kestrel::store
