#include "cli/paths.hpp"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

#include "util/text.hpp"

namespace kestrel::cli {

fs::path library_root() {
    if (const char* env = std::getenv("KESTREL_LIB")) {
        return fs::path(env);
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(k_dev_library, ec))) {
        return fs::path(k_dev_library);
    }
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) {
        fs::path exe(std::string(buf, static_cast<size_t>(n)));
        if (exe.has_parent_path() && exe.parent_path() != exe) {
            return exe.parent_path() / "library";
        }
    }
    return fs::path(".") / "library";
}

std::optional<fs::path> home_dir() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || !util::valid_utf8(home)) {
        return std::nullopt;
    }
    return fs::path(home);
}

std::optional<fs::path> config_dir() {
    std::optional<fs::path> home = home_dir();
    if (!home) {
        return std::nullopt;
    }
    return *home / ".config" / "kestrel";
}

fs::path temp_dir() {
    if (const char* env = std::getenv("TMPDIR")) {
        return fs::path(env);
    }
    return fs::path("/tmp");
}

fs::path incoming_dir() {
    fs::path root = library_root();
    fs::path parent = root.parent_path();
    if (parent.empty()) {
        return fs::path("/tmp");
    }
    return parent / "incoming";
}

}  // namespace kestrel::cli
