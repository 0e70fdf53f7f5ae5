#pragma once
// Files from assets/ compiled into the executable.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::util {

struct Asset {
    std::string_view path;  // relative to assets/, e.g. "skill/SKILL.md"
    std::string_view data;
};

// Every embedded asset, sorted by path.
const std::vector<Asset>& assets();

// The bytes of one asset, or nothing when no asset has that path.
std::optional<std::string_view> find_asset(std::string_view path);

}  // namespace kestrel::util
