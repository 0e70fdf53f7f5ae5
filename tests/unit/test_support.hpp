#pragma once
// Shared fixtures for unit tests: a fresh temporary folder per test and a
// scoped environment variable.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include <gtest/gtest.h>

namespace kestrel::testing {

namespace fs = std::filesystem;

// A fresh folder under the system temporary folder, removed afterwards.
class ScopedTempDir {
public:
    ScopedTempDir() {
        std::string pattern = (fs::temp_directory_path() / "kestrel-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (made == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        m_path = made;
    }
    ~ScopedTempDir() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

// Sets (or unsets) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name.c_str());
        }
    }

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

// Writes `text` to `path`, creating parent folders.
inline void write_file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

inline std::string read_file(const fs::path& path) {
    std::string out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return out;
    }
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        out.append(buf, n);
    }
    std::fclose(f);
    return out;
}

}  // namespace kestrel::testing
