#pragma once
// Vendor logins the user gave once, kept so later browser sessions can sign in
// without asking again.
//
// The store is a JSON array in the configuration folder, readable by its owner
// only (mode 600 from the file's first byte). Order matters: it is the listing
// order and the tie-break when two entries match a URL equally well; an entry
// saved again moves to the end. Changes are locked read-modify-writes with an
// atomic replace, so a failed write never leaves a half-written store.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "util/error.hpp"

namespace kestrel::store {

namespace fs = std::filesystem;
using util::Result;
using util::Status;

// One stored login. `host` is the key: a vendor slug (`ti`, `snapeda`) or a host
// pattern (`example.com`, `*.example.com`), compared byte for byte here.
struct Credential {
    std::string host;
    std::string username;
    std::string password;
};

// $HOME/.config/kestrel/credentials.json, creating the folder first. Fails with
// "HOME not set" when HOME is unset or not UTF-8, or with the folder-creation error.
Result<fs::path> credentials_path();

// The stored entries in file order. A missing file, or one that is not a valid
// credential array (an entry missing a member or giving one twice), gives the
// empty list; an existing file that cannot be read is an error.
Result<std::vector<Credential>> load_credentials();

// Replaces the whole store with `list` (mode 600, atomically). Returns the path
// or write error.
Status save_credentials(const std::vector<Credential>& list);

// Removes every entry with exactly this host and appends the new one at the end,
// in one locked read-modify-write. Returns the load, path or write error.
Status upsert_credential(const std::string& host, const std::string& username, const std::string& password);

// Removes every entry with exactly this host. Reports whether one was removed;
// when none was, the file is not rewritten.
Result<bool> delete_credential(const std::string& host);

// The password as `creds list` shows it: "***" under 3 bytes, else its first
// character, "…" and its last character (whole UTF-8 characters).
std::string mask_password(std::string_view password);

}  // namespace kestrel::store
