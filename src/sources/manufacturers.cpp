#include "sources/manufacturers.hpp"

#include "util/text.hpp"

namespace kestrel::sources {

namespace {

constexpr std::string_view k_st = "https://www.st.com";
constexpr std::string_view k_espressif = "https://www.espressif.com";
constexpr std::string_view k_nordic = "https://www.nordicsemi.com";
constexpr std::string_view k_microchip = "https://www.microchip.com";
constexpr std::string_view k_renesas = "https://www.renesas.com";
constexpr std::string_view k_nxp = "https://www.nxp.com";
constexpr std::string_view k_lattice = "https://www.latticesemi.com";
constexpr std::string_view k_ti = "https://www.ti.com";
constexpr std::string_view k_adi = "https://www.analog.com";
constexpr std::string_view k_diodes = "https://www.diodes.com";
constexpr std::string_view k_bosch = "https://www.bosch-sensortec.com";
constexpr std::string_view k_jst = "https://www.jst-mfg.com";
constexpr std::string_view k_gct = "https://gct.co";
constexpr std::string_view k_hanrun = "https://www.hanrun.com";
constexpr std::string_view k_wago = "https://www.wago.com";
constexpr std::string_view k_abracon = "https://abracon.com";
constexpr std::string_view k_vishay = "https://www.vishay.com";
constexpr std::string_view k_eswitch = "https://www.e-switch.com";

// Lookup order matters: the first prefix the MPN starts with wins, so the
// Bosch BM* rows come before JST's shorter BM, and anything starting with SM
// lands on JST.
constexpr ManufacturerRow k_manufacturers[] = {
    {"STM32", "STMicroelectronics", k_st, "/en/search.html#q=%MPN%-t=products-page=1"},
    {"LSM", "STMicroelectronics", k_st, "/en/search.html#q=%MPN%-t=products-page=1"},
    {"VL5", "STMicroelectronics", k_st, "/en/search.html#q=%MPN%-t=products-page=1"},
    {"USBLC", "STMicroelectronics", k_st, "/en/search.html#q=%MPN%-t=products-page=1"},
    {"ESP32", "Espressif", k_espressif, "/en/search?keys=%MPN%"},
    {"NRF", "Nordic Semi", k_nordic, "/Search?Keyword=%MPN%"},
    {"ATSAM", "Microchip", k_microchip, "/en-us/search?searchQuery=%MPN%"},
    {"ATME", "Microchip", k_microchip, "/en-us/search?searchQuery=%MPN%"},
    {"ATTI", "Microchip", k_microchip, "/en-us/search?searchQuery=%MPN%"},
    {"PIC", "Microchip", k_microchip, "/en-us/search?searchQuery=%MPN%"},
    {"MCP", "Microchip", k_microchip, "/en-us/search?searchQuery=%MPN%"},
    {"R7FA", "Renesas", k_renesas, "/us/en/search?keywords=%MPN%"},
    {"DA14", "Renesas", k_renesas, "/us/en/search?keywords=%MPN%"},
    {"LPC", "NXP", k_nxp, "/search?q=%MPN%"},
    {"MCXN", "NXP", k_nxp, "/search?q=%MPN%"},
    {"PCA9", "NXP", k_nxp, "/search?q=%MPN%"},
    {"ICE40", "Lattice", k_lattice, "/Search?searchTerm=%MPN%"},
    {"TPS", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"ADS", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"INA", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"DRV", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"MCF", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"BQ", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"MSP", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"LM", "Texas Instruments", k_ti, "/product/%MPN%"},
    {"AD7", "Analog Devices", k_adi, "/en/search.html?q=%MPN%"},
    {"AD8", "Analog Devices", k_adi, "/en/search.html?q=%MPN%"},
    {"LTC", "Analog Devices", k_adi, "/en/search.html?q=%MPN%"},
    {"MAX", "Analog Devices", k_adi, "/en/search.html?q=%MPN%"},
    {"AP21", "Diodes Inc.", k_diodes, "/search/?q=%MPN%"},
    {"AP22", "Diodes Inc.", k_diodes, "/search/?q=%MPN%"},
    {"DMG", "Diodes Inc.", k_diodes, "/search/?q=%MPN%"},
    {"DMP", "Diodes Inc.", k_diodes, "/search/?q=%MPN%"},
    {"DMN", "Diodes Inc.", k_diodes, "/search/?q=%MPN%"},
    {"BME", "Bosch Sensortec", k_bosch, "/search.html?q=%MPN%"},
    {"BMI", "Bosch Sensortec", k_bosch, "/search.html?q=%MPN%"},
    {"BMP", "Bosch Sensortec", k_bosch, "/search.html?q=%MPN%"},
    {"BMA", "Bosch Sensortec", k_bosch, "/search.html?q=%MPN%"},
    {"BMG", "Bosch Sensortec", k_bosch, "/search.html?q=%MPN%"},
    {"S2B-", "JST", k_jst, "/product/index.php?series=199"},
    {"S3B-", "JST", k_jst, "/product/index.php?series=199"},
    {"S4B-", "JST", k_jst, "/product/index.php?series=199"},
    {"B2B-", "JST", k_jst, "/product/index.php?series=199"},
    {"B3B-", "JST", k_jst, "/product/index.php?series=199"},
    {"B4B-", "JST", k_jst, "/product/index.php?series=199"},
    {"SM", "JST", k_jst, "/search/?q=%MPN%"},
    {"BM", "JST", k_jst, "/search/?q=%MPN%"},
    {"USB4", "GCT", k_gct, "/search?q=%MPN%"},
    {"USB3", "GCT", k_gct, "/search?q=%MPN%"},
    {"HR9", "HanRun", k_hanrun, "/"},
    {"WAGO", "WAGO", k_wago, "/global/search?text=%MPN%"},
    {"ABM8", "Abracon", k_abracon, "/search?searchQuery=%MPN%"},
    {"ABM3", "Abracon", k_abracon, "/search?searchQuery=%MPN%"},
    {"CRCW", "Vishay", k_vishay, "/search/?q=%MPN%"},
    {"VS", "Vishay", k_vishay, "/search/?q=%MPN%"},
    {"VLM", "Vishay", k_vishay, "/search/?q=%MPN%"},
    {"WSL", "Vishay", k_vishay, "/search/?q=%MPN%"},
    {"TL3", "E-Switch", k_eswitch, "/?s=%MPN%"},
};

std::string fill_pattern(std::string_view pattern, const std::string& encoded_mpn) {
    constexpr std::string_view k_marker = "%MPN%";
    std::string out;
    size_t from = 0;
    while (true) {
        size_t at = pattern.find(k_marker, from);
        if (at == std::string_view::npos) {
            out.append(pattern.substr(from));
            return out;
        }
        out.append(pattern.substr(from, at - from));
        out += encoded_mpn;
        from = at + k_marker.size();
    }
}

}  // namespace

std::optional<ManufacturerMatch> detect_manufacturer(std::string_view mpn) {
    const std::string upper = util::to_upper(mpn);
    for (const ManufacturerRow& row : k_manufacturers) {
        if (util::starts_with(upper, row.prefix)) {
            // The page gets the MPN as the user typed it, not the upper-cased copy.
            std::string url = std::string(row.host) + fill_pattern(row.pattern, util::percent_encode(mpn));
            return ManufacturerMatch{std::move(url), std::string(row.name)};
        }
    }
    return std::nullopt;
}

}  // namespace kestrel::sources
