#include "util/assets.hpp"

namespace kestrel::util {

std::optional<std::string_view> find_asset(std::string_view path) {
    for (const Asset& asset : assets()) {
        if (asset.path == path) {
            return asset.data;
        }
    }
    return std::nullopt;
}

}  // namespace kestrel::util
