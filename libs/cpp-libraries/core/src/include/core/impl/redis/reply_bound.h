#pragma once

#include <hiredis/read.h>

#include <cstddef>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// What one reply may make a connection reserve, judged by what the reply announces before hiredis
// reserves anything for it: at most context::max_reply_elements elements over all its arrays,
// nested ones included, and strings of at most context::max_reply_string bytes. A reply past it
// is refused, and the connection must be dropped, as the rest of the reply would follow.
class reply_bound {
public:
    reply_bound() = default;
    reply_bound(const reply_bound&) = delete;
    reply_bound& operator=(const reply_bound&) = delete;

    // Makes _reader refuse an array past the bound; for a reader with hiredis's own functions.
    void install(redisReader& _reader);

    // Whether the array that _task announces with _elements elements keeps its reply within the
    // bound.
    bool admits_array(const redisReadTask* _task, int _elements);
    // Whether the string that _reader is waiting for the rest of is announced within the bound.
    bool admits_pending_string(const redisReader& _reader);
    // A reply was refused.
    bool refused() const { return m_refused; }

private:
    static void* create_array(const redisReadTask* _task, int _elements);

    std::size_t m_elements = 0;
    bool m_refused = false;
    redisReplyObjectFunctions* m_functions = nullptr;
    redisReplyObjectFunctions m_bounded_functions{};
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
