#include "util/process.hpp"

#include "util/text.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace kestrel::util {

namespace {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(Fd&& o) noexcept : m_fd(o.m_fd) { o.m_fd = -1; }
    Fd& operator=(Fd&& o) noexcept {
        reset();
        m_fd = o.m_fd;
        o.m_fd = -1;
        return *this;
    }
    ~Fd() { reset(); }
    void reset() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = -1;
    }
    int get() const { return m_fd; }

private:
    int m_fd = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

Result<Pipe> make_pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        return Error(errno_message("creating a pipe", errno));
    }
    return Pipe{Fd(fds[0]), Fd(fds[1])};
}

std::vector<char*> c_argv(const std::vector<std::string>& argv) {
    std::vector<char*> out;
    out.reserve(argv.size() + 1);
    for (const std::string& a : argv) {
        out.push_back(const_cast<char*>(a.c_str()));
    }
    out.push_back(nullptr);
    return out;
}

int decode_status(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return -1;
}

int wait_child(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return decode_status(status);
}

}  // namespace

Result<ProcessResult> run(const std::vector<std::string>& argv, const RunOptions& options) {
    if (argv.empty()) {
        return Error("starting a program: no program named");
    }
    // Writing to a child that closed its input must not kill us.
    std::signal(SIGPIPE, SIG_IGN);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    struct ActionsGuard {
        posix_spawn_file_actions_t* a;
        ~ActionsGuard() { posix_spawn_file_actions_destroy(a); }
    } actions_guard{&actions};

    Pipe in_pipe, out_pipe, err_pipe;
    if (options.input) {
        Result<Pipe> p = make_pipe();
        if (!p) return std::move(p).error();
        in_pipe = std::move(*p);
        posix_spawn_file_actions_adddup2(&actions, in_pipe.read.get(), 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    auto setup = [&](Stream mode, int target, Pipe& pipe) -> Status {
        if (mode == Stream::Capture) {
            Result<Pipe> p = make_pipe();
            if (!p) return std::move(p).error();
            pipe = std::move(*p);
            posix_spawn_file_actions_adddup2(&actions, pipe.write.get(), target);
        } else if (mode == Stream::Discard) {
            posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
        }
        return {};
    };
    if (Status st = setup(options.out, 1, out_pipe); !st) return std::move(st).error();
    if (Status st = setup(options.err, 2, err_pipe); !st) return std::move(st).error();

    std::fflush(stdout);
    std::fflush(stderr);

    std::vector<char*> args = c_argv(argv);
    pid_t pid = -1;
    int rc;
    if (options.cwd) {
        // posix_spawn has no portable chdir action in glibc 2.36; fork keeps it simple.
        pid = ::fork();
        if (pid == 0) {
            if (options.input) { ::dup2(in_pipe.read.get(), 0); } else { int n = ::open("/dev/null", O_RDONLY); ::dup2(n, 0); }
            auto redirect = [](Stream mode, int target, const Pipe& p) {
                if (mode == Stream::Capture) { ::dup2(p.write.get(), target); }
                else if (mode == Stream::Discard) { int n = ::open("/dev/null", O_WRONLY); ::dup2(n, target); }
            };
            redirect(options.out, 1, out_pipe);
            redirect(options.err, 2, err_pipe);
            if (::chdir(options.cwd->c_str()) != 0) { ::_exit(127); }
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
        rc = pid < 0 ? errno : 0;
    } else {
        rc = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    }
    if (rc != 0) {
        return Error("starting " + argv[0], {std::strerror(rc)});
    }
    in_pipe.read.reset();
    out_pipe.write.reset();
    err_pipe.write.reset();

    ProcessResult result;
    size_t input_pos = 0;
    const std::string input = options.input.value_or("");
    if (!options.input) {
        in_pipe.write.reset();
    }
    auto deadline = options.timeout ? std::optional(std::chrono::steady_clock::now() + *options.timeout)
                                    : std::nullopt;
    char buf[65536];
    while (out_pipe.read.get() >= 0 || err_pipe.read.get() >= 0 || in_pipe.write.get() >= 0) {
        if (in_pipe.write.get() >= 0 && input_pos >= input.size()) {
            in_pipe.write.reset();
            continue;
        }
        pollfd fds[3];
        int n = 0;
        int idx_out = -1, idx_err = -1, idx_in = -1;
        if (out_pipe.read.get() >= 0) { idx_out = n; fds[n++] = {out_pipe.read.get(), POLLIN, 0}; }
        if (err_pipe.read.get() >= 0) { idx_err = n; fds[n++] = {err_pipe.read.get(), POLLIN, 0}; }
        if (in_pipe.write.get() >= 0) { idx_in = n; fds[n++] = {in_pipe.write.get(), POLLOUT, 0}; }
        int wait_ms = -1;
        if (deadline) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                result.timed_out = true;
                break;
            }
            wait_ms = static_cast<int>(left.count());
        }
        int ready = ::poll(fds, static_cast<nfds_t>(n), wait_ms);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (ready == 0) {
            continue;  // the deadline check above ends the loop
        }
        auto drain = [&](int idx, Fd& fd, std::string& sink) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
            ssize_t got = ::read(fd.get(), buf, sizeof buf);
            if (got > 0) {
                sink.append(buf, static_cast<size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fd.reset();
            }
        };
        drain(idx_out, out_pipe.read, result.out);
        drain(idx_err, err_pipe.read, result.err);
        if (idx_in >= 0 && (fds[idx_in].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t put = ::write(in_pipe.write.get(), input.data() + input_pos, input.size() - input_pos);
            if (put > 0) {
                input_pos += static_cast<size_t>(put);
            } else if (put < 0 && errno != EINTR && errno != EAGAIN) {
                in_pipe.write.reset();
            }
        }
    }
    if (result.timed_out) {
        ::kill(pid, SIGKILL);
    }
    result.exit_code = wait_child(pid);
    return result;
}

Result<int> spawn_detached(const std::vector<std::string>& argv, const std::optional<std::string>& log_path) {
    if (argv.empty()) {
        return Error("starting a program: no program named");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (log_path) {
        posix_spawn_file_actions_addopen(&actions, 1, log_path->c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    std::vector<char*> args = c_argv(argv);
    std::fflush(stdout);
    std::fflush(stderr);
    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        return Error("starting " + argv[0], {std::strerror(rc)});
    }
    return static_cast<int>(pid);
}

void reap_children() {
    int status = 0;
    while (::waitpid(-1, &status, WNOHANG) > 0) {
    }
}

bool on_path(const std::string& program) {
    auto executable = [](const std::string& p) {
        struct stat st;
        return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
    };
    if (program.find('/') != std::string::npos) {
        return executable(program);
    }
    const char* path = std::getenv("PATH");
    for (const std::string& dir : split(path ? path : "/usr/bin:/bin", ':')) {
        if (executable((dir.empty() ? std::string(".") : dir) + "/" + program)) {
            return true;
        }
    }
    return false;
}

}  // namespace kestrel::util
