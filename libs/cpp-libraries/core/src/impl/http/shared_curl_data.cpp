#include <core/impl/http/shared_curl_data.h>

#include <core/check_failed_exception.h>

#include <mutex>

namespace zel {
namespace libs {
namespace core {
namespace http {

namespace {

// curl_global_init is not safe to call while another thread uses libcurl, so
// it runs once, before the first client of the process, and is never undone:
// clients may be made and destroyed on any thread at any time.
void initialize_curl() {
    static const CURLcode code = curl_global_init(CURL_GLOBAL_ALL);
    ZEL_CHECK(code == CURLE_OK);
}

}  // namespace

shared_curl_data::shared_curl_data() {
    initialize_curl();
    m_data.reset(curl_share_init());
    ZEL_CHECK(m_data != nullptr);
    CURLSH* const share = m_data.get();
    ZEL_CHECK(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE) == CURLSHE_OK);
    ZEL_CHECK(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK);
    ZEL_CHECK(curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK);
    ZEL_CHECK(curl_share_setopt(share, CURLSHOPT_USERDATA, this) == CURLSHE_OK);
    ZEL_CHECK(curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &shared_curl_data::lock) == CURLSHE_OK);
    ZEL_CHECK(curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &shared_curl_data::unlock) ==
              CURLSHE_OK);
}

void shared_curl_data::lock(CURL*, curl_lock_data _data, curl_lock_access, void* _self) {
    static_cast<shared_curl_data*>(_self)->m_mutexes.at(_data).lock();
}

void shared_curl_data::unlock(CURL*, curl_lock_data _data, void* _self) {
    static_cast<shared_curl_data*>(_self)->m_mutexes.at(_data).unlock();
}

}  // namespace http
}  // namespace core
}  // namespace libs
}  // namespace zel
