#pragma once
// Reading and writing whole JSON documents.
//
// Reads are lenient: the caller learns whether the file was missing,
// unreadable, unparseable or fine, and decides for itself what each means.
// Writes never leave a truncated file: the text goes to a temporary file in the
// same folder, which is then renamed over the target. A read-modify-write holds
// an exclusive lock on the containing folder for its whole span, so concurrent
// kestrel processes never lose each other's updates.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "util/error.hpp"

namespace kestrel::util {

using json = nlohmann::json;  // std::map objects: keys come out in ascending byte order
using ordered_json = nlohmann::ordered_json;
namespace fs = std::filesystem;

enum class ReadState {
    Missing,      // the file does not exist
    Unreadable,   // it exists but could not be read (permissions, a folder, ...)
    Unparseable,  // it was read but is not valid JSON
    Ok,           // `value` holds the parsed document
};

struct JsonRead {
    ReadState state = ReadState::Missing;
    json value;         // the document when state == Ok, else null
    std::string error;  // the system's or the parser's reason when not Ok
    bool is_object() const { return state == ReadState::Ok && value.is_object(); }
};

// Reads and parses the whole file. Never fails; the outcome says what happened.
JsonRead read_json(const fs::path& path);

// Reads a whole file as bytes. Missing and unreadable files are errors
// ("reading {path}: {reason}").
Result<std::string> read_text(const fs::path& path);

struct WriteOptions {
    bool trailing_newline = false;  // library files end without one; stores may differ
    bool secret = false;            // created with mode 600 before the first byte
    int indent = 2;                 // -1 for compact output
};

// The text a document is written as: two-space indent, keys in ascending byte
// order (for `json`), UTF-8 kept as is, invalid UTF-8 replaced.
std::string dump_json(const json& value, int indent = 2);
std::string dump_json(const ordered_json& value, int indent = 2);

// Replaces `path` with `text` through a temporary file in the same folder and a
// rename. The folder must exist. On failure the target is left as it was.
Status write_file_atomic(const fs::path& path, const std::string& text, bool secret = false);

// Truncates and rewrites `path` in place (created with mode 666 less the umask).
// For files whose own permissions must be honoured, such as a read-only file
// the user protected; everything else uses write_file_atomic.
Status write_file_in_place(const fs::path& path, std::string_view text);

// Serialises `value` and writes it atomically.
Status write_json(const fs::path& path, const json& value, const WriteOptions& options = {});
Status write_json(const fs::path& path, const ordered_json& value, const WriteOptions& options = {});

// An exclusive flock on a folder, held until destruction. Every read-modify-write
// of a file in that folder takes it first.
class DirLock {
public:
    // Blocks until the lock is held. Fails when the folder cannot be opened.
    static Result<DirLock> acquire(const fs::path& folder);
    DirLock(DirLock&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    DirLock& operator=(DirLock&&) = delete;
    DirLock(const DirLock&) = delete;
    ~DirLock();

private:
    explicit DirLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// One locked read-modify-write of a JSON file: lock the folder, read the file,
// let `change` decide the new document (or an error, which writes nothing), and
// write it. Returning std::nullopt from `change` leaves the file untouched.
using JsonChange = std::function<Result<std::optional<json>>(const JsonRead& current)>;
Status update_json(const fs::path& path, const JsonChange& change, const WriteOptions& options = {});

// Whole Unix seconds now; 0 when the clock reads before the epoch.
long long unix_now();

}  // namespace kestrel::util
