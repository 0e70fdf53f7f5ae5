#pragma once
// Where the library, the configuration and the scratch files live.

#include <filesystem>
#include <optional>

namespace kestrel::cli {

namespace fs = std::filesystem;

// The folder developers keep their working library in; used when it exists.
inline constexpr const char* k_dev_library = "/home/velm/project/kestrel/library";

// The library root: $KESTREL_LIB verbatim when set (even empty), else the
// development folder when it exists, else `library` beside the executable.
// Computed afresh on every call; never created, never fails.
fs::path library_root();

// $HOME/.config/kestrel, or nothing when HOME is unset or not valid UTF-8.
std::optional<fs::path> config_dir();

// $HOME, or nothing when it is unset or not valid UTF-8.
std::optional<fs::path> home_dir();

// $TMPDIR when set, else /tmp.
fs::path temp_dir();

// The folder files pulled from the desktop land in: `incoming` beside the
// library root, or /tmp when the root has no parent.
fs::path incoming_dir();

}  // namespace kestrel::cli
