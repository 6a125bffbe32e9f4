#include "connection_notice.h"

#include <core/host_and_port.h>

#include <boost/asio/ip/address.hpp>
#include <boost/system/error_code.hpp>

#include <netdb.h>
#include <sys/socket.h>

#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace zel {
namespace tail {

namespace {

// The host of a tcp:// endpoint that is a name rather than an address; empty otherwise.
std::string host_name(const std::string& _endpoint) {
    const auto parts = libs::core::split_host_and_port(_endpoint);
    if (_endpoint.rfind("tcp://", 0) != 0 || !parts || parts->host.empty()) {
        return {};
    }
    boost::system::error_code error;
    boost::asio::ip::make_address(parts->host, error);
    return error ? parts->host : std::string();
}

}  // namespace

struct connection_notice::resolution {
    std::mutex mutex;
    // Why the host does not resolve, once the answer has come.
    std::optional<std::string> failure;
};

connection_notice::connection_notice(std::string _endpoint, bool _verbose)
    : m_endpoint(std::move(_endpoint)), m_verbose(_verbose) {}

void connection_notice::connection_changed(bool _connected) {
    if (m_verbose) {
        std::cerr << "vandrel-tail: " << (_connected ? "connected to " : "lost ") << m_endpoint
                  << '\n';
    }
    m_connected = _connected;
    if (!_connected) {
        m_unconnected_since = clock::now();
        m_waiting_said = false;
    }
}

void connection_notice::tick(clock::time_point _now) {
    if (m_connected) {
        return;
    }
    if (!m_waiting_said && _now - m_unconnected_since >= patience) {
        m_waiting_said = true;
        std::cerr << "vandrel-tail: waiting for " << m_endpoint << ": no relay answers there yet\n";
        if (!m_resolution) {
            start_resolving();
        }
    }
    if (m_resolution && !m_resolution_said) {
        const std::lock_guard<std::mutex> lock(m_resolution->mutex);
        if (m_resolution->failure) {
            m_resolution_said = true;
            if (!m_resolution->failure->empty()) {
                std::cerr << "vandrel-tail: host \"" << host_name(m_endpoint)
                          << "\" does not resolve: " << *m_resolution->failure << '\n';
            }
        }
    }
}

void connection_notice::start_resolving() {
    const std::string host = host_name(m_endpoint);
    if (host.empty()) {
        return;
    }
    m_resolution = std::make_shared<resolution>();
    // Detached: the process may end while the name server is still silent.
    std::thread([host, result = m_resolution] {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (found != nullptr) {
            freeaddrinfo(found);
        }
        const std::lock_guard<std::mutex> lock(result->mutex);
        result->failure = error == 0 ? std::string() : std::string(gai_strerror(error));
    }).detach();
}

}  // namespace tail
}  // namespace zel
