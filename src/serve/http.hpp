#pragma once
// The request and reply values every dashboard route works with. The server
// (serve/server.cpp) turns wire bytes into a Request, routes it, and sends the
// Reply; route handlers never see the network.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "util/json_file.hpp"

namespace kestrel::serve {

struct Request {
    std::string method;                         // "GET", "POST", ...
    std::string target;                         // the raw request target, e.g. "/api/chip/A%2FB?x=1"
    std::string path;                           // routing path: raw (not percent-decoded), query and proxy prefix removed
    std::string query;                          // text after '?', raw
    std::map<std::string, std::string> headers; // names lower-cased
    std::string body;
    std::string peer_address;                   // the client's IP address as text
    bool peer_loopback = false;                 // the client connected from 127.0.0.0/8 or ::1
    std::string header(const std::string& lower_name) const {
        auto it = headers.find(lower_name);
        return it == headers.end() ? std::string() : it->second;
    }
};

struct Reply {
    int status = 200;
    std::string content_type;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra headers, e.g. Cache-Control
};

// 200 (or `status`) with `Content-Type: application/json` and the compact JSON text.
inline Reply json_reply(const util::json& value, int status = 200) {
    return Reply{status, "application/json", util::dump_json(value, -1), {}};
}

// Like json_reply, for documents whose member order is fixed (ordered_json).
inline Reply ordered_json_reply(const util::ordered_json& value, int status = 200) {
    return Reply{status, "application/json", util::dump_json(value, -1), {}};
}

// The plain 404: "not found" as text.
inline Reply not_found() { return Reply{404, "text/plain", "not found", {}}; }

}  // namespace kestrel::serve
