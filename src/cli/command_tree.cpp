// Builds the parser from the command tables, parses argv before anything else
// is touched, and hands the parsed arguments of the one selected command to its
// handler. Exit statuses: 0 success/help/version, 1 handler error, 2 command line.

#include "cli/command_tree.hpp"

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/command_table.hpp"
#include "cli/commands.hpp"
#include "cli/report.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

namespace {

constexpr const char* k_name = "kestrel";
constexpr const char* k_version = "1.2.23";
constexpr const char* k_about = "Download manufacturer STEP/footprint/datasheet bundles via skiff";
constexpr const char* k_refetch_details =
    "Sources accepted (canonical slugs): manufacturer, snapmagic, mouser, digikey, arrow, cse_ul, lcsc. "
    "Formats accepted: kicad_sym, kicad_mod, eagle, step, all.";

// Parsed values of the selected command, keyed by "<command path>/<id>".
struct Store {
    std::map<std::string, std::string> text;
    std::map<std::string, bool> flags;
    std::map<std::string, CLI::Option*> options;
    bool refetch_long_help = false;
};

// Typed access to one command's parsed arguments.
class Args {
public:
    Args(const Store& store, std::string path) : m_store(store), m_path(std::move(path)) {}
    std::string text(const char* id) const { return m_store.text.at(key(id)); }
    std::optional<std::string> optional(const char* id) const {
        if (m_store.options.at(key(id))->count() == 0) {
            return std::nullopt;
        }
        return text(id);
    }
    bool flag(const char* id) const { return m_store.flags.at(key(id)); }
    std::uint64_t number(const char* id) const { return std::stoull(text(id)); }

private:
    std::string key(const char* id) const { return m_path + "/" + id; }
    const Store& m_store;
    std::string m_path;
};

struct Route {
    const char* path;
    Status (*run)(const Args&);
};

// Each command's handler, fed from its parsed arguments.
const Route k_routes[] = {
    {"fetch", [](const Args& a) { return cmd_fetch({a.text("mpn"), a.optional("project")}); }},
    {"login", [](const Args& a) { return cmd_login({a.text("source")}); }},
    {"list", [](const Args&) { return cmd_list({}); }},
    {"status", [](const Args& a) { return cmd_status({a.text("mpn")}); }},
    {"import",
     [](const Args& a) {
         return cmd_import({a.text("path"), a.optional("mpn"), a.flag("no_validate"), a.text("discovery_source"),
                            a.text("content_origin"), a.text("source_url")});
     }},
    {"pull",
     [](const Args& a) {
         return cmd_pull({a.text("remote_path"), a.optional("mpn"), a.flag("no_validate"), a.text("discovery_source"),
                          a.text("content_origin"), a.text("source_url")});
     }},
    {"install", [](const Args&) { return cmd_install({}); }},
    {"serve", [](const Args& a) { return cmd_serve({static_cast<std::uint16_t>(a.number("port"))}); }},
    {"app", [](const Args& a) { return cmd_app({static_cast<std::uint16_t>(a.number("port"))}); }},
    {"heartbeat", [](const Args& a) { return cmd_heartbeat({a.text("mpn"), a.text("stage")}); }},
    {"selfcheck", [](const Args&) { return cmd_selfcheck({}); }},
    {"hint", [](const Args&) { return cmd_hint({}); }},
    {"sources", [](const Args&) { return cmd_sources({}); }},
    {"gate", [](const Args& a) { return cmd_gate({a.flag("strict"), a.optional("mpn")}); }},
    {"mfr-probe", [](const Args& a) { return cmd_mfr_probe({a.text("mpn"), a.flag("no_open")}); }},
    {"next-source", [](const Args& a) { return cmd_next_source({a.text("mpn")}); }},
    {"validate", [](const Args& a) { return cmd_validate({a.text("mpn")}); }},
    {"scrape navigate",
     [](const Args& a) { return cmd_scrape_navigate({a.text("mpn"), a.text("url"), a.optional("stage")}); }},
    {"scrape eval", [](const Args& a) { return cmd_scrape_eval({a.text("mpn"), a.text("expr")}); }},
    {"scrape screenshot", [](const Args& a) { return cmd_scrape_screenshot({a.text("mpn")}); }},
    {"scrape open", [](const Args& a) { return cmd_scrape_open({a.text("mpn"), a.text("url")}); }},
    {"creds list", [](const Args&) { return cmd_creds_list({}); }},
    {"creds save",
     [](const Args& a) { return cmd_creds_save({a.text("host"), a.text("username"), a.text("password")}); }},
    {"creds delete", [](const Args& a) { return cmd_creds_delete({a.text("host")}); }},
    {"done", [](const Args& a) { return cmd_done({a.optional("mpn")}); }},
    {"pdf-check", [](const Args& a) { return cmd_pdf_check({a.optional("mpn"), a.flag("repair")}); }},
    {"skiff-pdf-fetch",
     [](const Args& a) {
         return cmd_skiff_pdf_fetch(
             {a.text("mpn"), a.optional("page_url"), a.optional("pdf_url"), a.text("source"), a.text("session")});
     }},
    {"refetch",
     [](const Args& a) {
         return cmd_refetch(
             {a.text("mpn"), a.text("format"), a.text("source"), a.flag("url_only"), a.number("timeout")});
     }},
    {"dashboard ensure", [](const Args& a) { return cmd_dashboard_ensure({a.flag("force")}); }},
    {"dashboard set-surface", [](const Args& a) { return cmd_dashboard_set_surface({a.text("surface")}); }},
    {"dashboard surface", [](const Args&) { return cmd_dashboard_surface({}); }},
    {"thumbnails", [](const Args& a) { return cmd_thumbnails({a.optional("mpn"), a.flag("force")}); }},
    {"project create", [](const Args& a) { return cmd_project_create({a.text("name"), a.text("description")}); }},
    {"project list", [](const Args&) { return cmd_project_list({}); }},
    {"project show", [](const Args& a) { return cmd_project_show({a.text("name")}); }},
    {"project add", [](const Args& a) { return cmd_project_add({a.text("name"), a.text("mpn")}); }},
    {"project remove", [](const Args& a) { return cmd_project_remove({a.text("name"), a.text("mpn")}); }},
    {"project activate", [](const Args& a) { return cmd_project_activate({a.text("name")}); }},
    {"project deactivate", [](const Args&) { return cmd_project_deactivate({}); }},
    {"project delete", [](const Args& a) { return cmd_project_delete({a.text("name")}); }},
};

bool all_digits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Plain decimal numbers only: no sign, no base prefix, within range.
CLI::Validator number_validator(std::uint64_t max) {
    return CLI::Validator(
        [max](std::string& value) -> std::string {
            const std::string range = "a whole number from 0 to " + std::to_string(max);
            if (!all_digits(value) || value.size() > 20) {
                return "expected " + range + ", got '" + value + "'";
            }
            try {
                if (std::stoull(value) <= max) {
                    return {};
                }
            } catch (const std::out_of_range&) {
            }
            return "expected " + range + ", got '" + value + "'";
        },
        "");
}

// Declares one argument of `cmd` from its table row.
void declare(CLI::App* cmd, const std::string& path, const ArgSpec& row, Store& store) {
    const std::string key = path + "/" + row.id;
    const std::string form = row.form;
    const std::string help = row.help ? row.help : "";
    if (row.kind == ArgKind::Flag) {
        store.flags[key] = false;
        // A flag takes no value: `--strict=false` is a command-line error.
        store.options[key] = cmd->add_flag(form, store.flags[key], help)->disable_flag_override();
        return;
    }
    std::string& slot = store.text[key];
    slot = row.default_value ? row.default_value : "";
    CLI::Option* opt = nullptr;
    if (form.front() == '<') {
        const std::string value_name = form.substr(1, form.size() - 2);
        opt = cmd->add_option(value_name, slot, help);
        opt->type_name("");
    } else {
        const size_t space = form.find(' ');
        opt = cmd->add_option(form.substr(0, space), slot, help);
        opt->type_name(form.substr(space + 1));
    }
    if (row.required) {
        opt->required();
    }
    if (row.default_value && *row.default_value) {
        opt->default_str(row.default_value);
        opt->capture_default_str();
    }
    if (row.kind == ArgKind::Port) {
        opt->check(number_validator(65535));
    } else if (row.kind == ArgKind::Seconds) {
        opt->check(number_validator(UINT64_MAX));
    }
    store.options[key] = opt;
}

// Builds the whole tree on `app`. Returns the map from command path to parser node.
std::map<std::string, CLI::App*> build(CLI::App& app, Store& store) {
    std::map<std::string, CLI::App*> nodes;
    app.require_subcommand(0, 1);
    app.set_version_flag("-V,--version", std::string(k_name) + " " + k_version, "Print version");
    app.set_help_flag("-h,--help", "Print help");
    for (const CommandSpec& row : command_specs()) {
        const std::string path = row.path;
        const size_t space = path.find(' ');
        CLI::App* parent = space == std::string::npos ? &app : nodes.at(path.substr(0, space));
        const std::string name = space == std::string::npos ? path : path.substr(space + 1);
        CLI::App* cmd = parent->add_subcommand(name, row.about);
        cmd->require_subcommand(0, 1);
        nodes[path] = cmd;
    }
    for (const ArgSpec& row : arg_specs()) {
        declare(nodes.at(row.command), row.command, row, store);
    }
    // `refetch --help` shows the long description; `-h` the one-line about text.
    CLI::App* refetch = nodes.at("refetch");
    refetch->set_help_flag("-h", "Print help (see more with '--help')");
    refetch->add_flag_callback(
        "--help",
        [&store]() {
            store.refetch_long_help = true;
            throw CLI::CallForHelp();
        },
        "Print help");
    return nodes;
}

// The deepest command the parser selected, with its path.
std::pair<CLI::App*, std::string> selected(CLI::App& app) {
    CLI::App* node = &app;
    std::string path;
    for (;;) {
        std::vector<CLI::App*> subs = node->get_subcommands();
        if (subs.empty()) {
            return {node, path};
        }
        node = subs.front();
        path += (path.empty() ? "" : " ") + node->get_name();
    }
}

std::string help_of(CLI::App* node, const std::string& path) {
    std::string prev = k_name;
    const size_t space = path.rfind(' ');
    if (space != std::string::npos) {
        prev += " " + path.substr(0, space);
    }
    return node->get_parent() == nullptr ? node->help() : node->help(prev);
}

std::string refetch_long_help(CLI::App* refetch) {
    const std::string about = refetch->get_description();
    refetch->description(about + ".\n\n" + k_refetch_details);
    std::string text = refetch->help(k_name);
    refetch->description(about);
    return text;
}

void write(std::FILE* stream, const std::string& text) {
    std::fputs(text.c_str(), stream);
    if (!text.empty() && text.back() != '\n') {
        std::fputc('\n', stream);
    }
    std::fflush(stream);
}

int usage_error(CLI::App& app, const std::string& message) {
    auto [node, path] = selected(app);
    CLI::Formatter formatter;
    std::string usage = formatter.make_usage(node, path.empty() ? k_name : std::string(k_name) + " " + path);
    write(stderr, "error: " + message + "\n\n" + util::trim(usage) + "\n\nFor more information, try '--help'.");
    return 2;
}

}  // namespace

int run_command_line(int argc, char** argv) {
    CLI::App app(k_about, k_name);
    Store store;
    std::map<std::string, CLI::App*> nodes = build(app, store);

    // `help [COMMAND...]` prints the help of the named command.
    std::vector<std::string> help_topic;
    CLI::App* help_cmd = app.add_subcommand("help", "Print this message or the help of the given subcommand(s)");
    help_cmd->add_option("COMMAND", help_topic, "The subcommand whose help message to display")->type_name("");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        auto [node, path] = selected(app);
        write(stdout, store.refetch_long_help && path == "refetch" ? refetch_long_help(node) : help_of(node, path));
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        write(stdout, app.help("", CLI::AppFormatMode::All));
        return 0;
    } catch (const CLI::CallForVersion& e) {
        write(stdout, e.what());
        return 0;
    } catch (const CLI::ParseError& e) {
        return usage_error(app, e.what());
    }

    auto [node, path] = selected(app);
    if (node == help_cmd) {
        const std::string topic = util::join(help_topic, " ");
        if (topic.empty()) {
            // The top-level help itself: `app.help()` would show the selected `help` command's own.
            write(stdout, app.get_formatter()->make_help(&app, k_name, CLI::AppFormatMode::Normal));
            return 0;
        }
        auto it = nodes.find(topic);
        if (it == nodes.end()) {
            write(stderr, "error: unrecognized subcommand '" + topic + "'\n\nFor more information, try '--help'.");
            return 2;
        }
        write(stdout, topic == "refetch" ? refetch_long_help(it->second) : help_of(it->second, topic));
        return 0;
    }
    // A missing subcommand, at the top or inside a group, shows that level's help.
    if (path.empty() || (node->get_subcommands().empty() && !node->get_subcommands({}).empty())) {
        write(stderr, help_of(node, path));
        return 2;
    }
    for (const Route& route : k_routes) {
        if (path == route.path) {
            Status status = route.run(Args(store, path));
            if (!status) {
                std::fflush(stdout);
                write(stderr, format_error_report(status.error()));
                return 1;
            }
            return 0;
        }
    }
    write(stderr, "error: no handler for '" + path + "'");
    return 2;
}

}  // namespace kestrel::cli
