#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

namespace zel {
namespace libs {
namespace core {
namespace http {

// The idle easy handles of one client. An easy handle keeps its connections
// open between transfers, so a request that takes one reuses the connection of
// an earlier request; each handle is used by one thread at a time. A handle
// keeps its options too: those every request of the client shares are set once,
// when the handle is made, and each request sets all the others again.
class easy_handle_pool {
public:
    // Sets a new handle's shared options; false when libcurl refused one.
    using set_up_function = std::function<bool(CURL*)>;

    // Keeps at most _capacity idle handles; one returned beyond that is cleaned up.
    easy_handle_pool(std::size_t _capacity, set_up_function _set_up);
    // Cleans up the idle handles: every handle taken must have been returned.
    ~easy_handle_pool();

    easy_handle_pool(const easy_handle_pool&) = delete;
    easy_handle_pool& operator=(const easy_handle_pool&) = delete;

    // The handle returned last, whose connection is the likeliest to be alive,
    // or a new one; null when libcurl cannot make or set one up.
    CURL* take();
    void give_back(CURL* _handle);

private:
    const std::size_t m_capacity;
    const set_up_function m_set_up;
    std::mutex m_mutex;
    std::vector<CURL*> m_idle;
};

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
