#include "sources/ti/product_url.hpp"

#include <gtest/gtest.h>

using namespace kestrel;

TEST(TiProductUrl, StripsPackingAndPackageSuffixes) {
    struct Case {
        const char* mpn;
        const char* base;
    };
    const Case cases[] = {
        {"TPS62840YBGR", "TPS62840"},
        {"LM358DR", "LM358"},
        {"TPS7A0233PDBVR", "TPS7A0233"},
        {"BQ24075RGTR", "BQ24075"},
        {"MSP430FR2355TRHAR", "MSP430FR2355"},
        {"INA219", "INA219"},         // the letters reach the start
        {"LMV321IDBV3", "LMV321"},    // a trailing digit is skipped first
        {"TPS62840", "TPS62840"},
        {"lm358dr", "lm358"},         // only upper-case R/T are packing codes
        {"LM358-DR", "LM358-D"},      // letters preceded by something else
        {"AB12-", "AB12-"},
        {"RTRT", ""},
        {"12345", "12345"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sources::ti::ti_base_part(c.mpn), c.base) << c.mpn;
    }
    EXPECT_EQ(sources::ti::ti_product_url("TPS62840YBGR"), "https://www.ti.com/product/TPS62840#cad-cae-symbols");
    EXPECT_EQ(sources::ti::ti_product_url("A B/1"), "https://www.ti.com/product/A B/1#cad-cae-symbols");
}
