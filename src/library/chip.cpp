#include "library/chip.hpp"

#include <system_error>

#include "cli/paths.hpp"

namespace kestrel::library {

std::optional<std::string> mpn_problem(std::string_view mpn) {
    if (mpn.empty()) {
        return "it is empty";
    }
    if (mpn == "." || mpn == "..") {
        return "'.' and '..' do not name a folder of their own";
    }
    if (mpn.find('/') != std::string_view::npos) {
        return "it contains '/', which would nest folders";
    }
    if (mpn.find('\0') != std::string_view::npos) {
        return "it contains a NUL byte";
    }
    return std::nullopt;
}

util::Status check_mpn(std::string_view mpn) {
    if (std::optional<std::string> problem = mpn_problem(mpn)) {
        return util::Error("invalid MPN '" + std::string(mpn) + "': " + *problem);
    }
    return {};
}

fs::path chip_dir(const std::string& mpn) { return cli::library_root() / mpn; }

util::Result<fs::path> ensure_chip_dir(const std::string& mpn) {
    if (util::Status st = check_mpn(mpn); !st) {
        return std::move(st).error();
    }
    fs::path dir = chip_dir(mpn);
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        return util::Error("creating " + dir.string(), {ec.message()});
    }
    return dir;
}

fs::path info_path(const std::string& mpn) { return chip_dir(mpn) / "info.json"; }

fs::path chip_file(const std::string& mpn, std::string_view suffix) {
    return chip_dir(mpn) / (mpn + std::string(suffix));
}

bool chip_exists(const std::string& mpn) {
    if (!is_safe_mpn(mpn)) {
        return false;
    }
    std::error_code ec;
    return fs::is_directory(chip_dir(mpn), ec);
}

std::optional<std::string> string_field(const util::json& record, const std::string& key) {
    if (!record.is_object()) {
        return std::nullopt;
    }
    auto it = record.find(key);
    if (it == record.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

}  // namespace kestrel::library
