#include "sources/manufacturers.hpp"

#include <gtest/gtest.h>

using namespace kestrel;

TEST(DetectManufacturer, FirstPrefixWinsAndTheUrlKeepsTheMpnAsTyped) {
    struct Case {
        const char* mpn;
        const char* name;
        const char* url;
    };
    const Case cases[] = {
        {"stm32f103c8t6", "STMicroelectronics", "https://www.st.com/en/search.html#q=stm32f103c8t6-t=products-page=1"},
        {"LM 358", "Texas Instruments", "https://www.ti.com/product/LM%20358"},
        {"SMBJ5.0A", "JST", "https://www.jst-mfg.com/search/?q=SMBJ5.0A"},
        {"B2B-XH-A", "JST", "https://www.jst-mfg.com/product/index.php?series=199"},
        {"BME280", "Bosch Sensortec", "https://www.bosch-sensortec.com/search.html?q=BME280"},
        {"BM04B-SRSS-TB", "JST", "https://www.jst-mfg.com/search/?q=BM04B-SRSS-TB"},
        {"HR911105A", "HanRun", "https://www.hanrun.com/"},
        {"ESP32-C3/µ#1", "Espressif", "https://www.espressif.com/en/search?keys=ESP32-C3%2F%C2%B5%231"},
        {"nrf52840", "Nordic Semi", "https://www.nordicsemi.com/Search?Keyword=nrf52840"},
        {"ATmega328P", "Microchip", "https://www.microchip.com/en-us/search?searchQuery=ATmega328P"},
        {"DA14531", "Renesas", "https://www.renesas.com/us/en/search?keywords=DA14531"},
        {"PCA9685PW", "NXP", "https://www.nxp.com/search?q=PCA9685PW"},
        {"ICE40UP5K", "Lattice", "https://www.latticesemi.com/Search?searchTerm=ICE40UP5K"},
        {"MAX232", "Analog Devices", "https://www.analog.com/en/search.html?q=MAX232"},
        {"DMG2305UX", "Diodes Inc.", "https://www.diodes.com/search/?q=DMG2305UX"},
        {"USB4105-GF-A", "GCT", "https://gct.co/search?q=USB4105-GF-A"},
        {"wago-221", "WAGO", "https://www.wago.com/global/search?text=wago-221"},
        {"ABM8-16.000MHZ", "Abracon", "https://abracon.com/search?searchQuery=ABM8-16.000MHZ"},
        {"VLMS1300", "Vishay", "https://www.vishay.com/search/?q=VLMS1300"},
        {"VL53L0X", "STMicroelectronics", "https://www.st.com/en/search.html#q=VL53L0X-t=products-page=1"},
        {"TL3342", "E-Switch", "https://www.e-switch.com/?s=TL3342"},
    };
    for (const Case& c : cases) {
        std::optional<sources::ManufacturerMatch> found = sources::detect_manufacturer(c.mpn);
        ASSERT_TRUE(found) << c.mpn;
        EXPECT_EQ(found->name, c.name) << c.mpn;
        EXPECT_EQ(found->url, c.url) << c.mpn;
    }
}

TEST(DetectManufacturer, UnknownPrefixesFindNothing) {
    for (const char* mpn : {"XYZ123", "", " LM358", "ΩLM", "B5B-XH", "AD5"}) {
        EXPECT_FALSE(sources::detect_manufacturer(mpn)) << mpn;
    }
}
