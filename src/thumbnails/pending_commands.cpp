// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_thumbnails(const ThumbnailsArgs& /*args*/) { return not_available("thumbnails"); }

}  // namespace kestrel::cli
