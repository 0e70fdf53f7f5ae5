// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_fetch(const FetchArgs& /*args*/) { return not_available("fetch"); }
Status cmd_login(const LoginArgs& /*args*/) { return not_available("login"); }
Status cmd_sources(const SourcesArgs& /*args*/) { return not_available("sources"); }
Status cmd_mfr_probe(const MfrProbeArgs& /*args*/) { return not_available("mfr-probe"); }
Status cmd_next_source(const NextSourceArgs& /*args*/) { return not_available("next-source"); }

}  // namespace kestrel::cli
