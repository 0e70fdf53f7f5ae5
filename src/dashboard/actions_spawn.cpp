#include "dashboard/actions_spawn.hpp"

#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "util/process.hpp"

namespace kestrel::dashboard {

util::Result<int> start_and_forget(const std::vector<std::string>& argv) {
    util::Result<int> started = util::spawn_detached(argv);
    if (!started) {
        return started;
    }
    // Waiting on this one pid (rather than on any child) keeps the reaping away
    // from children other code of the process runs and waits for itself.
    const pid_t pid = static_cast<pid_t>(*started);
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return started;
}

}  // namespace kestrel::dashboard
