#pragma once
// Starting programs the dashboard does not wait for (background `kestrel`
// runs, viewers), without leaving zombies behind in a server that runs for days.

#include <string>
#include <vector>

#include "util/error.hpp"

namespace kestrel::dashboard {

// Starts argv[0] from PATH with its standard streams on /dev/null in a session
// of its own and returns at once. A watcher reaps exactly this child when it
// ends, so no zombie remains and no other wait in the process is disturbed.
// Fails with the start error.
util::Result<int> start_and_forget(const std::vector<std::string>& argv);

}  // namespace kestrel::dashboard
