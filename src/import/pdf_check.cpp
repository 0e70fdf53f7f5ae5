// The `pdf-check` command: sweeps the chip folders for datasheets that do not
// begin like a PDF (usually HTML pages saved under `<MPN>.pdf` before imports
// were checked), and with --repair deletes them and blames, in the chip's
// ledger, the source that most recently delivered a file.

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <system_error>
#include <vector>

#include "cli/commands.hpp"
#include "cli/output.hpp"
#include "cli/paths.hpp"
#include "library/ledger.hpp"
#include "util/text.hpp"

namespace kestrel::cli {

namespace {

constexpr size_t k_pdf_head_size = 80;
constexpr size_t k_shown_bytes = 60;
constexpr size_t k_note_chars = 60;
constexpr std::string_view k_real_pdf = "%PDF-";
constexpr std::string_view k_replacement = "\xEF\xBF\xBD";  // U+FFFD

struct SourceIndex {
    std::string_view source;
    size_t index;
};

// Ledger sources and the ladder rung they blame; anything else is rung 0.
constexpr SourceIndex k_blame_indices[] = {
    {"snapmagic", 1}, {"mouser", 2}, {"digikey", 3}, {"arrow", 4}, {"cse_ul", 5}, {"cse", 5}, {"lcsc", 6},
};

struct BogusPdf {
    std::string mpn;
    unsigned long long size = 0;
    std::string head;  // decoded, invalid sequences replaced
};

// Length of the valid UTF-8 character at s[i], or 0 when none starts there;
// `bad` then holds how many bytes form the invalid run to replace with one
// U+FFFD (the longest prefix of a character that could still be valid).
size_t utf8_char_length(std::string_view s, size_t i, size_t& bad) {
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    size_t need = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        lo = lead == 0xE0 ? 0xA0 : 0x80;
        hi = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        lo = lead == 0xF0 ? 0x90 : 0x80;
        hi = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        bad = 1;
        return 0;
    }
    for (size_t k = 1; k <= need; ++k) {
        unsigned char min = k == 1 ? lo : 0x80;
        unsigned char max = k == 1 ? hi : 0xBF;
        if (i + k >= s.size() || byte(i + k) < min || byte(i + k) > max) {
            bad = k;
            return 0;
        }
    }
    return need + 1;
}

// The bytes as UTF-8 text, each invalid sequence replaced by U+FFFD.
std::string decode_lossy(std::string_view bytes) {
    std::string out;
    size_t i = 0;
    while (i < bytes.size()) {
        size_t bad = 0;
        size_t len = utf8_char_length(bytes, i, bad);
        if (len > 0) {
            out.append(bytes.substr(i, len));
            i += len;
        } else {
            out.append(k_replacement);
            i += bad;
        }
    }
    return out;
}

// The first `count` characters of valid UTF-8 text.
std::string first_chars(std::string_view text, size_t count) {
    size_t i = 0;
    for (size_t n = 0; n < count && i < text.size(); ++n) {
        size_t bad = 0;
        size_t len = utf8_char_length(text, i, bad);
        i += len > 0 ? len : bad;
    }
    return std::string(text.substr(0, i));
}

// Up to 80 bytes from the file's start, or nothing when it cannot be read.
std::optional<std::string> read_pdf_head(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string head(k_pdf_head_size, '\0');
    size_t got = 0;
    while (got < head.size()) {
        ssize_t n = ::read(fd, head.data() + got, head.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    head.resize(got);
    return head;
}

size_t blamed_rung(const std::string& source) {
    for (const SourceIndex& row : k_blame_indices) {
        if (row.source == source) {
            return row.index;
        }
    }
    return 0;
}

// Records in the ledger that the source which last delivered a file for this
// chip delivered HTML. Nothing is recorded when no delivery is on record.
void blame_last_delivery(const std::string& mpn, const std::string& head) {
    util::Result<std::vector<library::ChainEntry>> chain = library::read_chain(mpn);
    if (!chain) {
        return;
    }
    for (auto it = chain->rbegin(); it != chain->rend(); ++it) {
        if (it->outcome.find("OK") != std::string::npos || it->outcome == "lcsc_last_resort") {
            std::string note = "PDF was actually HTML — first 80 bytes: " + first_chars(head, k_note_chars);
            (void)library::append_chain_entry(mpn, blamed_rung(it->source), "html_masquerade", note);
            return;
        }
    }
}

}  // namespace

Status cmd_pdf_check(const PdfCheckArgs& args) {
    // Find the library.
    fs::path root = library_root();
    std::error_code ec;
    if (!fs::exists(root, ec)) {
        return util::Error("library does not exist at " + root.string());
    }

    // Sweep every chip folder (or the one asked for) in listing order.
    size_t checked = 0;
    size_t real = 0;
    size_t without = 0;
    std::vector<BogusPdf> bogus;
    fs::directory_iterator it(root, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code type_ec;
        if (!fs::is_directory(fs::status(it->path(), type_ec)) || !util::valid_utf8(name)) {
            continue;
        }
        if (args.mpn && *args.mpn != name) {
            continue;
        }
        fs::path pdf = it->path() / (name + ".pdf");
        if (!fs::is_regular_file(fs::status(pdf, type_ec))) {
            ++without;
            continue;
        }
        ++checked;
        std::optional<std::string> head = read_pdf_head(pdf);
        if (!head) {
            continue;
        }
        if (util::starts_with(*head, k_real_pdf)) {
            ++real;
            continue;
        }
        std::uintmax_t size = fs::file_size(pdf, type_ec);
        BogusPdf found{name, type_ec ? 0ULL : static_cast<unsigned long long>(size), decode_lossy(*head)};
        if (args.repair) {
            fs::remove(pdf, type_ec);
            blame_last_delivery(name, found.head);
        }
        bogus.push_back(std::move(found));
    }
    if (ec) {
        return util::Error("listing " + root.string() + ": " + ec.message());
    }

    // Report the counts, then every bogus file.
    line("PDF check: " + std::to_string(real) + "/" + std::to_string(checked) + " real PDFs (" +
         std::to_string(without) + " chips have no PDF)" + (args.repair ? "; --repair active" : ""));
    if (bogus.empty()) {
        return {};
    }
    line("");
    line("Bogus PDFs (HTML masquerading as %PDF-):");
    for (const BogusPdf& b : bogus) {
        line("  ❌ " + b.mpn + " (" + std::to_string(b.size) + " bytes)" + (args.repair ? " → DELETED" : ""));
        line("     first 60 bytes: " + util::utf8_prefix(b.head, k_shown_bytes));
    }
    line("");
    if (args.repair) {
        hint("bogus PDFs deleted + info.json.fetched_via_chain updated. Run `kestrel next-source <MPN>` to see "
             "what to try next.");
    } else {
        hint("re-run with --repair to delete bogus PDFs + record html_masquerade in fetched_via_chain. Then "
             "refetch from next ladder source.");
    }
    return util::Error("found " + std::to_string(bogus.size()) + " bogus PDF(s)");
}

}  // namespace kestrel::cli
