#include "cli/output.hpp"

#include <cstdio>
#include <string>

namespace kestrel::cli {

namespace {

void emit(std::FILE* stream, std::string_view prefix, std::string_view text) {
    std::string buf;
    buf.reserve(prefix.size() + text.size() + 1);
    buf.append(prefix);
    buf.append(text);
    buf.push_back('\n');
    std::fwrite(buf.data(), 1, buf.size(), stream);
    std::fflush(stream);
}

}  // namespace

void line(std::string_view text) { emit(stdout, "", text); }
void ok(std::string_view text) { emit(stdout, "OK: ", text); }
void warn(std::string_view text) { emit(stdout, "WARN: ", text); }
void error_line(std::string_view text) { emit(stdout, "ERROR: ", text); }
void hint(std::string_view text) { emit(stdout, "HINT: ", text); }
void tagged(std::string_view tag, std::string_view text) {
    std::string prefix(tag);
    prefix += ": ";
    emit(stdout, prefix, text);
}
void err_line(std::string_view text) { emit(stderr, "", text); }

}  // namespace kestrel::cli
