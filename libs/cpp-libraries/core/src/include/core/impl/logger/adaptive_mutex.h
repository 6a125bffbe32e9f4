#pragma once

#include <pthread.h>

namespace zel {
namespace libs {
namespace core {

// A mutex that spins a little before it sleeps, for sections held a few tens
// of nanoseconds by threads that come often: a plain mutex would put the
// second thread to sleep and wake it, each a system call, for most entries.
class adaptive_mutex {
public:
    adaptive_mutex();
    ~adaptive_mutex();

    adaptive_mutex(const adaptive_mutex&) = delete;
    adaptive_mutex& operator=(const adaptive_mutex&) = delete;

    void lock();
    void unlock();

private:
    pthread_mutex_t m_mutex;
};

}  // namespace core
}  // namespace libs
}  // namespace zel
