#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace relay_bench {

// Reads GET /metrics from a relay once a second on a thread of its own, as a monitoring
// system's scraper would, until destroyed. Does nothing for an empty address.
class metrics_scraper {
public:
    // _address: HOST:PORT, HOST an IPv4 address.
    explicit metrics_scraper(const std::string& _address);
    ~metrics_scraper();
    metrics_scraper(const metrics_scraper&) = delete;
    metrics_scraper& operator=(const metrics_scraper&) = delete;

    // Scrapes answered "200 OK" so far.
    int answered() const { return m_answered; }

private:
    bool scrape() const;

    std::string m_host;
    int m_port = 0;
    std::atomic<int> m_answered{0};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace relay_bench
