#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace test_support {

// One request as the server read it.
struct http_request_record {
    std::string method;  // as sent, e.g. "GET", "DEL"
    std::string target;  // e.g. "/a/b?x=1"
    // Names lower-cased; the values of a repeated field joined by ", ".
    std::map<std::string, std::string> headers;
    std::string body;  // whole, zero bytes kept
};

// What the server answers to one request.
struct http_reply {
    enum class fault {
        none,
        // Reads the request, then answers nothing until the server stops.
        never_answer,
        // Sends the head with the full Content-Length and half the body, then closes.
        close_mid_body,
        // Sends "HTTP/1.1 abc" as the status line, then closes.
        malformed_status_line,
        // Sends "HTTP/1.1 200 OK" and its line end only, then closes.
        head_cut_short,
        // Sends a head without a length, then body bytes until the client goes or the server
        // stops.
        endless_body,
        // Sends the body as the whole answer, head included, then closes: for heads that Beast
        // does not make (fields of more than 64 KiB).
        raw_answer,
    };
    // 100..999, sent as given; 1xx, 204 and 304 go without a body. Any other
    // code is answered 500.
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // extra fields, e.g. Location
    std::chrono::milliseconds delay{0};  // waited before answering; cut short when the server stops
    fault what = fault::none;
};

// A blocking HTTP/1.1 server on loopback for clients under test: one thread
// accepts, one thread serves each connection.
class http_server {
public:
    using handler = std::function<http_reply(const http_request_record&)>;

    // Listens on 127.0.0.1 on a port the system chooses. Without a handler
    // every request is answered 200 with an empty body. The handler may be
    // called from several threads at once; when it throws, the request is
    // answered 500 with the exception's text.
    explicit http_server(handler _handler = {});
    // Stops accepting, cuts every connection (also one waiting for a delay or
    // in never_answer) and joins every thread.
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    int port() const { return m_port; }
    std::string base_address() const;  // "http://127.0.0.1:<port>"
    int connections_accepted() const { return m_connections_accepted.load(); }
    // All requests so far, in arrival order.
    std::vector<http_request_record> requests() const;
    std::size_t request_count() const { return m_request_count.load(); }
    // Off keeps only the count, for clients that send more requests than
    // memory should hold.
    void set_recording(bool _on) { m_recording.store(_on); }

private:
    struct network;
    struct connection;

    void accept_loop();
    void serve_connection(std::uint64_t _id, int _fd);
    void serve_requests(connection& _connection);
    void record(const http_request_record& _request);
    http_reply answer(const http_request_record& _request) const;
    // Waits _delay, or until the server stops; false when it stopped.
    bool wait_unless_stopping(std::chrono::milliseconds _delay);
    void wait_until_stopping();
    void join_finished_connections();

    handler m_handler;
    std::unique_ptr<network> m_network;
    int m_listen_fd = -1;
    int m_port = 0;

    std::atomic<int> m_connections_accepted{0};
    std::atomic<std::size_t> m_request_count{0};
    std::atomic<bool> m_recording{true};

    mutable std::mutex m_records_mutex;
    std::vector<http_request_record> m_records;

    // Guards the stop flag, the descriptors of open connections and the
    // connection threads; the stop signal is waited for under it.
    std::mutex m_mutex;
    std::condition_variable m_stop_signal;
    bool m_stopping = false;
    std::set<int> m_open_fds;
    std::map<std::uint64_t, std::thread> m_connections;
    std::vector<std::uint64_t> m_finished;
    std::uint64_t m_next_id = 0;

    std::thread m_accept_thread;
};

}  // namespace test_support
