// POST /api/open: shows one of a chip's files in the viewer made for it. The
// viewers are separate local servers; each is started on demand, given a few
// seconds to come up, and handed the file through a small upload. When a
// viewer cannot be brought up or refuses the file, the page still gets a link
// it can show (the raw asset or its thumbnail), except for the .lbr, which
// exists only through its viewer.

#include <sys/stat.h>

#include <chrono>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "bridge/bridge.hpp"
#include "cli/output.hpp"
#include "cli/paths.hpp"
#include "dashboard/actions.hpp"
#include "dashboard/actions_spawn.hpp"
#include "dashboard/actions_support.hpp"
#include "dashboard/actions_urls.hpp"
#include "deliver/deliver.hpp"
#include "library/chip.hpp"
#include "util/process.hpp"
#include "util/text.hpp"

namespace kestrel::dashboard {

namespace {

namespace fs = std::filesystem;

constexpr std::uint16_t k_step_port = 8857;
constexpr std::uint16_t k_symbol_port = 8781;
constexpr std::uint16_t k_footprint_port = 8783;
constexpr std::uint16_t k_lbr_port = 8784;
constexpr std::uint16_t k_pdf_port = 8985;

constexpr const char* k_pdf_viewer_script = "/home/velm/project/velm-pdf-viewer/server.mjs";

// How long a freshly started viewer gets to answer: 30 probes 200 ms apart.
constexpr int k_ready_probes = 30;
constexpr std::chrono::milliseconds k_probe_pause{200};

bool is_file(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

std::string local_url(std::uint16_t port, std::string_view path) {
    return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

// Milliseconds since the epoch, used to make the viewer reload; 0 before it.
long long now_ms() {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                  std::chrono::system_clock::now().time_since_epoch())
                  .count();
    return ms > 0 ? static_cast<long long>(ms) : 0;
}

// True when something answers on the local port.
bool port_answers(std::uint16_t port) {
    util::RunOptions quiet;
    quiet.out = util::Stream::Discard;
    quiet.err = util::Stream::Discard;
    util::Result<util::ProcessResult> probe =
        util::run({"curl", "-fs", "-m", "1", "-o", "/dev/null", local_url(port, "/")}, quiet);
    return probe && probe->success();
}

// Makes sure the viewer on `port` runs: starts `launch` when the port is
// silent, then waits for the port to answer. Whether it came up or not, the
// caller goes on to its load, whose failure leads to the fallback.
void ensure_viewer(std::uint16_t port, const std::vector<std::string>& launch) {
    if (port_answers(port)) {
        return;
    }
    if (!start_and_forget(launch)) {
        return;  // nothing was started, so nothing can come up
    }
    for (int i = 0; i < k_ready_probes; ++i) {
        std::this_thread::sleep_for(k_probe_pause);
        if (port_answers(port)) {
            return;
        }
    }
}

// The scratch file an upload's body travels through. Any existing entry of
// that name is removed first and the file is created exclusively without
// following links, so a link planted in a shared temporary folder can never
// redirect the write.
class LoadFile {
public:
    LoadFile() : m_path(cli::temp_dir() / ("kestrel-load-" + std::to_string(::getpid()) + ".bin")) {}
    ~LoadFile() {
        std::error_code ec;
        fs::remove(m_path, ec);
    }
    LoadFile(const LoadFile&) = delete;
    LoadFile& operator=(const LoadFile&) = delete;

    bool write(const std::string& bytes) {
        ::unlink(m_path.c_str());
        int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            return false;
        }
        size_t done = 0;
        bool ok = true;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                ok = false;
                break;
            }
            done += static_cast<size_t>(n);
        }
        return ::close(fd) == 0 && ok;
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// Uploads `bytes` with curl: `headers` added, `seconds` as the time limit.
// True when curl exits 0.
bool upload(const std::string& bytes, const std::string& header, int seconds, const std::string& url) {
    LoadFile file;
    if (!file.write(bytes)) {
        return false;
    }
    util::Result<util::ProcessResult> ran =
        util::run({"curl", "-fs", "-m", std::to_string(seconds), "-X", "POST", "-H", header, "--data-binary",
                   "@" + file.path().string(), url});
    return ran && ran->success();
}

bool upload_json(const util::json& body, int seconds, std::uint16_t port) {
    return upload(util::dump_json(body, -1), "Content-Type: application/json", seconds, local_url(port, "/load"));
}

// The STEP file the 3D viewer starts with: the first chip folder, in listing
// order, that holds a `<dir>/<dir>.step`.
std::optional<fs::path> step_seed() {
    std::error_code ec;
    fs::directory_iterator it(cli::library_root(), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::string name = it->path().filename().string();
        fs::path candidate = it->path() / (name + ".step");
        if (is_file(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::string viewer_link(std::uint16_t port, const std::string& mpn) {
    return viewer_url(port) + "?reload=" + std::to_string(now_ms()) + "&title=" + url_encode_keep_slash(mpn);
}

serve::Reply opened(const std::string& url) {
    util::ordered_json body;
    body["ok"] = true;
    body["url"] = url;
    body["desktopBridge"] = bridge::bridge_connected();
    return ordered_reply(body);
}

serve::Reply missing(const std::string& what) { return error_reply(404, "no " + what); }

serve::Reply open_chip3d(const std::string& mpn, const fs::path& dir) {
    const fs::path step = dir / (mpn + ".step");
    if (!is_file(step)) {
        return missing(mpn + ".step");
    }
    std::optional<fs::path> seed = step_seed();
    ensure_viewer(k_step_port, {"velm-step", "view", (seed ? *seed : step).string(), "--no-open", "--port",
                                std::to_string(k_step_port)});
    util::Result<std::string> bytes = util::read_text(step);
    if (bytes && upload(*bytes, "X-Filename: " + mpn + ".step", 60, local_url(k_step_port, "/api/load"))) {
        return opened(viewer_link(k_step_port, mpn));
    }
    cli::warn("velm-step /api/load failed for " + mpn + "; falling back to asset URL");
    return opened(dashboard_base_url() + "/asset/" + mpn + "/" + mpn + ".step");
}

serve::Reply open_symbol(const std::string& mpn, const fs::path& dir, const std::string& source) {
    if (!is_file(dir / (mpn + ".kicad_sym"))) {
        return missing(mpn + ".kicad_sym");
    }
    ensure_viewer(k_symbol_port, {"velm-symbol", "serve", "--port", std::to_string(k_symbol_port)});
    util::json body;
    body["dir"] = dir.string();
    body["mpn"] = mpn;
    body["source"] = source;
    if (upload_json(body, 90, k_symbol_port)) {
        return opened(viewer_link(k_symbol_port, mpn));
    }
    cli::warn("velm-symbol /load (dir) failed for " + mpn + "; falling back to raw SVG");
    return opened(dashboard_base_url() + "/thumb/" + mpn + "/symbol");
}

serve::Reply open_footprint(const std::string& mpn, const fs::path& dir) {
    const fs::path mod = dir / (mpn + ".kicad_mod");
    if (!is_file(mod)) {
        return missing(mpn + ".kicad_mod");
    }
    ensure_viewer(k_footprint_port, {"velm-footprint", "serve", "--port", std::to_string(k_footprint_port)});
    util::Result<std::string> text = util::read_text(mod);
    if (text) {
        util::json body;
        body["footprintName"] = mpn;
        body["kicadMod"] = *text;
        if (upload_json(body, 70, k_footprint_port)) {
            return opened(viewer_link(k_footprint_port, mpn));
        }
    }
    cli::warn("velm-footprint /load failed for " + mpn + "; falling back to raw SVG");
    return opened(dashboard_base_url() + "/thumb/" + mpn + "/footprint");
}

serve::Reply open_lbr(const std::string& mpn, const fs::path& dir) {
    if (!is_file(dir / (mpn + ".kicad_sym")) && !is_file(dir / (mpn + ".kicad_mod"))) {
        return missing(mpn + ".kicad_sym or .kicad_mod to build an .lbr");
    }
    const fs::path lbr = dir / (mpn + ".lbr");
    util::Result<deliver::LbrRun> generated = deliver::run_lbr_generate(dir, mpn, lbr);
    if (generated && generated->output_exists) {
        ensure_viewer(k_lbr_port, {"velm-lbr", "serve", "--port", std::to_string(k_lbr_port)});
        util::Result<std::string> text = util::read_text(lbr);
        if (text) {
            util::json body;
            body["lbr"] = *text;
            if (upload_json(body, 30, k_lbr_port)) {
                return opened(viewer_link(k_lbr_port, mpn));
            }
        }
    }
    cli::warn("velm-lbr generate/load failed for " + mpn);
    return error_reply(500, "could not build .lbr for " + mpn);
}

serve::Reply open_datasheet(const std::string& mpn, const fs::path& dir) {
    if (!is_file(dir / (mpn + ".pdf"))) {
        return missing(mpn + ".pdf");
    }
    ensure_viewer(k_pdf_port, {"node", k_pdf_viewer_script, "--port", std::to_string(k_pdf_port)});
    std::string pdf = dashboard_base_url() + "/asset/" + mpn + "/" + mpn + ".pdf";
    return opened(viewer_url(k_pdf_port) + "v?src=" + url_encode_keep_slash(pdf) +
                  "&title=" + url_encode_keep_slash(mpn) + "%20datasheet");
}

serve::Reply open_chip3d_thumb(const std::string& mpn, const fs::path& dir) {
    if (!is_file(dir / (mpn + "-3d-iso-yup-lg.png"))) {
        return missing(mpn + "-3d-iso-yup-lg.png \u2014 run `pictor scan`");
    }
    return opened(dashboard_base_url() + "/thumb/" + mpn + "/chip3d-yup-lg");
}

}  // namespace

serve::Reply post_open(const serve::Request& request) {
    ChipRequest chip = read_chip_request(request);
    if (chip.refusal) {
        return *chip.refusal;
    }
    const std::optional<Body>& body = chip.body;
    const std::string& mpn = chip.mpn;
    const fs::path& dir = chip.dir;

    std::string kind = body->text("kind");
    if (kind == "brindle") {
        util::Result<int> started = start_and_forget({"velm-brindle", "view-library", dir.string()});
        if (!started) {
            return error_reply(500, "velm-brindle unavailable: " + started.error().one_line());
        }
        util::ordered_json done;
        done["ok"] = true;
        done["tool"] = "brindle";
        return ordered_reply(done);
    }
    if (kind == "chip3d") {
        return open_chip3d(mpn, dir);
    }
    if (kind == "chip3d-yup") {
        return open_chip3d_thumb(mpn, dir);
    }
    if (kind == "symbol") {
        return open_symbol(mpn, dir, body->text("source"));
    }
    if (kind == "footprint") {
        return open_footprint(mpn, dir);
    }
    if (kind == "lbr") {
        return open_lbr(mpn, dir);
    }
    if (kind == "datasheet") {
        return open_datasheet(mpn, dir);
    }
    return error_reply(400, "unknown kind " + kind + " (want chip3d|symbol|footprint|lbr|datasheet)");
}

}  // namespace kestrel::dashboard
