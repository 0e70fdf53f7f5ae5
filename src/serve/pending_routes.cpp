// Action routes whose handlers are still to be built answer 501 until then.

#include "dashboard/actions.hpp"

namespace kestrel::dashboard {

__attribute__((weak)) serve::Reply post_open(const serve::Request& /*request*/) {
    return serve::json_reply({{"error", "not implemented yet"}}, 501);
}

}  // namespace kestrel::dashboard
