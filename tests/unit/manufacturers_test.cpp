#include "sources/manufacturers.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(DetectManufacturer, EveryPrefixReachesItsMakerWithItsPagePattern) {
    // Each group as the table holds it: prefixes, maker, and the page with
    // the MPN "<prefix>9" filled in (a pattern without %MPN% stays as it is).
    struct Group {
        std::vector<const char*> prefixes;
        const char* name;
        const char* page;  // "{}" marks where the MPN goes
    };
    const Group groups[] = {
        {{"STM32", "LSM", "VL5", "USBLC"}, "STMicroelectronics", "https://www.st.com/en/search.html#q={}-t=products-page=1"},
        {{"ESP32"}, "Espressif", "https://www.espressif.com/en/search?keys={}"},
        {{"NRF"}, "Nordic Semi", "https://www.nordicsemi.com/Search?Keyword={}"},
        {{"ATSAM", "ATME", "ATTI", "PIC", "MCP"}, "Microchip", "https://www.microchip.com/en-us/search?searchQuery={}"},
        {{"R7FA", "DA14"}, "Renesas", "https://www.renesas.com/us/en/search?keywords={}"},
        {{"LPC", "MCXN", "PCA9"}, "NXP", "https://www.nxp.com/search?q={}"},
        {{"ICE40"}, "Lattice", "https://www.latticesemi.com/Search?searchTerm={}"},
        {{"TPS", "ADS", "INA", "DRV", "MCF", "BQ", "MSP", "LM"}, "Texas Instruments", "https://www.ti.com/product/{}"},
        {{"AD7", "AD8", "LTC", "MAX"}, "Analog Devices", "https://www.analog.com/en/search.html?q={}"},
        {{"AP21", "AP22", "DMG", "DMP", "DMN"}, "Diodes Inc.", "https://www.diodes.com/search/?q={}"},
        {{"BME", "BMI", "BMP", "BMA", "BMG"}, "Bosch Sensortec", "https://www.bosch-sensortec.com/search.html?q={}"},
        {{"S2B-", "S3B-", "S4B-", "B2B-", "B3B-", "B4B-"}, "JST", "https://www.jst-mfg.com/product/index.php?series=199"},
        {{"SM", "BM"}, "JST", "https://www.jst-mfg.com/search/?q={}"},
        {{"USB4", "USB3"}, "GCT", "https://gct.co/search?q={}"},
        {{"HR9"}, "HanRun", "https://www.hanrun.com/"},
        {{"WAGO"}, "WAGO", "https://www.wago.com/global/search?text={}"},
        {{"ABM8", "ABM3"}, "Abracon", "https://abracon.com/search?searchQuery={}"},
        {{"CRCW", "VS", "VLM", "WSL"}, "Vishay", "https://www.vishay.com/search/?q={}"},
        {{"TL3"}, "E-Switch", "https://www.e-switch.com/?s={}"},
    };
    for (const Group& g : groups) {
        for (const char* prefix : g.prefixes) {
            const std::string mpn = std::string(prefix) + "9";
            std::string page = g.page;
            if (size_t at = page.find("{}"); at != std::string::npos) {
                page.replace(at, 2, mpn);
            }
            std::optional<sources::ManufacturerMatch> found = sources::detect_manufacturer(mpn);
            ASSERT_TRUE(found) << mpn;
            EXPECT_EQ(found->name, g.name) << mpn;
            EXPECT_EQ(found->url, page) << mpn;
        }
    }
}
