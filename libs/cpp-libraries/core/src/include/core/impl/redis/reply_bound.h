#pragma once

#include <hiredis/read.h>

#include <cstddef>

namespace zel {
namespace libs {
namespace core {
namespace redis {

// What one reply may cost in memory, counted as hiredis's reader parses it: the allocator's size of
// each record (an element's record is counted as its array is announced, with its slot there), of
// each string's copy, and the most bytes of the reply the reader buffered at once (a string's
// announced length while it arrives). A reply is refused before the part that would pass the bound
// is made, and the connection must then be dropped, as the rest of the reply would follow.
class reply_bound {
public:
    // Asked before each part of a reply is made, with _data; the reply is refused when it returns
    // false.
    using check = bool (*)(void* _data, const redisReadTask* _task);

    explicit reply_bound(std::size_t _limit) : m_limit(_limit) {}
    reply_bound(const reply_bound&) = delete;
    reply_bound& operator=(const reply_bound&) = delete;

    // Makes _reader, which has hiredis's own functions, count each part it makes, and ask
    // _expects first when given.
    void install(redisReader& _reader, check _expects = nullptr, void* _data = nullptr);
    // For the replies that start from now on.
    void set_limit(std::size_t _limit) { m_limit = _limit; }

    // Whether what _reader holds of the reply in progress, and the string it waits for the rest
    // of, keep the reply within the bound; to ask after each read.
    bool admits_held(const redisReader& _reader);
    // A reply was refused for its size.
    bool refused() const { return m_refused; }

private:
    static reply_bound& of(const redisReadTask* _task);
    static void* create_string(const redisReadTask* _task, char* _text, std::size_t _length);
    static void* create_array(const redisReadTask* _task, int _elements);
    static void* create_integer(const redisReadTask* _task, long long _value);
    static void* create_nil(const redisReadTask* _task);

    // Whether _task may be made at _cost more, beside its own record, which its array counted.
    bool admits(const redisReadTask* _task, std::size_t _cost);
    bool admits_total(std::size_t _total);

    std::size_t m_limit;
    // Of the reply in progress.
    std::size_t m_made = 0;
    std::size_t m_most_held = 0;
    bool m_refused = false;
    check m_expects = nullptr;
    void* m_expects_data = nullptr;
    redisReplyObjectFunctions* m_functions = nullptr;
    redisReplyObjectFunctions m_bounded_functions{};
};

}  // namespace redis
}  // namespace core
}  // namespace libs
}  // namespace zel
