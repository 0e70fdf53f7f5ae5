#pragma once
// The sources that serve CAD files or datasheets only to signed-in users, and
// their sign-in pages. `kestrel login` opens these pages in the `kestrel`
// browser profile so the user signs in once and the cookies stay there.

#include <optional>
#include <span>
#include <string_view>

namespace kestrel::sources {

struct LoginSource {
    std::string_view slug;
    std::string_view alias;  // another accepted name; empty when none
    std::string_view name;   // display name
    std::string_view url;    // the vendor's own sign-in page
};

// The catalog, in the order `login list` and `login all` walk it.
std::span<const LoginSource> login_sources();

// The entry whose slug or alias equals `word` exactly (case-sensitive);
// nothing for any other word.
std::optional<LoginSource> find_login_source(std::string_view word);

}  // namespace kestrel::sources
