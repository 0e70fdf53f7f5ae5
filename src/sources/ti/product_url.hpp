#pragma once
// TI's orderable part numbers carry packing and package suffixes that TI's
// product pages do not: TPS62840YBGR is sold from the page of TPS62840.

#include <string>
#include <string_view>

namespace kestrel::sources::ti {

// The base part of a TI orderable MPN: trailing upper-case R/T (reel, tape)
// removed, then a trailing digit run and the letter run before it, when a digit
// precedes those letters. Anything else leaves the text after the R/T removal.
std::string ti_base_part(std::string_view mpn);

// TI's product page for the MPN's base part, opened at its CAD section:
// `https://www.ti.com/product/<base part>#cad-cae-symbols` (base inserted verbatim).
std::string ti_product_url(std::string_view mpn);

}  // namespace kestrel::sources::ti
