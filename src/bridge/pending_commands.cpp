// Command handlers of this subsystem that are still to be built.

#include "cli/commands.hpp"

namespace kestrel::cli {

Status cmd_pull(const PullArgs& /*args*/) { return not_available("pull"); }
Status cmd_scrape_navigate(const ScrapeNavigateArgs& /*args*/) { return not_available("scrape navigate"); }
Status cmd_scrape_eval(const ScrapeEvalArgs& /*args*/) { return not_available("scrape eval"); }
Status cmd_scrape_screenshot(const ScrapeScreenshotArgs& /*args*/) { return not_available("scrape screenshot"); }
Status cmd_scrape_open(const ScrapeOpenArgs& /*args*/) { return not_available("scrape open"); }
Status cmd_skiff_pdf_fetch(const SkiffPdfFetchArgs& /*args*/) { return not_available("skiff-pdf-fetch"); }
Status cmd_refetch(const RefetchArgs& /*args*/) { return not_available("refetch"); }

}  // namespace kestrel::cli
