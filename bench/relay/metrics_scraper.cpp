#include "metrics_scraper.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace relay_bench {

metrics_scraper::metrics_scraper(const std::string& _address) {
    const auto colon = _address.rfind(':');
    if (_address.empty() || colon == std::string::npos) {
        return;
    }
    m_host = _address.substr(0, colon);
    m_port = std::stoi(_address.substr(colon + 1));
    m_thread = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::seconds(1), [this] { return m_stopping; })) {
            if (scrape()) {
                ++m_answered;
            }
        }
    });
}

metrics_scraper::~metrics_scraper() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool metrics_scraper::scrape() const {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(m_port));
    inet_pton(AF_INET, m_host.c_str(), &address.sin_addr);
    const timeval timeout{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::string response;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET /metrics HTTP/1.1\r\nHost: relay\r\n\r\n";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            response.append(buffer, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return response.rfind("HTTP/1.1 200 OK", 0) == 0;
}

}  // namespace relay_bench
