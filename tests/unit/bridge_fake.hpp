#pragma once
// A scripted stand-in for the desktop bridge in unit tests: a small script
// named velm-desktop, first on PATH, that logs every call and answers each
// operation from files the test writes (`<op>.out`, `<op>.err`, `<op>.exit`,
// or `<op>.<n>.*` for the n-th call of that operation); an operation without
// an answer prints `{}` and exits 0.

#include <string>
#include <vector>

#include "test_support.hpp"

namespace kestrel::testing {

class FakeBridge {
public:
    FakeBridge() : m_path_env("PATH", (m_dir.path().string() + ":/usr/bin:/bin")) {
        write_file(m_dir.path() / "velm-desktop", R"SH(#!/bin/sh
d=$(dirname "$0")
op="$1"
printf '%s\t%s\n' "$1" "$2" >> "$d/calls.log"
n=$(grep -c "^$op	" "$d/calls.log")
base="$d/$op"
if [ -e "$d/$op.$n.out" ] || [ -e "$d/$op.$n.exit" ]; then base="$d/$op.$n"; fi
if [ -e "$base.out" ]; then cat "$base.out"; else printf '{}'; fi
[ -e "$base.err" ] && cat "$base.err" >&2
[ -e "$base.exit" ] && exit "$(cat "$base.exit")"
exit 0
)SH");
        fs::permissions(m_dir.path() / "velm-desktop", fs::perms::owner_all);
    }

    // The answer to operation `op` (to its `nth` call only when nth > 0).
    void answer(const std::string& op, const std::string& out, int exit_code = 0, const std::string& err = "",
                int nth = 0) {
        const std::string base = nth > 0 ? op + "." + std::to_string(nth) : op;
        write_file(m_dir.path() / (base + ".out"), out);
        write_file(m_dir.path() / (base + ".exit"), std::to_string(exit_code));
        write_file(m_dir.path() / (base + ".err"), err);
    }

    // Every call so far as "operation<TAB>request".
    std::vector<std::string> calls() const {
        std::vector<std::string> out;
        std::string text = read_file(m_dir.path() / "calls.log");
        size_t from = 0;
        while (from < text.size()) {
            size_t end = text.find('\n', from);
            out.push_back(text.substr(from, end - from));
            from = end == std::string::npos ? text.size() : end + 1;
        }
        return out;
    }

    const fs::path& dir() const { return m_dir.path(); }

private:
    ScopedTempDir m_dir;
    ScopedEnv m_path_env;
};

}  // namespace kestrel::testing
