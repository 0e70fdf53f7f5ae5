#pragma once
// Errors are values: a message plus an ordered chain of causes, outermost first.
// A handler wraps a lower error with context() to say what it was doing, and the
// command line prints the whole chain once, at the end (cli/report.hpp).

#include <cassert>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kestrel::util {

struct Error {
    std::string message;
    std::vector<std::string> causes;  // outermost first

    Error() = default;
    explicit Error(std::string msg) : message(std::move(msg)) {}
    Error(std::string msg, std::vector<std::string> chain)
        : message(std::move(msg)), causes(std::move(chain)) {}

    // The message and its causes on one line, joined by ": ".
    std::string one_line() const {
        std::string text = message;
        for (const std::string& cause : causes) {
            text += ": " + cause;
        }
        return text;
    }

    // Returns a new error whose message is `outer` and whose first cause is this
    // error's message, followed by this error's causes.
    Error context(std::string outer) const {
        Error wrapped(std::move(outer));
        wrapped.causes.reserve(causes.size() + 1);
        wrapped.causes.push_back(message);
        wrapped.causes.insert(wrapped.causes.end(), causes.begin(), causes.end());
        return wrapped;
    }
};

// Either a value of type T or an Error.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        assert(ok());
        return std::get<0>(m_state);
    }
    const T& value() const& {
        assert(ok());
        return std::get<0>(m_state);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(m_state));
    }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const& {
        assert(!ok());
        return std::get<1>(m_state);
    }
    Error&& error() && {
        assert(!ok());
        return std::get<1>(std::move(m_state));
    }

    // Wraps the error (if any) with an outer message; a value passes through.
    Result context(std::string outer) && {
        if (ok()) {
            return std::move(*this);
        }
        return error().context(std::move(outer));
    }

private:
    std::variant<T, Error> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const& {
        assert(m_failed);
        return m_error;
    }
    Error&& error() && {
        assert(m_failed);
        return std::move(m_error);
    }
    Result context(std::string outer) && {
        if (ok()) {
            return {};
        }
        return m_error.context(std::move(outer));
    }

private:
    Error m_error;
    bool m_failed = false;
};

using Status = Result<void>;

// "{what}: {strerror(errnum)}", the shape of every system-call failure message.
std::string errno_message(const std::string& what, int errnum);

}  // namespace kestrel::util
