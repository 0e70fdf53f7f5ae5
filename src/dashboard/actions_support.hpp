#pragma once
// The request-reading rules the action routes share: body fields, the MPN
// test, the accepted up axes, the re-fetch query and the credential host of a
// DELETE path. Pure functions, kept apart from the handlers so they can be
// tested without a server or a library.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "serve/http.hpp"
#include "util/error.hpp"
#include "util/json_file.hpp"

namespace kestrel::dashboard {

// A parsed request body. Fields are read as strings: a member that is missing
// or not a string is absent. A body that is valid JSON but not an object has
// no fields at all.
class Body {
public:
    // Parses `text`; fails with "invalid json: {the parser's message}".
    static util::Result<Body> parse(const std::string& text);

    // The member as a string, or nothing when it is missing or not a string.
    std::optional<std::string> field(const char* key) const;

    // The member as a string, or "" when absent.
    std::string text(const char* key) const { return field(key).value_or(std::string()); }

private:
    util::json m_value;
};

// True when a body's MPN may name a chip: non-empty, without '/', without
// "..", and (so that it names a folder of its own) neither "." nor holding NUL.
bool valid_body_mpn(std::string_view mpn);

// True for the twelve accepted up-axis texts (x, -x, xup, xdown and the same
// for y and z).
bool accepted_axis(std::string_view axis);

struct RefetchQuery {
    std::string format;
    std::string source;
};

// Reads format= and source= from a raw query (the text after the first '?'):
// only the part before any further '?' counts, pieces split at '&', the last
// piece of each name wins, values verbatim.
RefetchQuery parse_refetch_query(std::string_view query);

// The host named by the raw rest of a DELETE path: %XX becomes that byte, '+'
// a blank, and anything else (a malformed '%' included) stays as it is.
std::string decode_credential_host(std::string_view raw);

// A JSON reply whose keys keep the order they were inserted in.
serve::Reply ordered_reply(const util::ordered_json& value, int status = 200);

// {"error": text} with `status`.
serve::Reply error_reply(int status, const std::string& text);

// The body of a request that names an existing chip. `refusal` is set (and the
// rest may be empty) when the body is not JSON (400, the parser's message), the
// MPN is unusable (400 "invalid mpn") or the chip has no folder (404
// "no library/{mpn}/").
struct ChipRequest {
    std::optional<Body> body;
    std::string mpn;
    std::filesystem::path dir;
    std::optional<serve::Reply> refusal;
};
ChipRequest read_chip_request(const serve::Request& request);

}  // namespace kestrel::dashboard
