#include <core/impl/http/easy_handle_pool.h>

#include <utility>

namespace zel {
namespace libs {
namespace core {
namespace http {

easy_handle_pool::easy_handle_pool(std::size_t _capacity, set_up_function _set_up)
    : m_capacity(_capacity), m_set_up(std::move(_set_up)) {
    m_idle.reserve(m_capacity);
}

easy_handle_pool::~easy_handle_pool() {
    for (CURL* handle : m_idle) {
        curl_easy_cleanup(handle);
    }
}

CURL* easy_handle_pool::take() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_idle.empty()) {
            CURL* const handle = m_idle.back();
            m_idle.pop_back();
            return handle;
        }
    }
    CURL* const handle = curl_easy_init();
    if (handle != nullptr && !m_set_up(handle)) {
        curl_easy_cleanup(handle);
        return nullptr;
    }
    return handle;
}

void easy_handle_pool::give_back(CURL* _handle) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_idle.size() < m_capacity) {
            m_idle.push_back(_handle);
            return;
        }
    }
    curl_easy_cleanup(_handle);
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
