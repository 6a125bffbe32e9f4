#include "metrics/metrics_server.h"

#include <core/append_escaped.h>
#include <core/exception.h>
#include <core/host_and_port.h>

#include <boost/asio/ip/address.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <utility>
#include <vector>

namespace zel {

namespace http = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {

constexpr std::chrono::seconds accept_retry_delay(1);

// The content type the Prometheus text format is announced with.
const char* const text_format = "text/plain; version=0.0.4; charset=utf-8";

tcp::endpoint resolve(boost::asio::io_context& _io_context, const std::string& _address) {
    const auto parts = libs::core::split_host_and_port(_address);
    boost::system::error_code error;
    if (parts && !parts->host.empty()) {
        tcp::resolver resolver(_io_context);
        const auto found =
            resolver.resolve(parts->host, parts->port, tcp::resolver::numeric_service, error);
        if (!error && !found.empty()) {
            return found.begin()->endpoint();
        }
    }
    std::string message = "Cannot serve the metrics at ";
    libs::core::append_escaped(message, _address);
    throw libs::core::exception(
        message + ": " + (error ? error.message() : std::string("not HOST:PORT")), ZEL_LOCATION);
}

}  // namespace

struct metrics_server::shared_state {
    text_callback text;
    const libs::core::logger& logger;
    // Those that may still be open: closed with the server.
    std::vector<std::weak_ptr<connection>> connections;
};

// One client's request and the response to it; it holds itself alive through its pending
// operations.
class metrics_server::connection : public std::enable_shared_from_this<connection> {
public:
    connection(tcp::socket&& _socket, std::shared_ptr<shared_state> _state)
        : m_stream(std::move(_socket)), m_state(std::move(_state)) {
        m_parser.header_limit(max_request_bytes);
        m_parser.body_limit(0);
    }

    void start() {
        m_stream.expires_after(connection_timeout);
        http::async_read(m_stream, m_buffer, m_parser,
                         [self = shared_from_this()](boost::system::error_code _error,
                                                     std::size_t) { self->respond(_error); });
    }

    void close() { m_stream.socket().close(); }

private:
    void respond(boost::system::error_code _error) {
        // A client that is too slow, sends too much or goes away gets nothing more.
        if (_error || !m_state->text) {
            return;
        }
        const auto& request = m_parser.get();
        m_response.version(request.version());
        m_response.keep_alive(false);
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            m_response.result(http::status::method_not_allowed);
            m_response.set(http::field::allow, "GET, HEAD");
        } else if (request.target() != "/metrics") {
            m_response.result(http::status::not_found);
        } else {
            m_response.result(http::status::ok);
            m_response.set(http::field::content_type, text_format);
            m_response.body() = m_state->text();
        }
        m_response.prepare_payload();
        if (request.method() == http::verb::head) {
            m_response.body().clear();
        }
        http::async_write(m_stream, m_response,
                          [self = shared_from_this()](boost::system::error_code, std::size_t) {
                              boost::system::error_code ignored;
                              self->m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
                          });
    }

    boost::beast::tcp_stream m_stream;
    boost::beast::flat_buffer m_buffer{max_request_bytes};
    http::request_parser<http::empty_body> m_parser;
    http::response<http::string_body> m_response;
    std::shared_ptr<shared_state> m_state;
};

metrics_server::metrics_server(boost::asio::io_context& _io_context, const std::string& _address,
                               text_callback _text, const libs::core::logger& _logger)
    : m_acceptor(_io_context)
    , m_retry(_io_context)
    , m_state(std::make_shared<shared_state>(shared_state{std::move(_text), _logger, {}})) {
    const auto endpoint = resolve(_io_context, _address);
    try {
        m_acceptor.open(endpoint.protocol());
        m_acceptor.set_option(tcp::acceptor::reuse_address(true));
        m_acceptor.bind(endpoint);
        m_acceptor.listen();
    } catch (const boost::system::system_error& _error) {
        std::string message = "Cannot serve the metrics at ";
        libs::core::append_escaped(message, _address);
        throw libs::core::exception(message + ": " + _error.code().message(), ZEL_LOCATION);
    }
    accept();
}

metrics_server::~metrics_server() {
    m_state->text = nullptr;
    for (const auto& weak : m_state->connections) {
        if (const auto open = weak.lock()) {
            open->close();
        }
    }
}

std::string metrics_server::endpoint() const {
    const auto bound = m_acceptor.local_endpoint();
    const auto address = bound.address().to_string();
    return "http://" + (bound.address().is_v6() ? "[" + address + "]" : address) + ":" +
           std::to_string(bound.port());
}

void metrics_server::accept() {
    m_acceptor.async_accept([this, state = m_state](boost::system::error_code _error,
                                                    tcp::socket _socket) {
        // Gone with the server; any other failure (out of descriptors) only loses this client.
        if (_error == boost::asio::error::operation_aborted || !state->text) {
            return;
        }
        auto& open = state->connections;
        open.erase(std::remove_if(open.begin(), open.end(),
                                  [](const std::weak_ptr<connection>& _c) { return _c.expired(); }),
                   open.end());
        if (_error) {
            // Out of descriptors, most likely: accepting again at once would fail as fast.
            state->logger.log_error(_error, ZEL_LOCATION);
            m_retry.expires_after(accept_retry_delay);
            // An expiry already queued when the server goes finds the state without its text.
            m_retry.async_wait([this, state](const boost::system::error_code& _wait_error) {
                if (!_wait_error && state->text) {
                    accept();
                }
            });
            return;
        }
        // The oldest has waited longest, idle most likely: it gives way, so that peers that only
        // hold connections cannot keep a scraper out.
        if (open.size() == max_connections) {
            if (const auto oldest = open.front().lock()) {
                oldest->close();
            }
            open.erase(open.begin());
        }
        auto client = std::make_shared<connection>(std::move(_socket), state);
        open.push_back(client);
        client->start();
        accept();
    });
}

}  // namespace zel
