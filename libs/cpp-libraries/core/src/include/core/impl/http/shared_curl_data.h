#pragma once

#include <curl/curl.h>

#include <array>
#include <memory>
#include <mutex>

namespace zel {
namespace libs {
namespace core {
namespace http {

struct curl_share_deleter {
    void operator()(CURLSH* _share) const { curl_share_cleanup(_share); }
};

// The libcurl share handle of one client, through which its requests share
// cookies, DNS answers and TLS sessions, with one lock per kind of shared data.
// Connections are not shared here: libcurl does not support one connection
// cache used by concurrent threads, so they are kept by the client's easy
// handles instead.
class shared_curl_data {
public:
    // Initializes libcurl for the process on first use. Throws when libcurl
    // cannot make or set up the share handle.
    shared_curl_data();

    shared_curl_data(const shared_curl_data&) = delete;
    shared_curl_data& operator=(const shared_curl_data&) = delete;

    CURLSH* get_ptr() const { return m_data.get(); }

private:
    static void lock(CURL* _handle, curl_lock_data _data, curl_lock_access _access, void* _self);
    static void unlock(CURL* _handle, curl_lock_data _data, void* _self);

    std::unique_ptr<CURLSH, curl_share_deleter> m_data;
    // Indexed by curl_lock_data; every lock is exclusive.
    std::array<std::mutex, 8> m_mutexes;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
