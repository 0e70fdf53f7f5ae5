// The `kestrel creds` commands: list (passwords masked), save and delete.

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "store/credentials.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

namespace {

}  // namespace

Status cmd_creds_list(const CredsListArgs& /*args*/) {
    util::Result<std::vector<store::Credential>> list = store::load_credentials();
    if (!list) {
        return std::move(list).error();
    }
    if (list->empty()) {
        line("no stored credentials");
        line("");
        hint("save creds with: kestrel creds save <host> <username> <password>");
        hint("hosts: snapeda, ultralib, componentsearch, ti, st, microchip, google");
        return {};
    }
    line("stored credentials (" + std::to_string(list->size()) + "):");
    for (const store::Credential& entry : *list) {
        line("  " + util::pad_right(entry.host, 20) + " user=" + util::pad_right(entry.username, 25) +
             " pass=" + store::mask_password(entry.password));
    }
    return {};
}

Status cmd_creds_save(const CredsSaveArgs& args) {
    if (Status st = store::upsert_credential(args.host, args.username, args.password); !st) {
        return st;
    }
    ok("saved credential for " + args.host + " (user=" + args.username + ")");
    line("stored at ~/.config/kestrel/credentials.json");
    return {};
}

Status cmd_creds_delete(const CredsDeleteArgs& args) {
    util::Result<bool> removed = store::delete_credential(args.host);
    if (!removed) {
        return std::move(removed).error();
    }
    ok("deleted credential for " + args.host);
    return {};
}

}  // namespace kestrel::cli
