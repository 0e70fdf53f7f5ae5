#include "sources/logins.hpp"

namespace kestrel::sources {

namespace {

constexpr LoginSource k_login_sources[] = {
    {"google", "", "Google account (covers all Sign-in-with-Google flows)", "https://accounts.google.com/signin"},
    {"ti", "", "Texas Instruments", "https://www.ti.com/securemyprofile/login"},
    {"st", "", "STMicroelectronics", "https://my.st.com/cas/login"},
    {"microchip", "", "Microchip", "https://www.microchip.com/en-us/my-account-sign-in"},
    {"ultralib", "ultralibrarian", "Ultra Librarian", "https://app.ultralibrarian.com/account/login"},
    {"snapeda", "snapmagic", "SnapMagic / SnapEDA", "https://www.snapeda.com/account/login"},
    {"componentsearch", "samacsys", "Component Search Engine (samacsys)",
     "https://componentsearchengine.com/account/login"},
};

}  // namespace

std::span<const LoginSource> login_sources() { return k_login_sources; }

std::optional<LoginSource> find_login_source(std::string_view word) {
    for (const LoginSource& source : k_login_sources) {
        if (word == source.slug || (!source.alias.empty() && word == source.alias)) {
            return source;
        }
    }
    return std::nullopt;
}

}  // namespace kestrel::sources
