#pragma once
// The dashboard's HTTP server: one listener on all interfaces, one thread.
//
// Connections are accepted and read asynchronously, so an idle keep-alive
// client never blocks anyone, while the route handlers run on that same thread
// strictly one at a time. The server stops only with its process; a client
// that misbehaves or goes away affects its own connection alone.

#include <cstdint>

#include "util/error.hpp"

namespace kestrel::serve {

// Binds 0.0.0.0:<port>, prints the two start-up lines and serves until the
// process ends. Returns only when binding fails, with
// "bind 0.0.0.0:<port>: <reason>". May be called on a second thread (as
// `kestrel app` does: start it on a std::thread and join that thread later; a
// bind failure then simply ends the thread).
util::Status run_server(std::uint16_t port);

}  // namespace kestrel::serve
