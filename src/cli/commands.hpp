#pragma once
// One plain struct of parsed arguments per command, and the handler that owns
// it. The command tree (cli/command_tree.cpp) fills the struct and calls the
// handler; handlers never look at argv. Optional arguments without a default
// are std::optional, so "absent" and "empty" stay different.

#include <cstdint>
#include <optional>
#include <string>

#include "util/error.hpp"

namespace kestrel::cli {

using util::Status;

struct FetchArgs { std::string mpn; std::optional<std::string> project; };
struct LoginArgs { std::string source; };
struct ListArgs {};
struct StatusArgs { std::string mpn; };
struct ImportArgs {
    std::string path;
    std::optional<std::string> mpn;
    bool no_validate = false;
    std::string discovery_source = "unknown";
    std::string content_origin = "unknown";
    std::string source_url;
};
struct PullArgs {
    std::string remote_path;
    std::optional<std::string> mpn;
    bool no_validate = false;
    std::string discovery_source = "unknown";
    std::string content_origin = "unknown";
    std::string source_url;
};
struct InstallArgs {};
struct ServeArgs { std::uint16_t port = 8786; };
struct AppArgs { std::uint16_t port = 8786; };
struct HeartbeatArgs { std::string mpn; std::string stage; };
struct SelfcheckArgs {};
struct HintArgs {};
struct SourcesArgs {};
struct GateArgs { bool strict = false; std::optional<std::string> mpn; };
struct MfrProbeArgs { std::string mpn; bool no_open = false; };
struct NextSourceArgs { std::string mpn; };
struct ValidateArgs { std::string mpn; };
struct ScrapeNavigateArgs { std::string mpn; std::string url; std::optional<std::string> stage; };
struct ScrapeEvalArgs { std::string mpn; std::string expr; };
struct ScrapeScreenshotArgs { std::string mpn; };
struct ScrapeOpenArgs { std::string mpn; std::string url; };
struct CredsListArgs {};
struct CredsSaveArgs { std::string host; std::string username; std::string password; };
struct CredsDeleteArgs { std::string host; };
struct DoneArgs { std::optional<std::string> mpn; };
struct PdfCheckArgs { std::optional<std::string> mpn; bool repair = false; };
struct SkiffPdfFetchArgs {
    std::string mpn;
    std::optional<std::string> page_url;
    std::optional<std::string> pdf_url;
    std::string source = "manufacturer";
    std::string session = "kestrel-pdf-grab";
};
struct RefetchArgs {
    std::string mpn;
    std::string format;
    std::string source;
    bool url_only = false;
    std::uint64_t timeout = 180;
};
struct DashboardEnsureArgs { bool force = false; };
struct DashboardSetSurfaceArgs { std::string surface; };
struct DashboardSurfaceArgs {};
struct ThumbnailsArgs { std::optional<std::string> mpn; bool force = false; };
struct ProjectCreateArgs { std::string name; std::string description; };
struct ProjectListArgs {};
struct ProjectShowArgs { std::string name; };
struct ProjectAddArgs { std::string name; std::string mpn; };
struct ProjectRemoveArgs { std::string name; std::string mpn; };
struct ProjectActivateArgs { std::string name; };
struct ProjectDeactivateArgs {};
struct ProjectDeleteArgs { std::string name; };

// Handlers, one per command. Each lives in the folder of the subsystem that
// owns the command (its commands.cpp).
Status cmd_fetch(const FetchArgs& args);                      // sources/
Status cmd_login(const LoginArgs& args);                      // sources/
Status cmd_list(const ListArgs& args);                        // inventory/
Status cmd_status(const StatusArgs& args);                    // inventory/
Status cmd_import(const ImportArgs& args);                    // import/
Status cmd_pull(const PullArgs& args);                        // bridge/
Status cmd_install(const InstallArgs& args);                  // store/ (agent guidance)
Status cmd_serve(const ServeArgs& args);                      // serve/
Status cmd_app(const AppArgs& args);                          // dashboard/
Status cmd_heartbeat(const HeartbeatArgs& args);              // heartbeat/
Status cmd_selfcheck(const SelfcheckArgs& args);              // hints/
Status cmd_hint(const HintArgs& args);                        // hints/
Status cmd_sources(const SourcesArgs& args);                  // sources/
Status cmd_gate(const GateArgs& args);                        // inventory/
Status cmd_mfr_probe(const MfrProbeArgs& args);               // sources/
Status cmd_next_source(const NextSourceArgs& args);           // sources/
Status cmd_validate(const ValidateArgs& args);                // validate/
Status cmd_scrape_navigate(const ScrapeNavigateArgs& args);   // bridge/
Status cmd_scrape_eval(const ScrapeEvalArgs& args);           // bridge/
Status cmd_scrape_screenshot(const ScrapeScreenshotArgs& args);  // bridge/
Status cmd_scrape_open(const ScrapeOpenArgs& args);           // bridge/
Status cmd_creds_list(const CredsListArgs& args);             // store/
Status cmd_creds_save(const CredsSaveArgs& args);             // store/
Status cmd_creds_delete(const CredsDeleteArgs& args);         // store/
Status cmd_done(const DoneArgs& args);                        // inventory/
Status cmd_pdf_check(const PdfCheckArgs& args);               // import/
Status cmd_skiff_pdf_fetch(const SkiffPdfFetchArgs& args);    // bridge/
Status cmd_refetch(const RefetchArgs& args);                  // bridge/
Status cmd_dashboard_ensure(const DashboardEnsureArgs& args);            // dashboard/
Status cmd_dashboard_set_surface(const DashboardSetSurfaceArgs& args);   // dashboard/
Status cmd_dashboard_surface(const DashboardSurfaceArgs& args);          // dashboard/
Status cmd_thumbnails(const ThumbnailsArgs& args);            // thumbnails/
Status cmd_project_create(const ProjectCreateArgs& args);     // store/
Status cmd_project_list(const ProjectListArgs& args);         // store/
Status cmd_project_show(const ProjectShowArgs& args);         // store/
Status cmd_project_add(const ProjectAddArgs& args);           // store/
Status cmd_project_remove(const ProjectRemoveArgs& args);     // store/
Status cmd_project_activate(const ProjectActivateArgs& args); // store/
Status cmd_project_deactivate(const ProjectDeactivateArgs& args);  // store/
Status cmd_project_delete(const ProjectDeleteArgs& args);     // store/

// The answer of a command whose handler is still to be built:
// "kestrel {command} is not available yet".
Status not_available(const char* command);

}  // namespace kestrel::cli
