// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_import(const ImportArgs& /*args*/) { return not_available("import"); }
Status cmd_pdf_check(const PdfCheckArgs& /*args*/) { return not_available("pdf-check"); }

}  // namespace kestrel::cli
