#include "util/json_file.hpp"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrel::util {

namespace {

// Closes a file descriptor and removes a temporary file unless committed.
class TempFile {
public:
    ~TempFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (!m_path.empty() && !m_committed) {
            ::unlink(m_path.c_str());
        }
    }
    int m_fd = -1;
    std::string m_path;
    bool m_committed = false;
};

Status write_all(int fd, std::string_view text, const std::string& path) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Error(errno_message("writing " + path, errno));
        }
        data += n;
        left -= static_cast<size_t>(n);
    }
    return {};
}

}  // namespace

JsonRead read_json(const fs::path& path) {
    JsonRead result;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec)) && !fs::exists(path, ec)) {
        result.state = ReadState::Missing;
        return result;
    }
    Result<std::string> text = read_text(path);
    if (!text) {
        // A dangling link reads as missing, like a file that is not there.
        if (!fs::exists(path, ec)) {
            result.state = ReadState::Missing;
            return result;
        }
        result.state = ReadState::Unreadable;
        result.error = text.error().causes.empty() ? text.error().message : text.error().causes.back();
        return result;
    }
    result.value = json::parse(*text, nullptr, false);
    if (result.value.is_discarded()) {
        result.value = nullptr;
        result.state = ReadState::Unparseable;
        result.error = "not valid JSON";
        return result;
    }
    result.state = ReadState::Ok;
    return result;
}

Result<std::string> read_text(const fs::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Error("reading " + path.string(), {std::strerror(errno)});
    }
    std::string out;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            int saved = errno;
            ::close(fd);
            return Error("reading " + path.string(), {std::strerror(saved)});
        }
        if (n == 0) {
            break;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return out;
}

std::string dump_json(const json& value, int indent) {
    return value.dump(indent, ' ', false, json::error_handler_t::replace);
}

std::string dump_json(const ordered_json& value, int indent) {
    return value.dump(indent, ' ', false, ordered_json::error_handler_t::replace);
}

Status write_file_atomic(const fs::path& path, const std::string& text, bool secret) {
    fs::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    TempFile temp;
    temp.m_path = (folder / ("." + path.filename().string() + ".tmp.XXXXXX")).string();
    std::string pattern = temp.m_path;
    // mkstemp creates the file with mode 600, so a secret is never readable by
    // others, not even for a moment.
    temp.m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (temp.m_fd < 0) {
        int saved = errno;
        temp.m_path.clear();
        return Error(errno_message("creating a temporary file in " + folder.string(), saved));
    }
    temp.m_path = pattern;
    if (!secret) {
        // Ordinary files get the usual mode: 666 less the umask.
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(temp.m_fd, 0666 & ~mask);
    }
    if (Status st = write_all(temp.m_fd, text, temp.m_path); !st) {
        return st;
    }
    if (::close(temp.m_fd) != 0) {
        temp.m_fd = -1;
        return Error(errno_message("writing " + temp.m_path, errno));
    }
    temp.m_fd = -1;
    if (::rename(temp.m_path.c_str(), path.c_str()) != 0) {
        return Error(errno_message("renaming " + temp.m_path + " to " + path.string(), errno));
    }
    temp.m_committed = true;
    return {};
}

Status write_file_in_place(const fs::path& path, std::string_view text) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return Error(errno_message("writing " + path.string(), errno));
    }
    Status written = write_all(fd, text, path.string());
    if (::close(fd) != 0 && written) {
        return Error(errno_message("writing " + path.string(), errno));
    }
    return written;
}

Status write_json(const fs::path& path, const json& value, const WriteOptions& options) {
    std::string text = dump_json(value, options.indent);
    if (options.trailing_newline) {
        text += '\n';
    }
    return write_file_atomic(path, text, options.secret);
}

Status write_json(const fs::path& path, const ordered_json& value, const WriteOptions& options) {
    std::string text = dump_json(value, options.indent);
    if (options.trailing_newline) {
        text += '\n';
    }
    return write_file_atomic(path, text, options.secret);
}

Result<DirLock> DirLock::acquire(const fs::path& folder) {
    fs::path target = folder.empty() ? fs::path(".") : folder;
    int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Error(errno_message("opening " + target.string(), errno));
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            int saved = errno;
            ::close(fd);
            return Error(errno_message("locking " + target.string(), saved));
        }
    }
    return DirLock(fd);
}

DirLock::~DirLock() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the descriptor releases the lock
    }
}

Status update_json(const fs::path& path, const JsonChange& change, const WriteOptions& options) {
    Result<DirLock> lock = DirLock::acquire(path.parent_path());
    if (!lock) {
        return std::move(lock).error();
    }
    JsonRead current = read_json(path);
    Result<std::optional<json>> next = change(current);
    if (!next) {
        return std::move(next).error();
    }
    if (!next->has_value()) {
        return {};
    }
    return write_json(path, **next, options);
}

long long unix_now() {
    auto since = std::chrono::system_clock::now().time_since_epoch();
    long long secs = std::chrono::duration_cast<std::chrono::seconds>(since).count();
    return secs < 0 ? 0 : secs;
}

}  // namespace kestrel::util
