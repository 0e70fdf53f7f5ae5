#include "sources/ti/product_url.hpp"

namespace kestrel::sources::ti {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

std::string ti_base_part(std::string_view mpn) {
    // Packing suffixes: R (reel) and T (tape), upper case only.
    std::string_view text = mpn;
    while (!text.empty() && (text.back() == 'R' || text.back() == 'T')) {
        text.remove_suffix(1);
    }

    // From the end: an optional digit run, then the letter run of the package
    // code; the base part ends at the digit just before those letters.
    size_t end = text.size();
    while (end > 0 && is_digit(text[end - 1])) {
        --end;
    }
    if (end == 0 || !is_letter(text[end - 1])) {
        return std::string(text);
    }
    while (end > 0 && is_letter(text[end - 1])) {
        --end;
    }
    if (end > 0 && is_digit(text[end - 1])) {
        return std::string(text.substr(0, end));
    }
    return std::string(text);
}

std::string ti_product_url(std::string_view mpn) {
    return "https://www.ti.com/product/" + ti_base_part(mpn) + "#cad-cae-symbols";
}

}  // namespace kestrel::sources::ti
