// The listener and the connections of the dashboard server.
//
// Everything runs on one io_context driven by one thread. Accepting, reading
// and writing are asynchronous, so a connection that sits idle between
// requests (a browser's keep-alive) or trickles its bytes in costs nothing but
// a file descriptor until its deadline passes. A completely read request is
// routed synchronously on that same thread, which makes the handlers run
// strictly one at a time without any locking of their own.
//
// Limits keep one client from exhausting the process: the request line and
// headers together, the body, the time a request may take to arrive, the time
// an idle kept-alive connection is held, and the number of open connections.

#include "serve/server.hpp"

#include <csignal>

#include <array>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "cli/output.hpp"
#include "dashboard/actions_urls.hpp"
#include "serve/router.hpp"
#include "util/text.hpp"

namespace kestrel::serve {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr std::size_t k_header_limit = 16 * 1024;       // request line and all headers
constexpr std::uint64_t k_body_limit = 1024 * 1024;     // every route's body is small JSON
constexpr auto k_idle_timeout = std::chrono::seconds(60);     // waiting for (the headers of) the next request
constexpr auto k_body_timeout = std::chrono::seconds(30);     // the body, once the headers are in
constexpr auto k_write_timeout = std::chrono::seconds(30);    // sending one reply
constexpr auto k_drain_timeout = std::chrono::seconds(2);     // reading what a refused client still sends
constexpr std::size_t k_max_connections = 256;                // well below the usual 1024 descriptors
constexpr auto k_accept_retry = std::chrono::milliseconds(100);

struct ServerState {
    std::uint16_t port = 0;
    ProxySettings proxies;
    std::size_t open_connections = 0;
};

bool is_v4_loopback(const asio::ip::address& address) {
    if (address.is_v4()) {
        return address.to_v4().is_loopback();
    }
    asio::ip::address_v6 v6 = address.to_v6();
    if (v6.is_loopback()) {
        return true;
    }
    return v6.is_v4_mapped() && asio::ip::make_address_v4(asio::ip::v4_mapped, v6).is_loopback();
}

// One client connection: read a request, answer it, repeat while the client
// keeps the connection alive. Any error ends this connection only.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, ServerState& state) : m_stream(std::move(socket)), m_state(state) {
        ++m_state.open_connections;
    }
    ~Connection() { --m_state.open_connections; }

    void start() { read_header(); }

private:
    void read_header() {
        m_parser.emplace();
        m_parser->header_limit(k_header_limit);
        m_parser->body_limit(k_body_limit);
        m_stream.expires_after(k_idle_timeout);
        http::async_read_header(m_stream, m_buffer, *m_parser,
                                [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_header(ec); });
    }

    void on_header(beast::error_code ec) {
        if (ec) {
            return refuse_or_close(ec);
        }
        const auto& header = m_parser->get();
        boost::optional<std::uint64_t> length = m_parser->content_length();
        if (length && *length > k_body_limit) {
            return refuse(http::status::payload_too_large, "request body too large");
        }
        m_stream.expires_after(k_body_timeout);
        if (!m_parser->is_done() && util::to_lower(std::string(header[http::field::expect])) == "100-continue") {
            // Tell a waiting client to go ahead rather than make it guess.
            m_continue.emplace(http::status::continue_, header.version());
            http::async_write(m_stream, *m_continue, [self = shared_from_this()](beast::error_code ec, std::size_t) {
                if (ec) {
                    return self->close();
                }
                self->read_body();
            });
            return;
        }
        read_body();
    }

    void read_body() {
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_request(ec); });
    }

    void on_request(beast::error_code ec) {
        if (ec) {
            return refuse_or_close(ec);
        }
        http::request<http::string_body> message = m_parser->release();
        Request request = to_request(message);
        send(route_request(request, m_state.proxies), message.version(), message.keep_alive(), message.method() == http::verb::head);
    }

    Request to_request(http::request<http::string_body>& message) {
        Request request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        RoutingTarget routing = split_target(request.target, m_state.port);
        request.path = std::move(routing.path);
        request.query = std::move(routing.query);
        for (const auto& field : message) {
            // The first of repeated headers counts.
            request.headers.emplace(util::to_lower(std::string(field.name_string())), std::string(field.value()));
        }
        request.body = std::move(message.body());
        beast::error_code ec;
        tcp::endpoint peer = m_stream.socket().remote_endpoint(ec);
        if (!ec) {
            request.peer_address = peer.address().to_string();
            request.peer_loopback = is_v4_loopback(peer.address());
        }
        return request;
    }

    void send(Reply reply, unsigned version, bool keep_alive, bool head) {
        m_response = {};
        m_response.version(version);
        m_response.result(static_cast<unsigned>(reply.status));
        m_response.set(http::field::content_type, reply.content_type);
        for (const auto& [name, value] : reply.headers) {
            m_response.set(name, value);
        }
        m_response.body() = std::move(reply.body);
        m_response.keep_alive(keep_alive);
        m_response.prepare_payload();
        if (head) {
            m_response.body().clear();  // the length stays announced, the bytes are not sent
        }
        m_stream.expires_after(k_write_timeout);
        http::async_write(m_stream, m_response,
                          [self = shared_from_this(), keep_alive](beast::error_code ec, std::size_t) {
                              if (ec) {
                                  return self->close();  // the client has gone; nothing to report
                              }
                              if (keep_alive) {
                                  return self->read_header();
                              }
                              self->close();
                          });
    }

    // A request that breaks a limit or the protocol gets a plain error reply
    // and the connection closes; a client that went away or timed out is
    // simply closed.
    void refuse_or_close(beast::error_code ec) {
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
            return refuse(http::status::request_header_fields_too_large, "request header too large");
        }
        if (ec == http::error::body_limit) {
            return refuse(http::status::payload_too_large, "request body too large");
        }
        if (ec.category() == http::make_error_code(http::error::bad_target).category() &&
            ec != http::error::end_of_stream && ec != http::error::partial_message) {
            return refuse(http::status::bad_request, "bad request");
        }
        close();
    }

    void refuse(http::status status, const char* text) {
        m_response = {};
        m_response.version(11);
        m_response.result(status);
        m_response.set(http::field::content_type, "text/plain");
        m_response.body() = text;
        m_response.keep_alive(false);
        m_response.prepare_payload();
        m_stream.expires_after(k_write_timeout);
        http::async_write(m_stream, m_response, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) {
                return self->close();
            }
            self->drain();
        });
    }

    // After a refusal: stop sending, then read and discard what the client is
    // still sending for a short while, so the reply is not lost to a reset.
    void drain() {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        m_stream.expires_after(k_drain_timeout);
        drain_some();
    }

    void drain_some() {
        m_stream.async_read_some(asio::buffer(m_scratch), [self = shared_from_this()](beast::error_code ec, std::size_t) {
            if (ec) {
                return self->close();
            }
            self->drain_some();
        });
    }

    void close() {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        m_stream.close();
    }

    beast::tcp_stream m_stream;
    ServerState& m_state;
    beast::flat_buffer m_buffer;  // bounded by the parser's header limit
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::optional<http::response<http::empty_body>> m_continue;
    http::response<http::string_body> m_response;
    std::array<char, 4096> m_scratch{};
};

class Listener {
public:
    Listener(tcp::acceptor& acceptor, ServerState& state)
        : m_acceptor(acceptor), m_state(state), m_retry(acceptor.get_executor()) {}

    // Whether an accept (or its retry) is waiting; a handler that threw may
    // have broken the chain, and the run loop then starts it again.
    bool waiting() const { return m_waiting; }

    void accept() {
        m_waiting = true;
        m_acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
            m_waiting = false;
            if (ec) {
                // Out of descriptors or a connection aborted before it was
                // accepted: wait a moment and keep listening.
                m_waiting = true;
                m_retry.expires_after(k_accept_retry);
                m_retry.async_wait([this](beast::error_code) {
                    m_waiting = false;
                    accept();
                });
                return;
            }
            if (m_state.open_connections >= k_max_connections) {
                beast::error_code ignored;
                socket.close(ignored);
            } else {
                std::make_shared<Connection>(std::move(socket), m_state)->start();
            }
            accept();
        });
    }

private:
    tcp::acceptor& m_acceptor;
    ServerState& m_state;
    asio::steady_timer m_retry;
    bool m_waiting = false;
};

}  // namespace

util::Status run_server(std::uint16_t port) {
    // A client that disappears mid-reply must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    std::string address = "0.0.0.0:" + std::to_string(port);
    asio::io_context io(1);
    tcp::acceptor acceptor(io);
    beast::error_code ec;
    tcp::endpoint endpoint(asio::ip::address_v4::any(), port);
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) {
        acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    }
    if (!ec) {
        acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        return util::Error("bind " + address + ": " + ec.message());
    }

    cli::line("kestrel viewer listening on http://" + address);
    cli::line("(open in Halyard via `kestrel app`, or visit in any browser)");

    ServerState state;
    state.port = port;
    state.proxies = proxy_settings_from_environment(&dashboard::container_proxy_host);
    Listener listener(acceptor, state);
    for (;;) {
        if (!listener.waiting()) {
            listener.accept();
        }
        try {
            io.run();
        } catch (const std::exception& e) {
            // A fault in one connection's handling must not stop the others.
            cli::err_line(std::string("dashboard server: ") + e.what());
        }
        io.restart();
    }
}

}  // namespace kestrel::serve
