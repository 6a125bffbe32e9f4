#include <core/impl/logger/adaptive_mutex.h>

namespace zel {
namespace libs {
namespace core {

adaptive_mutex::adaptive_mutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ADAPTIVE_NP);
    pthread_mutex_init(&m_mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

adaptive_mutex::~adaptive_mutex() {
    pthread_mutex_destroy(&m_mutex);
}

void adaptive_mutex::lock() {
    pthread_mutex_lock(&m_mutex);
}

void adaptive_mutex::unlock() {
    pthread_mutex_unlock(&m_mutex);
}

}  // namespace core
}  // namespace libs
}  // namespace zel
