// `kestrel serve`: the dashboard server in the foreground.

#include "cli/commands.hpp"
#include "serve/server.hpp"

namespace kestrel::cli {

Status cmd_serve(const ServeArgs& args) { return serve::run_server(args.port); }

}  // namespace kestrel::cli
