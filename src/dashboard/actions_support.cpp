#include "dashboard/actions_support.hpp"

#include <array>

#include "library/chip.hpp"
#include "util/text.hpp"

namespace kestrel::dashboard {

namespace {

// The up axes a user may choose for a 3D model. The short and the "up"/"down"
// spellings are both in use by the page and by older records.
constexpr std::array<std::string_view, 12> k_up_axes = {
    "x", "y", "z", "-x", "-y", "-z", "xup", "yup", "zup", "xdown", "ydown", "zdown",
};

}  // namespace

util::Result<Body> Body::parse(const std::string& text) {
    Body body;
    try {
        body.m_value = util::json::parse(text);
    } catch (const util::json::exception& e) {
        return util::Error(std::string("invalid json: ") + e.what());
    }
    return body;
}

std::optional<std::string> Body::field(const char* key) const {
    if (!m_value.is_object()) {
        return std::nullopt;
    }
    auto it = m_value.find(key);
    if (it == m_value.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

bool valid_body_mpn(std::string_view mpn) {
    return !mpn.empty() && mpn != "." && mpn.find('/') == std::string_view::npos &&
           mpn.find("..") == std::string_view::npos && mpn.find('\0') == std::string_view::npos;
}

bool accepted_axis(std::string_view axis) {
    for (std::string_view known : k_up_axes) {
        if (axis == known) {
            return true;
        }
    }
    return false;
}

RefetchQuery parse_refetch_query(std::string_view query) {
    RefetchQuery out;
    std::string_view relevant = query.substr(0, query.find('?'));
    for (const std::string& piece : util::split(relevant, '&')) {
        if (util::starts_with(piece, "format=")) {
            out.format = piece.substr(7);
        } else if (util::starts_with(piece, "source=")) {
            out.source = piece.substr(7);
        }
    }
    return out;
}

std::string decode_credential_host(std::string_view raw) {
    // '+' turns into a blank before the escapes are decoded, so an encoded
    // "%2B" still yields a literal '+'.
    std::string spaced(raw);
    for (char& c : spaced) {
        if (c == '+') {
            c = ' ';
        }
    }
    return util::percent_decode(spaced);
}

serve::Reply ordered_reply(const util::ordered_json& value, int status) {
    return serve::Reply{status, "application/json", util::dump_json(value, -1), {}};
}

serve::Reply error_reply(int status, const std::string& text) {
    util::ordered_json body;
    body["error"] = text;
    return ordered_reply(body, status);
}

ChipRequest read_chip_request(const serve::Request& request) {
    ChipRequest chip;
    util::Result<Body> body = Body::parse(request.body);
    if (!body) {
        chip.refusal = error_reply(400, body.error().message);
        return chip;
    }
    chip.body = std::move(*body);
    chip.mpn = chip.body->text("mpn");
    if (!valid_body_mpn(chip.mpn)) {
        chip.refusal = error_reply(400, "invalid mpn");
        return chip;
    }
    chip.dir = library::chip_dir(chip.mpn);
    std::error_code ec;
    if (!std::filesystem::is_directory(chip.dir, ec)) {
        chip.refusal = error_reply(404, "no library/" + chip.mpn + "/");
    }
    return chip;
}

}  // namespace kestrel::dashboard
