#include <test_support/http_server.h>

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace test_support {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

constexpr std::uint64_t max_body_size = 64 * 1024 * 1024;
constexpr std::uint32_t max_header_size = 1024 * 1024;

using request_type = http::request<http::string_body>;
using response_type = http::response<http::string_body>;

std::string lower_case(std::string_view _text) {
    std::string lowered(_text);
    for (auto& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lowered;
}

http_request_record to_record(request_type&& _request) {
    http_request_record record;
    record.method = std::string(_request.method_string());
    record.target = std::string(_request.target());
    for (const auto& field : _request) {
        const std::string value(field.value());
        auto [position, inserted] = record.headers.emplace(lower_case(field.name_string()), value);
        if (!inserted) {
            position->second += ", " + value;
        }
    }
    record.body = std::move(_request.body());
    return record;
}

bool may_have_body(int _status) {
    return _status >= 200 && _status != 204 && _status != 304;
}

response_type make_response(http_reply&& _reply, unsigned _version, bool _keep_alive) {
    response_type response;
    response.version(_version);
    response.result(static_cast<unsigned>(_reply.status));
    if (http::int_to_status(static_cast<unsigned>(_reply.status)) == http::status::unknown) {
        // Beast's own text for codes it does not know is "<unknown-status>".
        response.reason("Unknown");
    }
    // Before the handler's fields, so that a "Connection: close" among them is kept.
    response.keep_alive(_keep_alive);
    for (const auto& [name, value] : _reply.headers) {
        response.insert(name, value);
    }
    // Beast would frame a response that cannot have a body with
    // "Content-Length: 0", which a 204 must not carry and which misstates a 304.
    if (may_have_body(_reply.status)) {
        response.body() = std::move(_reply.body);
        response.prepare_payload();
    }
    return response;
}

}  // namespace

struct http_server::network {
    asio::io_context io;
    tcp::acceptor acceptor{io};
};

struct http_server::connection {
    connection(asio::io_context& _io, int _fd) : socket(_io) {
        beast::error_code error;
        socket.assign(tcp::v4(), _fd, error);
        if (error) {
            unassigned_fd = _fd;
            return;
        }
        // Small requests are what the latency is measured on.
        socket.set_option(tcp::no_delay(true), error);
    }
    ~connection() {
        if (unassigned_fd >= 0) {
            ::close(unassigned_fd);
        }
    }
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;

    tcp::socket socket;
    beast::flat_buffer buffer;
    int unassigned_fd = -1;
};

http_server::http_server(handler _handler)
    : m_handler(std::move(_handler)), m_network(std::make_unique<network>()) {
    if (!m_handler) {
        m_handler = [](const http_request_record&) { return http_reply{}; };
    }
    // Close-on-exec from the start: a test may fork and exec while the server
    // runs, and a child holding a descriptor would keep connections open.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    beast::error_code error;
    m_network->acceptor.assign(tcp::v4(), fd, error);
    if (error) {
        ::close(fd);
        throw std::system_error(error, "assign");
    }
    m_network->acceptor.bind(tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    m_network->acceptor.listen();
    m_listen_fd = fd;
    m_port = m_network->acceptor.local_endpoint().port();
    m_accept_thread = std::thread(&http_server::accept_loop, this);
}

http_server::~http_server() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        // shutdown rather than close: it wakes a thread blocked on the
        // descriptor, and the descriptor cannot be reused under it.
        ::shutdown(m_listen_fd, SHUT_RDWR);
        for (const int fd : m_open_fds) {
            ::shutdown(fd, SHUT_RDWR);
        }
    }
    m_stop_signal.notify_all();
    m_accept_thread.join();
    std::map<std::uint64_t, std::thread> connections;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        connections.swap(m_connections);
    }
    for (auto& [id, thread] : connections) {
        thread.join();
    }
}

std::string http_server::base_address() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<http_request_record> http_server::requests() const {
    std::lock_guard<std::mutex> lock(m_records_mutex);
    return m_records;
}

void http_server::accept_loop() {
    for (;;) {
        const int fd = ::accept4(m_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_stopping) {
                return;
            }
            // Out of descriptors or memory: a client sees a slow accept
            // instead of a server gone.
            m_stop_signal.wait_for(lock, std::chrono::milliseconds(10),
                                   [this] { return m_stopping; });
            continue;
        }
        join_finished_connections();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) {
            ::close(fd);
            return;
        }
        ++m_connections_accepted;
        m_open_fds.insert(fd);
        const auto id = m_next_id++;
        m_connections.emplace(id, std::thread(&http_server::serve_connection, this, id, fd));
    }
}

void http_server::join_finished_connections() {
    std::vector<std::thread> finished;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const auto id : m_finished) {
            const auto position = m_connections.find(id);
            finished.push_back(std::move(position->second));
            m_connections.erase(position);
        }
        m_finished.clear();
    }
    for (auto& thread : finished) {
        thread.join();
    }
}

void http_server::serve_connection(std::uint64_t _id, int _fd) {
    {
        connection served(m_network->io, _fd);
        serve_requests(served);
        // Forgotten before it is closed, so that stopping never shuts down a
        // descriptor the system has handed out again.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open_fds.erase(_fd);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished.push_back(_id);
}

void http_server::serve_requests(connection& _connection) {
    auto& socket = _connection.socket;
    beast::error_code error;
    for (;;) {
        http::request_parser<http::string_body> parser;
        parser.header_limit(max_header_size);
        parser.body_limit(max_body_size);
        http::read_header(socket, _connection.buffer, parser, error);
        if (error) {
            break;
        }
        // libcurl asks before sending a large body and waits a second for
        // permission when none comes.
        if (parser.get().version() >= 11 &&
            beast::iequals(parser.get()[http::field::expect], "100-continue")) {
            http::response<http::empty_body> proceed{http::status::continue_, 11};
            http::write(socket, proceed, error);
            if (error) {
                break;
            }
        }
        http::read(socket, _connection.buffer, parser, error);
        if (error) {
            break;
        }
        auto request = parser.release();
        const bool head = request.method() == http::verb::head;
        const auto version = request.version();
        const bool keep_alive = request.keep_alive();
        const auto record_of_request = to_record(std::move(request));
        record(record_of_request);

        http_reply reply = answer(record_of_request);
        if (reply.what == http_reply::fault::never_answer) {
            wait_until_stopping();
            break;
        }
        if (!wait_unless_stopping(reply.delay)) {
            break;
        }
        if (reply.what == http_reply::fault::malformed_status_line) {
            asio::write(socket, asio::buffer(std::string_view("HTTP/1.1 abc\r\n\r\n")), error);
            break;
        }
        if (reply.what == http_reply::fault::raw_answer) {
            asio::write(socket, asio::buffer(reply.body), error);
            break;
        }
        if (reply.what == http_reply::fault::head_cut_short) {
            asio::write(socket, asio::buffer(std::string_view("HTTP/1.1 200 OK\r\n")), error);
            break;
        }
        if (reply.what == http_reply::fault::endless_body) {
            asio::write(socket, asio::buffer(std::string_view("HTTP/1.1 200 OK\r\n\r\n")), error);
            const std::string chunk(64 * 1024, 'e');
            // Ends when the client goes, or when the server stops and cuts the connection.
            while (!error) {
                asio::write(socket, asio::buffer(chunk), error);
            }
            break;
        }
        const auto fault = reply.what;
        auto response = make_response(std::move(reply), version, keep_alive);
        if (fault == http_reply::fault::close_mid_body) {
            http::response_serializer<http::string_body> serializer{response};
            http::write_header(socket, serializer, error);
            if (!error) {
                const auto& body = response.body();
                asio::write(socket, asio::buffer(body.data(), body.size() / 2), error);
            }
            break;
        }
        if (head) {
            http::response_serializer<http::string_body> serializer{response};
            http::write_header(socket, serializer, error);
        } else {
            http::write(socket, response, error);
        }
        if (error || response.need_eof()) {
            break;
        }
    }
    socket.shutdown(tcp::socket::shutdown_send, error);
}

void http_server::record(const http_request_record& _request) {
    if (m_recording.load()) {
        std::lock_guard<std::mutex> lock(m_records_mutex);
        m_records.push_back(_request);
    }
    // Counted after it is stored: whoever sees the count sees the record.
    ++m_request_count;
}

http_reply http_server::answer(const http_request_record& _request) const {
    try {
        http_reply reply = m_handler(_request);
        if (reply.status < 100 || reply.status > 999) {
            throw std::invalid_argument("status " + std::to_string(reply.status) +
                                        " is not a three-digit code");
        }
        return reply;
    } catch (const std::exception& e) {
        http_reply failure;
        failure.status = 500;
        failure.body = e.what();
        return failure;
    }
}

bool http_server::wait_unless_stopping(std::chrono::milliseconds _delay) {
    // A wait that has already expired still goes through the kernel, which
    // more than doubled the round trip of a small request.
    if (_delay <= std::chrono::milliseconds::zero()) {
        return true;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_stop_signal.wait_for(lock, _delay, [this] { return m_stopping; });
}

void http_server::wait_until_stopping() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stop_signal.wait(lock, [this] { return m_stopping; });
}

}  // namespace test_support
