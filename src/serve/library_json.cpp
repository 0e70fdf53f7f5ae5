#include "serve/library_json.hpp"

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "util/json_file.hpp"
#include "util/text.hpp"

namespace kestrel::serve {

namespace {

// A JSON string literal escaped the way the JSON library writes it: the two
// mandatory escapes, the short forms of \b \f \n \r \t, "\u00xx" for other
// control bytes, and every other byte as it stands. Text that is not valid
// UTF-8 is left to the library, which replaces the bad bytes.
void append_string(std::string& out, std::string_view text) {
    if (!util::valid_utf8(text)) {
        out += util::dump_json(util::json(std::string(text)), -1);
        return;
    }
    out += '"';
    size_t run = 0;  // start of the bytes not yet copied
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.append(text.data() + run, i - run);
        run = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            }
        }
    }
    out.append(text.data() + run, text.size() - run);
    out += '"';
}

// Writes one object's members in call order, commas included.
class ObjectWriter {
public:
    explicit ObjectWriter(std::string& out) : m_out(out) { m_out += '{'; }
    ~ObjectWriter() { m_out += '}'; }
    ObjectWriter(const ObjectWriter&) = delete;
    ObjectWriter& operator=(const ObjectWriter&) = delete;

    void string(std::string_view key, std::string_view value) {
        name(key);
        append_string(m_out, value);
    }
    void boolean(std::string_view key, bool value) {
        name(key);
        m_out += value ? "true" : "false";
    }
    void number(std::string_view key, std::uint64_t value) {
        name(key);
        m_out += std::to_string(value);
    }
    void optional(std::string_view key, const std::optional<std::string>& value) {
        name(key);
        if (value) {
            append_string(m_out, *value);
        } else {
            m_out += "null";
        }
    }
    void strings(std::string_view key, const std::vector<std::string>& values) {
        name(key);
        m_out += '[';
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0) {
                m_out += ',';
            }
            append_string(m_out, values[i]);
        }
        m_out += ']';
    }
    void document(std::string_view key, const util::json& value) {
        name(key);
        m_out += util::dump_json(value, -1);
    }
    void sources(std::string_view key, const std::vector<inventory::SourceEntry>& entries) {
        name(key);
        m_out += '[';
        for (size_t i = 0; i < entries.size(); ++i) {
            if (i > 0) {
                m_out += ',';
            }
            ObjectWriter entry(m_out);
            entry.string("method", entries[i].method);
            entry.string("label", entries[i].label);
            entry.boolean("current", entries[i].current);
            entry.boolean("thumb", entries[i].thumb);
        }
        m_out += ']';
    }

private:
    void name(std::string_view key) {
        if (!m_first) {
            m_out += ',';
        }
        m_first = false;
        m_out += '"';
        m_out += key;  // member names are plain ASCII
        m_out += "\":";
    }

    std::string& m_out;
    bool m_first = true;
};

}  // namespace

void append_row_json(std::string& out, const inventory::ChipRow& row) {
    ObjectWriter w(out);
    w.string("mpn", row.mpn);
    w.string("vendor", row.vendor);
    w.string("package", row.package);
    w.string("family", row.family);
    w.boolean("fully_bundled", row.fully_bundled);
    w.boolean("has_step", row.has_step);
    w.boolean("has_sym", row.has_sym);
    w.boolean("has_mod", row.has_mod);
    w.boolean("has_altium_sch", row.has_altium_sch);
    w.boolean("has_altium_pcb", row.has_altium_pcb);
    w.boolean("has_altium_intlib", row.has_altium_intlib);
    w.boolean("has_altium", row.has_altium);
    w.boolean("altium_not_available", row.altium_not_available);
    w.boolean("has_fusion_lbr", row.has_fusion_lbr);
    w.boolean("fusion_not_available", row.fusion_not_available);
    w.boolean("has_pdf", row.has_pdf);
    w.number("pdf_count", row.pdf_count);
    w.boolean("has_info", row.has_info);
    w.boolean("has_thumb_symbol", row.has_thumb_symbol);
    w.boolean("has_thumb_footprint", row.has_thumb_footprint);
    w.boolean("has_thumb_chip3d", row.has_thumb_chip3d);
    w.boolean("has_thumb_chip3d_yup", row.has_thumb_chip3d_yup);
    w.string("inferred_up_axis", row.inferred_up_axis);
    w.string("chosen_up_axis", row.chosen_up_axis);
    w.string("step_source", row.step_source);
    w.number("size_bytes", row.size_bytes);
    w.strings("files", row.files);
    w.document("info", row.info);
    w.document("stock", row.stock);
    w.optional("authoritative_footprint_svg", row.authoritative_footprint_svg);
    w.optional("authoritative_footprint_svg_source", row.authoritative_footprint_svg_source);
    w.optional("validation_status", row.validation_status);
    w.strings("validation_variants", row.validation_variants);
    w.document("file_provenance", row.file_provenance);
    w.sources("symbol_sources", row.symbol_sources);
    w.sources("footprint_sources", row.footprint_sources);
    w.document("thumb_errors", row.thumb_errors);
}

std::string library_json(const inventory::LibrarySummary& summary) {
    std::string out;
    out.reserve(summary.chips.size() * 3072);
    out += "{\"chips\":[";
    for (size_t i = 0; i < summary.chips.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        append_row_json(out, summary.chips[i]);
    }
    out += "],\"total_size\":" + std::to_string(summary.total_size);
    out += ",\"fully_count\":" + std::to_string(summary.fully_count);
    out += ",\"stub_count\":" + std::to_string(summary.stub_count);
    out += '}';
    return out;
}

}  // namespace kestrel::serve
