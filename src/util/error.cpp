#include "util/error.hpp"

#include <cstring>

namespace kestrel::util {

std::string errno_message(const std::string& what, int errnum) {
    return what + ": " + std::strerror(errnum);
}

}  // namespace kestrel::util
